// Runs the real TIRN program in a sandbox of its own: the program copied into a temporary folder
// with its FW folder, a working folder holding the stand-in libraries and their control file, a
// system root for the log files and a runtime folder for the live-log socket.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tirn_test {

struct RunResult {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
    int pid = -1;     // the process that ran
};

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Copies a built stand-in library ("fake_oem.so", "fake_partial.so", "not_vendor.so") into
    // the working folder under `asName`.
    void AddLibrary(const std::string& built, const std::string& asName);
    void WriteFile(const std::string& relativeToWork, const std::string& content);
    void Control(const std::string& text) { WriteFile("fake_oem.ctl", text); }

    // Runs TIRN with the working folder as current folder. argv[0] is `argv0` (default: the
    // program's full path). `input` feeds standard input through a pipe; none gives /dev/null.
    RunResult Run(const std::vector<std::string>& args, std::optional<std::string> input = std::nullopt,
                  std::optional<std::string> argv0 = std::nullopt);
    // Runs another program the same way (working folder, environment, time limit, output).
    RunResult RunProgram(const std::string& path, const std::vector<std::string>& args);

    std::string Log(const std::string& name = "tirn.log") const;
    std::vector<std::string> Journal() const;
    // The journal lines that start with `prefix`.
    std::vector<std::string> Calls(const std::string& prefix) const;

    std::string base, prog, work, root, runDir;
    // A run whose process is ended on purpose (a simulated power loss) may leave a note on
    // standard error; otherwise any text there fails the test.
    bool allowStderr = false;
    // How long a run may take before it is killed and the test fails.
    int runSeconds = 60;
    // When not 0: the signal each run is sent `stopAfterMs` milliseconds after it started.
    int stopSignal = 0;
    int stopAfterMs = 0;
    std::string ProgramPath() const { return prog + "/TIRN"; }
    std::string FwFolder() const { return prog + "/FW"; }
    std::string LogFolder() const { return root + "/C/tvnsystem/log"; }

private:
    RunResult Spawn(const std::string& path, const std::vector<std::string>& args, std::optional<std::string> input,
                    const std::string& argv0);
};

// The folder of the built programs and libraries (platform/testing/bin_dir.h).
std::string BinDir();
std::string ReadFile(const std::string& path);
bool Contains(const std::string& text, const std::string& part);
// The backups, their side files and the private work folders a run can leave in `folder`.
std::vector<std::string> RunLeftovers(const std::string& folder);
// The one adapter with two entries that many tests use, as control lines.
std::string OneAdapter(const std::string& entries);

}  // namespace tirn_test
