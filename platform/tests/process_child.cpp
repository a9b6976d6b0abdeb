// Started by the process tests. Its first argument says what to do:
//   exit N      end through ExitProcess with the 32-bit code N (decimal, may be negative)
//   status N    return N from main (8-bit exit status only)
//   signal      end by SIGKILL
//   sleep MS    sleep, then end with 0
//   report F    write its arguments, folder, console title and open descriptors to file F
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "platform/utf16.h"
#include "platform/win_process.h"

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "exit" && argc > 2) win::ExitProcess(win::UINT(std::strtoll(argv[2], nullptr, 10)));
    if (mode == "status" && argc > 2) return std::atoi(argv[2]);
    if (mode == "signal") raise(SIGKILL);
    if (mode == "sleep" && argc > 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "report" && argc > 2) {
        // The descriptors first, before the report file adds one.
        std::string fds;
        if (DIR* d = opendir("/proc/self/fd")) {
            int own = dirfd(d);
            while (dirent* e = readdir(d)) {
                if (e->d_name[0] == '.' || std::atoi(e->d_name) == own) continue;
                fds += std::string("fd=") + e->d_name + "\n";
            }
            closedir(d);
        }
        std::ofstream out(argv[2]);
        for (int i = 0; i < argc; ++i) out << "arg=" << argv[i] << "\n";
        char cwd[4096];
        out << "cwd=" << (getcwd(cwd, sizeof cwd) ? cwd : "") << "\n";
        out << "title=" << platform::startup_console_title() << "\n";
        out << "line=" << platform::to_utf8(win::GetCommandLineW()) << "|\n";
        out << "stdout_tty_or_file=" << (isatty(1) ? "tty" : "other") << "\n";
        out << fds;
        return 0;
    }
    return 99;
}
