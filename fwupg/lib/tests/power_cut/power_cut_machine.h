// A board of the test kit's demo machine on which command lines of the shell run, each run in a
// child process of its own (so that the simulated library's power loss, which ends the process,
// ends only that run), with the real facade and engines behind the shell and the real image
// checks. The machine can be saved and put back, its NVRAM writes read from the simulated
// library's journal, and each function's NVRAM checked with the kit's verifier of its family.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "frame_test_support.h"
#include "sim/adapter_builder.h"
#include "testkit/bytes.h"

namespace powercut {

constexpr int kPowerLossExit = 75;  // the simulated library's exit code at a power loss
constexpr uint32_t kOrdWriteNvram = 67;
constexpr uint32_t kOrdReadNvram = 68;
constexpr uint32_t kOrdWritePhy = 131;

// How a child run ended: 0 every line succeeded, 1 a line failed (its code kept), 75 the power
// went, other values a run that could not start.
struct RunResult {
    int exitCode = -1;
    uint32_t lineCode = 0;  // the code of the line that failed
    std::string failedLine;
};

// One NVRAM write (or PHY write) of the target adapter in a run, in call order.
struct Write {
    uint32_t nth = 0;  // 1 = the run's first write of that ordinal to the adapter
    uint32_t offset = 0;
    uint32_t bytes = 0;
    uint32_t status = 0;
};

// The kit's verdict on one function's NVRAM: empty when it verifies.
using Verdicts = std::map<std::string, std::string>;

class Machine {
public:
    // Makes the demo machine (with its legacy boards when asked) and keeps only the board named
    // `board`; its first function is the target.
    Machine(const std::string& board, bool legacy);

    // Runs the lines as the library's builders do (claim, line, "q") in a child process, under
    // the given fault rules (none: the control file is emptied). With `oneCall` the lines run as
    // the lines of one exported call do, which keeps each adapter's NVRAM backup from line to line.
    // A line "@N <line>" runs on the board's function N (0: the target; lines run on the function
    // the last such line named).
    RunResult Run(const std::vector<std::string>& lines, const std::vector<sim::FaultRule>& faults = {},
                  bool oneCall = false);
    // The target's bytes of `ordinal` (NVRAM reads or writes) in the last run; with `wholeBoard`
    // those of every function of the board.
    uint64_t Bytes(uint32_t ordinal, bool wholeBoard = false) const;
    // The writes of `ordinal` through the board's function `function` (0: the target) in the last run.
    std::vector<Write> Writes(uint32_t ordinal = kOrdWriteNvram, size_t function = 0) const;

    // Every function of the board, by name: the kit's verifier's complaint, or empty.
    Verdicts Verify() const;
    // What the board holds, image by image (where the images lie left out), for comparing
    // two NVRAMs that should hold the same.
    std::map<std::string, testkit::Bytes> Contents() const;
    testkit::Bytes Nvram() const { return sim::read_nvram(root.path, target.name); }

    void Save(const std::string& name);
    void Restore(const std::string& name);

    frametest::TempRoot root;
    std::string fw;  // the demo's firmware folder
    sim::AdapterDef target;
    std::vector<sim::AdapterDef> functions;  // the board's functions, the target first
};

// The first line of a kit verifier's complaint, for naming the record that does not verify.
std::string FirstComplaint(const Verdicts& verdicts);
// Every complaint with its function's name; empty when every function verifies.
std::string Complaints(const Verdicts& verdicts);
// The line with "$FW" standing for the machine's firmware folder and "$ROOT" for its system root.
std::string Expand(std::string line, const Machine& m);

}  // namespace powercut
