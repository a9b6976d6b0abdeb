#include "platform/win_process.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kExitCodeFdVariable = "FWUPG_EXIT_CODE_FD";
constexpr const char* kTitleVariable = "FWUPG_CONSOLE_TITLE";
constexpr const char* kCommandLineVariable = "FWUPG_COMMAND_LINE";
// The descriptor on which a child finds its exit-code pipe.
constexpr int kChildExitCodeFd = 3;

struct ProcessObject : HandleObject {
    pid_t pid = -1;
    int pidfd = -1;
    int exitPipe = -1;  // read end of the child's exit-code pipe
    bool ended = false;
    win::DWORD exitCode = win::STILL_ACTIVE;

    ~ProcessObject() override
    {
        if (pidfd >= 0) close(pidfd);
        if (exitPipe >= 0) close(exitPipe);
    }

    // Reaps the child once it has ended (the pidfd is readable) and settles its exit code.
    void Reap()
    {
        if (ended) return;
        int status = 0;
        pid_t r;
        do { r = waitpid(pid, &status, 0); } while (r < 0 && errno == EINTR);
        ended = true;
        unsigned char bytes[4];
        ssize_t n;
        do { n = read(exitPipe, bytes, 4); } while (n < 0 && errno == EINTR);
        if (n == 4)
            exitCode = win::DWORD(bytes[0]) | win::DWORD(bytes[1]) << 8 | win::DWORD(bytes[2]) << 16 |
                       win::DWORD(bytes[3]) << 24;
        else if (r == pid && WIFEXITED(status))
            exitCode = win::DWORD(WEXITSTATUS(status));
        else if (r == pid && WIFSIGNALED(status))
            exitCode = win::DWORD(128 + WTERMSIG(status));
        else
            exitCode = 255;  // the child could not be reaped: never a code that reads as success
    }

    bool WaitFor(int timeout_ms)
    {
        if (ended) return true;
        pollfd p{pidfd, POLLIN, 0};
        for (;;) {
            int r = poll(&p, 1, timeout_ms);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            Reap();
            return true;
        }
    }
};

// A stand-in for the primary thread handle that CreateProcessW also returns.
struct ThreadStub : HandleObject {};

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program file named by the first word of a command line, or empty.
std::string FindProgram(const std::u16string& word)
{
    if (word.empty()) return {};
    if (word.find_first_of(u"/\\:") != std::u16string::npos) {
        std::string mapped;
        if (map_win_path(word, mapped) != 0) return {};
        return IsExecutableFile(mapped) ? mapped : std::string();
    }
    std::string name = to_utf8(word);
    if (std::string p = resolve_case_insensitive("./" + name); IsExecutableFile(p)) return p;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            if (std::string p = resolve_case_insensitive(dir + "/" + name); IsExecutableFile(p)) return p;
        }
        start = end + 1;
    }
    return {};
}

std::vector<std::string> ChildEnvironment(const std::string& title, const std::string& commandLine)
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string_view entry(*e);
        auto starts = [&](const char* name) {
            size_t n = std::strlen(name);
            return entry.size() > n && entry.compare(0, n, name) == 0 && entry[n] == '=';
        };
        if (starts(kExitCodeFdVariable) || starts(kTitleVariable) || starts(kCommandLineVariable)) continue;
        env.emplace_back(entry);
    }
    env.push_back(std::string(kExitCodeFdVariable) + "=" + std::to_string(kChildExitCodeFd));
    if (!title.empty()) env.push_back(std::string(kTitleVariable) + "=" + title);
    env.push_back(std::string(kCommandLineVariable) + "=" + commandLine);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

std::u16string ReadOwnCommandLine()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::u16string> words;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) end = raw.size();
        words.push_back(to_utf16(std::string_view(raw).substr(start, end - start)));
        start = end + 1;
    }
    // The line a starting process gave, blanks and all, when it is still this process's own: a
    // program started some other way by a child inherits the variable with another line.
    if (const char* given = std::getenv(kCommandLineVariable)) {
        std::u16string line = to_utf16(given);
        if (split_command_line(line) == words) return line;
    }
    return join_command_line(words);
}

}  // namespace

std::vector<std::u16string> split_command_line(std::u16string_view line)
{
    std::vector<std::u16string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
        if (i >= line.size()) break;
        std::u16string word;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
            if (line[i] == u'\\') {
                size_t n = 0;
                while (i < line.size() && line[i] == u'\\') ++n, ++i;
                if (i < line.size() && line[i] == u'"') {
                    word.append(n / 2, u'\\');
                    if (n % 2) {
                        word += u'"';
                        ++i;
                    }
                } else {
                    word.append(n, u'\\');
                }
            } else if (line[i] == u'"') {
                quoted = !quoted;
                ++i;
            } else {
                word += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

std::u16string join_command_line(const std::vector<std::u16string>& words)
{
    std::u16string out;
    for (const auto& w : words) {
        if (!out.empty()) out += u' ';
        if (!w.empty() && w.find_first_of(u" \t\"") == std::u16string::npos) {
            out += w;
            continue;
        }
        out += u'"';
        size_t slashes = 0;
        for (char16_t c : w) {
            if (c == u'\\') {
                ++slashes;
                out += c;
                continue;
            }
            if (c == u'"') out.append(slashes + 1, u'\\');
            slashes = 0;
            out += c;
        }
        out.append(slashes, u'\\');  // doubled before the closing quote
        out += u'"';
    }
    return out;
}

std::string startup_console_title()
{
    const char* t = std::getenv(kTitleVariable);
    return t ? t : "";
}

int process_wait_fd(win::HANDLE handle)
{
    auto p = lookup_handle_as<ProcessObject>(handle);
    return p ? p->pidfd : -1;
}

}  // namespace platform

namespace win {

BOOL CreateProcessW(const WCHAR* application, WCHAR* command_line, void*, void*, BOOL, DWORD flags,
                    void* environment, const WCHAR* current_directory, STARTUPINFOW* startup,
                    PROCESS_INFORMATION* info)
{
    using namespace platform;
    if (application || environment || !command_line || !info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::u16string> words = split_command_line(u16_view(command_line));
    if (words.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string program = FindProgram(words[0]);
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string cwd;
    if (current_directory && *current_directory) {
        if (DWORD e = map_win_path(u16_view(current_directory), cwd)) {
            SetLastError(e);
            return FALSE;
        }
    }

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        SetLastError(error_from_errno(errno));
        return FALSE;
    }
    // Moved above the descriptors the child keeps, so that placing it on 3 is a real dup2,
    // which clears close-on-exec.
    int writeEnd = fcntl(pipeFds[1], F_DUPFD_CLOEXEC, 10);
    close(pipeFds[1]);

    std::vector<std::string> args;
    for (const auto& w : words) args.push_back(to_utf8(w));
    std::vector<std::string> env =
        ChildEnvironment(startup && startup->lpTitle ? to_utf8(u16_view(startup->lpTitle)) : std::string(),
                         to_utf8(u16_view(command_line)));
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (flags & (DETACHED_PROCESS | CREATE_NEW_CONSOLE)) {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, writeEnd, kChildExitCodeFd);
    // Nothing of the parent's but the standard streams leaks into the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, kChildExitCodeFd + 1);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = -1;
    int rc = writeEnd < 0 ? EMFILE : posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (writeEnd >= 0) close(writeEnd);
    if (rc != 0) {
        close(pipeFds[0]);
        SetLastError(rc == ENOENT ? ERROR_FILE_NOT_FOUND : error_from_errno(rc));
        return FALSE;
    }

    auto process = std::make_shared<ProcessObject>();
    process->pid = pid;
    process->exitPipe = pipeFds[0];
    fcntl(process->exitPipe, F_SETFL, O_NONBLOCK);
    process->pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (process->pidfd < 0) {
        // Without a pidfd there is no way to wait with a limit: wait for the end now.
        process->Reap();
    }
    info->hProcess = register_handle(process);
    info->hThread = register_handle(std::make_shared<ThreadStub>());
    info->dwProcessId = DWORD(pid);
    info->dwThreadId = DWORD(pid);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto p = platform::lookup_handle_as<platform::ProcessObject>(handle);
    if (!p) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    int timeout = milliseconds == INFINITE ? -1 : int(std::min<DWORD>(milliseconds, 0x7FFFFFFF));
    return p->WaitFor(timeout) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* code)
{
    auto p = platform::lookup_handle_as<platform::ProcessObject>(process);
    if (!p || !code) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!p->ended) p->WaitFor(0);
    *code = p->exitCode;
    return TRUE;
}

void ExitProcess(UINT code)
{
    if (const char* fd = std::getenv(platform::kExitCodeFdVariable); fd && *fd) {
        int n = std::atoi(fd);
        unsigned char bytes[4] = {static_cast<unsigned char>(code), static_cast<unsigned char>(code >> 8),
                                  static_cast<unsigned char>(code >> 16), static_cast<unsigned char>(code >> 24)};
        struct stat st;
        // Only the pipe a starting process gave: a descriptor reused for something else is left be.
        if (n >= 0 && fstat(n, &st) == 0 && S_ISFIFO(st.st_mode)) {
            [[maybe_unused]] ssize_t w = write(n, bytes, 4);
        }
    }
    std::fflush(nullptr);
    std::exit(int(code & 0xFF));
}

const WCHAR* GetCommandLineW()
{
    static const std::u16string line = platform::ReadOwnCommandLine();
    return line.c_str();
}

}  // namespace win
