// The whole run of TIRN, from the arguments to the exit code.
#pragma once

#include "options.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tirn {

class UserInterface;

// Runs the adapter query and the one mode the flag word selects; the exit code.
int RunMode(UserInterface& ui, const ParsedOptions& options, FILE* input);

// The program: start-up, options, optional library debug log, mode and closing banner.
// `args` are the UTF-8 arguments including the program name. Never throws.
int RunTool(std::vector<std::string> args);

// An exit code as the process can return it: codes above 255 (a library code the tool does not
// know) become 255, never a value that reads as success.
int ProcessExitCode(long long code);

}  // namespace tirn
