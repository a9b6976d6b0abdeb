// State of the simulated management library in one process: the adapters of the system root
// (description, NVRAM file, claim lock, registers), the fault rules, the call journal and the
// counters. One instance per process, used under its mutex.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/adapter_builder.h"
#include "yxmapi/sim_control.h"

namespace sim {

struct SimAdapter {
    AdapterSpec desc;
    int nvram_fd = -1;
    int lock_fd = -1;
    bool claimed = false;                    // this session holds the claim
    std::map<uint32_t, uint32_t> registers;  // description values overlaid by stored writes
    uint32_t write_mode = 0;                 // last mode set through ordinal 181
    std::vector<uint8_t> e4_header;          // E4 image header awaiting its data (e4_firmware.h)
};

enum class HandleSpace { List, Api, Service };

// Holds a shared lock on an adapter's lock file for the length of a write from a session that
// does not hold the claim, so no other session can claim the adapter mid-write.
class WriteGate {
public:
    explicit WriteGate(SimAdapter& adapter);
    ~WriteGate();
    WriteGate(const WriteGate&) = delete;
    WriteGate& operator=(const WriteGate&) = delete;
    // False when another session holds the claim.
    bool open() const { return open_; }

private:
    SimAdapter& adapter_;
    bool open_ = false;
    bool locked_ = false;
};

class SimState {
public:
    static SimState& instance();

    std::mutex mutex;

    bool initialized() const { return initialized_; }
    // Reads the system root: adapters, stored register writes, control file.
    void initialize();
    // Releases every claim of the session and closes the adapters' files.
    void shutdown();
    // Reads the control file again (the rules' call counts restart).
    void load_control();
    const Control& control() const { return control_; }

    std::vector<SimAdapter>& adapters() { return adapters_; }
    SimAdapter* find(HandleSpace space, uint32_t handle);

    // The rule that fails this call, when one matches; counts the call for every rule of the
    // ordinal whose adapter matches. `adapter` is empty for calls that take none.
    std::optional<FaultRule> injected_fault(uint32_t ordinal, const std::string& adapter);

    // Stores a register write (kept in memory and in the adapter's register file).
    void store_register(SimAdapter& adapter, uint32_t reg, uint32_t value);

    // Journal and counters.
    void record(const YxSimCall& call);
    YxSimCounters& counters() { return counters_; }
    std::deque<YxSimCall>& journal() { return journal_; }
    void reset_journal();

    const std::string& root() const { return root_; }

private:
    void close_adapters();

    bool initialized_ = false;
    std::string root_;
    std::vector<SimAdapter> adapters_;
    Control control_;
    std::vector<uint32_t> fault_hits_;  // matching calls seen per rule
    std::deque<YxSimCall> journal_;
    YxSimCounters counters_{};
    int journal_fd_ = -1;
    std::string journal_file_;
};

// Bounded in-memory journal: the oldest calls are dropped beyond this many.
inline constexpr std::size_t kJournalLimit = 1u << 20;

}  // namespace sim
