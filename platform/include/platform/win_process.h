// Processes: starting a program from a command line, waiting for it and reading its 32-bit exit
// code, and the running process's own command line.
//
// A Linux exit status holds 8 bits, while the system's programs end with 32-bit codes (1026, or
// negative ones). A child started here therefore gets a pipe of its own on descriptor 3, named
// by FWUPG_EXIT_CODE_FD; ExitProcess writes the whole code there before the process ends, and
// GetExitCodeProcess prefers it to the 8-bit status. A child that ends without writing it
// reports its exit status, or 128 + the signal that ended it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace win {

constexpr DWORD DETACHED_PROCESS = 0x8;
// The child gets a console of its own, which this machine has no screen for: its standard
// streams go nowhere, as with DETACHED_PROCESS.
constexpr DWORD CREATE_NEW_CONSOLE = 0x10;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;

// The fields of the start-up record that the system's programs fill in.
struct STARTUPINFOW {
    DWORD cb;
    const WCHAR* lpTitle;  // console title of the child, passed as FWUPG_CONSOLE_TITLE
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// Starts the program named by the first word of `command_line` (split with the system's quoting
// rules; `application` must be NULL). A bare name is looked for in the current folder, then on
// PATH, names compared without case; a name with a folder is mapped as the system writes it.
// The child keeps standard input, output and error (DETACHED_PROCESS: /dev/null instead) and
// no other descriptor. `current_directory` NULL: the caller's. FALSE with 2 when the program is
// not found, 87 for an empty line or a non-NULL `application` or `environment`.
BOOL CreateProcessW(const WCHAR* application, WCHAR* command_line, void* process_attributes,
                    void* thread_attributes, BOOL inherit_handles, DWORD flags, void* environment,
                    const WCHAR* current_directory, STARTUPINFOW* startup, PROCESS_INFORMATION* info);

// Waits for a process handle to end; WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED with 6.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// STILL_ACTIVE while the process runs; FALSE with 6 for a handle that is no process.
BOOL GetExitCodeProcess(HANDLE process, DWORD* code);

// Ends the running process with a 32-bit code (see above); standard streams are flushed.
[[noreturn]] void ExitProcess(UINT code);

// The running process's command line: as CreateProcessW was given it (FWUPG_COMMAND_LINE), blanks
// included, when its words are this process's arguments; otherwise the arguments joined by one
// blank, each quoted when it is empty or holds a blank, a tab or a quote. Built once.
const WCHAR* GetCommandLineW();

}  // namespace win

namespace platform {

// Splits a command line into words by the system's rules: blanks and tabs separate, "..." groups,
// 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal quote.
std::vector<std::u16string> split_command_line(std::u16string_view line);
// Joins words so that split_command_line gives them back.
std::u16string join_command_line(const std::vector<std::u16string>& words);

// The console title the starting process asked for (FWUPG_CONSOLE_TITLE), or empty.
std::string startup_console_title();

// A descriptor that becomes readable when the process of `handle` has ended, or -1.
int process_wait_fd(win::HANDLE handle);

}  // namespace platform
