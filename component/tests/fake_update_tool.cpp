// A stand-in for an adapter family's update tool, copied into a component folder under the
// family's program name. It reads "fake_tool.ini" from its current folder:
//   exit=N        its 32-bit exit code (decimal, may be negative; default 0)
//   delay_ms=N    how long it runs after sending its lines (default 0)
//   line=L text   a live-log line at level L, sent in file order
//   exit_if=S N   exit code N instead when the switch S is one of its words ("exit_if=/N 4")
// and appends one record to "fake_tool.calls": its command line as it was started, folder,
// console title and KESTRA_VERSION, each on a line, then "--".
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/livelog.h"
#include "platform/utf16.h"
#include "platform/win_process.h"

int main()
{
    long long exitCode = 0;
    int delay = 0;
    std::vector<std::pair<uint64_t, std::string>> lines;
    std::vector<std::u16string> words = platform::split_command_line(platform::u16_view(win::GetCommandLineW()));
    bool switched = false;
    std::ifstream ini("fake_tool.ini");
    for (std::string line; std::getline(ini, line);) {
        if (line.rfind("exit=", 0) == 0 && !switched) exitCode = std::strtoll(line.c_str() + 5, nullptr, 10);
        if (line.rfind("exit_if=", 0) == 0) {
            size_t blank = line.find(' ', 8);
            if (blank == std::string::npos) continue;
            std::u16string wanted = platform::to_utf16(line.substr(8, blank - 8));
            for (size_t i = 1; i < words.size(); ++i) {
                if (words[i] != wanted) continue;
                exitCode = std::strtoll(line.c_str() + blank + 1, nullptr, 10);
                switched = true;
            }
        }
        if (line.rfind("delay_ms=", 0) == 0) delay = std::atoi(line.c_str() + 9);
        if (line.rfind("line=", 0) == 0) {
            size_t blank = line.find(' ', 5);
            if (blank == std::string::npos) continue;
            lines.emplace_back(std::strtoull(line.c_str() + 5, nullptr, 10), line.substr(blank + 1));
        }
    }
    {
        char cwd[4096];
        const char* version = std::getenv("KESTRA_VERSION");
        std::ofstream calls("fake_tool.calls", std::ios::app);
        calls << "command=" << platform::to_utf8(win::GetCommandLineW()) << "|\n"
              << "folder=" << (getcwd(cwd, sizeof cwd) ? cwd : "") << "\n"
              << "title=" << platform::startup_console_title() << "\n"
              << "KESTRA_VERSION=" << (version ? version : "(missing)") << "\n--\n";
    }
    // Looked up once, as the console tool does.
    platform::LiveLogSender sender(platform::live_log_socket_path(platform::kLiveLogClass, platform::kLiveLogTitle));
    for (const auto& [level, text] : lines) sender.send(level, platform::to_utf16(text));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    win::ExitProcess(win::UINT(exitCode));
}
