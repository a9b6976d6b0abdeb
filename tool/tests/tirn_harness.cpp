#include "tirn_harness.h"

#include "platform/testing/bin_dir.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace tirn_test {

namespace {

void set_nonblock(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

std::string BinDir()
{
    return platform::testing::bin_dir();
}

std::vector<std::string> RunLeftovers(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string n = e.path().filename();
        if (n.rfind("NVMDump#_", 0) == 0 || n.rfind("NVMCfgDump#_", 0) == 0 || n.rfind("FwUpgWork.", 0) == 0)
            names.push_back(n);
    }
    return names;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string OneAdapter(const std::string& entries)
{
    return "adapter=Stelmar NetXtreme II|PCI\\VEN_14E4&DEV_164E|0x14e4|0x164e|0x103c|0x7038|0|3|0|1|2|001018A1B2C3\n" +
           entries;
}

Sandbox::Sandbox()
{
    char t[] = "/tmp/tirn_e2eXXXXXX";
    base = mkdtemp(t);
    prog = base + "/prog";
    work = base + "/work";
    root = base + "/root";
    runDir = base + "/run";
    // A constructor that throws runs no destructor: the folder goes here when the tool is missing.
    try {
        for (const auto& d : {prog, prog + "/FW", work, root, runDir}) fs::create_directories(d);
        fs::copy_file(BinDir() + "/TIRN", ProgramPath());
    } catch (...) {
        std::error_code ec;
        fs::remove_all(base, ec);
        throw;
    }
    setenv("FWUPG_SYSTEM_ROOT", root.c_str(), 1);
    setenv("FWUPG_RUNTIME_DIR", runDir.c_str(), 1);
}

Sandbox::~Sandbox()
{
    std::error_code ec;
    fs::remove_all(base, ec);
}

void Sandbox::AddLibrary(const std::string& built, const std::string& asName)
{
    fs::copy_file(BinDir() + "/tirn_fakes/" + built, work + "/" + asName);
}

void Sandbox::WriteFile(const std::string& relativeToWork, const std::string& content)
{
    std::ofstream(work + "/" + relativeToWork, std::ios::binary) << content;
}

RunResult Sandbox::Run(const std::vector<std::string>& args, std::optional<std::string> input,
                       std::optional<std::string> argv0)
{
    return Spawn(ProgramPath(), args, std::move(input), argv0 ? *argv0 : ProgramPath());
}

RunResult Sandbox::RunProgram(const std::string& path, const std::vector<std::string>& args)
{
    return Spawn(path, args, std::nullopt, path);
}

RunResult Sandbox::Spawn(const std::string& path, const std::vector<std::string>& args,
                         std::optional<std::string> input, const std::string& argv0)
{
    RunResult result;
    int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC)) return result;
    if (input && pipe2(inPipe, O_CLOEXEC)) return result;

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addchdir_np(&fa, work.c_str());
    if (input)
        posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    else
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);

    std::vector<std::string> argvStore{argv0};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    // A huge allocation must fail as it would without the sanitizer, not abort the program.
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0) envStore.push_back(*e);
    const char* asan = std::getenv("ASAN_OPTIONS");
    envStore.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                       "allocator_may_return_null=1");
    std::vector<char*> env;
    for (auto& e : envStore) env.push_back(e.data());
    env.push_back(nullptr);

    pid_t pid;
    int rc = posix_spawn(&pid, path.c_str(), &fa, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&fa);
    close(outPipe[1]);
    close(errPipe[1]);
    if (input) {
        close(inPipe[0]);
        if (rc == 0 && !input->empty()) {
            [[maybe_unused]] ssize_t w = write(inPipe[1], input->data(), input->size());
        }
        close(inPipe[1]);
    }
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        ADD_FAILURE() << "posix_spawn failed: " << std::strerror(rc);
        return result;
    }
    result.pid = pid;

    set_nonblock(outPipe[0]);
    set_nonblock(errPipe[0]);
    const auto started = std::chrono::steady_clock::now();
    auto deadline = started + std::chrono::seconds(runSeconds);
    auto stopAt = started + std::chrono::milliseconds(stopAfterMs);
    bool stopPending = stopSignal != 0;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        int wait = 200;
        if (stopPending) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(stopAt - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::clamp<long long>(left.count(), 0, 200));
        }
        poll(fds, 2, wait);
        if (stopPending && std::chrono::steady_clock::now() >= stopAt) {
            kill(pid, stopSignal);
            stopPending = false;
        }
        char buf[4096];
        for (int i = 0; i < 2; ++i) {
            bool& open = i == 0 ? outOpen : errOpen;
            if (!open) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                (i == 0 ? result.out : result.err).append(buf, static_cast<size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                open = false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << path << " did not finish in time";
            break;
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // The sanitizer's note about a refused huge allocation is the only expected text there.
    std::string unexpected;
    std::istringstream errLines(result.err);
    for (std::string l; std::getline(errLines, l);)
        if (!Contains(l, "AddressSanitizer failed to allocate")) unexpected += l + "\n";
    if (!unexpected.empty() && !allowStderr) ADD_FAILURE() << path << " wrote to standard error:\n" << unexpected;
    return result;
}

std::string Sandbox::Log(const std::string& name) const { return ReadFile(LogFolder() + "/" + name); }

std::vector<std::string> Sandbox::Journal() const
{
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(work + "/fake_oem.journal"));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::vector<std::string> Sandbox::Calls(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const auto& l : Journal())
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

}  // namespace tirn_test
