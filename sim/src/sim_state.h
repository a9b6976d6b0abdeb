// State of the simulated management library in one process: the adapters of the system root
// (description, and the board they sit on: NVRAM file, claim lock, registers), the fault rules,
// the call journal and the counters. One instance per process, used under its mutex.
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

// The files a board's functions share: one NVRAM, one claim lock.
struct SimBoard {
    std::string name;
    int nvram_fd = -1;
    int lock_fd = -1;
    uint32_t holder = 0;  // API handle of the function through which this session holds the claim
    bool claimed = false;
};

// The register writes of one path of a board, kept in its register file: one fixed-width
// "0x<reg>=0x<value>" line per register, rewritten in place when the register is written again.
struct RegisterBank {
    std::string file;
    int fd = -1;
    std::map<uint32_t, uint32_t> written;
    std::map<uint32_t, uint64_t> line_at;  // file offset of each register's line
};

struct SimAdapter {
    AdapterDef desc;
    SimBoard* board = nullptr;
    RegisterBank* regs = nullptr;
    uint32_t write_mode = 0;         // last mode set through ordinal 181
    std::vector<uint8_t> e4_header;  // E4 image header awaiting its data (e4_firmware.h)

    int nvram_fd() const { return board->nvram_fd; }
    // This session holds the board's claim through this function.
    bool claimed() const { return board->claimed && board->holder == desc.api_handle; }
    // A register or shared-memory word: the last write on the path, else the description's value.
    uint32_t read_register(uint32_t reg) const;
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
    // Reads the system root: adapters, stored register writes, control file. Once initialised,
    // only the control file is read again, unless the system root has changed: then the session
    // of the old root ends and the new root is read.
    void initialize();
    // Releases every claim of the session and closes the adapters' files.
    void shutdown();
    // Reads the control file again (the rules' call counts restart).
    void load_control();
    const Control& control() const { return control_; }

    std::vector<SimAdapter>& adapters() { return adapters_; }
    SimAdapter* find(HandleSpace space, uint32_t handle);

    // The rule that fails this call, when one matches; counts the call for every rule of the
    // ordinal whose adapter matches (by its name or its board's). `adapter` is null for calls that
    // take none.
    // NVRAM calls give the bytes they move, for the rules that select a range.
    struct NvramSpan {
        uint64_t begin, end;
    };
    std::optional<FaultRule> injected_fault(uint32_t ordinal, const SimAdapter* adapter,
                                            std::optional<NvramSpan> span = std::nullopt);

    // Stores a register write (kept in memory and in the register file of the adapter's path);
    // false when the file cannot be written.
    bool store_register(SimAdapter& adapter, uint32_t reg, uint32_t value);

    // Journal and counters.
    void record(const YxSimCall& call);
    YxSimCounters& counters() { return counters_; }
    std::deque<YxSimCall>& journal() { return journal_; }
    void reset_journal();

    const std::string& root() const { return root_; }

private:
    void close_adapters();
    SimBoard& board(const std::string& name);  // opened on first use
    uint32_t count_persistent(const FaultRule& rule);  // this call's number across sessions
    RegisterBank& bank(const std::string& name);

    bool initialized_ = false;
    std::string root_;
    std::vector<SimAdapter> adapters_;
    std::deque<SimBoard> boards_;  // stable addresses for the adapters' pointers
    std::deque<RegisterBank> banks_;
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
