// TIRN: the console firmware update tool.
#include "run.h"

#include <csignal>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // A file-size limit makes a write past it fail (EFBIG) like a full disk, which every writer
    // reports, instead of ending the run between two steps without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    // Arguments arrive as UTF-8 and stay so; they become UTF-16 only at the library's interface.
    std::vector<std::string> args(argv, argv + argc);
    return tirn::RunTool(std::move(args));
}
