// A simulated adapter for engine tests: NVRAM bytes kept in NVRAM order, a register map, a Tcl
// interpreter holding ::toe, transfer counters and a power cut after k written bytes. Its host
// operations swap exactly as the front end's NVRAM slots do.
#pragma once

#include <tcl.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fwupg/host_ops.h"

namespace fwupg::nvm::test {

class FakeAdapter {
public:
    explicit FakeAdapter(std::vector<uint8_t> nvram = std::vector<uint8_t>(0x40000, 0xFF));
    ~FakeAdapter();
    FakeAdapter(const FakeAdapter&) = delete;
    FakeAdapter& operator=(const FakeAdapter&) = delete;

    std::vector<uint8_t> nvram;
    std::map<uint32_t, uint32_t> regs;
    std::set<uint32_t> failing_regs;
    std::vector<uint32_t> last_errors;

    uint64_t bytes_read = 0;
    uint64_t bytes_written = 0;
    uint64_t dword_reads = 0, block_reads = 0, dword_writes = 0, block_writes = 0;
    std::vector<std::pair<uint32_t, uint32_t>> writes;  // (offset, length) of every write
    uint64_t largest_read = 0;  // length of the largest read asked for, also one that failed

    // Power loss after `bytes` more written bytes: the write in progress stops there and every
    // later transfer fails until `power_on`.
    void cut_power_after(uint64_t bytes);
    void power_on();
    bool powered() const { return !dead_; }
    // Makes every NVRAM read (or write) fail from now on.
    bool fail_reads = false;
    bool fail_writes = false;
    // The write of this number (counted from 1 in `writes`) reports success but stores nothing, as
    // flash that silently drops a write; 0 drops none.
    size_t lose_write = 0;

    void set_toe(const char* name, const std::string& value);
    std::string toe(const char* name) const;
    // Chip id holding the PCI device id in bits 12-27, as E1-E3 chips report it.
    void set_device_id(uint16_t did);
    // Chip id holding the PCI device id in bits 16-31, as E4 chips report it.
    void set_e4_device_id(uint16_t did);

    HostOps ops();
    Tcl_Interp* interp() const { return interp_; }

    // Runs an engine command procedure on this adapter as "<name> <words...>", with the result and
    // the last errors cleared first; returns the procedure's result.
    using CommandProc = int (*)(HostOps, Tcl_Interp*, int, Tcl_Obj* const[]);
    int run_command(CommandProc proc, const char* name, const std::vector<std::string>& words);

    uint32_t be32(uint32_t offset) const;
    void put_be32(uint32_t offset, uint32_t value);
    void reset_counters();

private:
    friend struct Trampolines;
    Tcl_Interp* interp_;
    uint32_t chip_id_ = 0;
    bool cut_armed_ = false;
    uint64_t cut_budget_ = 0;
    bool dead_ = false;
    bool write_raw(uint32_t offset, const uint8_t* data, uint32_t length);
    bool in_range(uint32_t offset, uint64_t length) const;
};

// Runs a command procedure on the adapter's interpreter with the words of `line` (a Tcl list) as
// its arguments, the result cleared first; returns the procedure's code.
int run_line(FakeAdapter& adapter, Tcl_ObjCmdProc* proc, const std::string& line);

// Text written by the engines' debug print since the last `take_debug_text`.
std::string take_debug_text();

// Makes the adapter's record current for the life of the object.
class CurrentAdapter {
public:
    explicit CurrentAdapter(FakeAdapter& a) : ops_(a.ops()), scope_(&ops_) {}

private:
    HostOps ops_;
    fwupg::HostOpsScope scope_;
};

}  // namespace fwupg::nvm::test
