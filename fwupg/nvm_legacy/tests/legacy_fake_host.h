// A simulated legacy adapter for engine tests: an in-memory NVRAM reached through a HostOps
// record whose slots behave as the front end's do (byte-order flag, in-place reversal of written
// blocks), a real Tcl interpreter holding ::toe and ::sys, and fault injection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tcl.h>

#include "fwupg/host_ops.h"
#include "testkit/legacy_image.h"

struct FakeHost {
    std::vector<uint8_t> nvram;
    Tcl_Interp* interp = nullptr;
    uint32_t last_error = 0;
    int writes = 0;                     // successful write calls
    int reads = 0;                      // read calls
    int64_t fail_read_at = -1;          // a read covering this offset fails
    int64_t fail_write_at = -1;         // a write covering this offset fails
    int64_t lose_write_at = -1;         // a write covering this offset reports success, stores nothing
    int cut_after_writes = -1;          // the power goes after this many writes: every later one fails
    std::vector<uint32_t> write_offsets;
    std::vector<uint32_t> write_lengths;  // of each successful write, beside its offset

    // Publishes ::toe for the adapter and loads its NVRAM.
    explicit FakeHost(const testkit::legacy::adapter& a);
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;
    ~FakeHost();

    HostOps ops();
    void set_toe(const char* name, const std::string& value);
    std::string result() const;
    uint32_t be32(uint32_t off) const;
    // Runs a command procedure with the given words (word 0 is the command name).
    int run(int (*cmd)(HostOps, int, Tcl_Obj* const[]), const std::vector<std::string>& words);
};

// Installs a Tcl channel holding `keys` as the standard input for the life of the object: the
// engine's line reads and the console key of its pauses both come from it.
class ScriptedStdin {
public:
    explicit ScriptedStdin(const std::string& keys);
    ~ScriptedStdin();
    ScriptedStdin(const ScriptedStdin&) = delete;
    ScriptedStdin& operator=(const ScriptedStdin&) = delete;

private:
    Tcl_Channel mine_ = nullptr;
    Tcl_Channel previous_ = nullptr;
};
