// TIRN: the console firmware update tool.
#include "run.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Arguments arrive as UTF-8 and stay so; they become UTF-16 only at the library's interface.
    std::vector<std::string> args(argv, argv + argc);
    return tirn::RunTool(std::move(args));
}
