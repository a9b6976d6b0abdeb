// Test helper: the folder of the built programs and libraries a test starts or loads.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform::testing {

// FWUPG_BIN_DIR when it is set (as the test runner sets it), else the folder of the running test
// program, which the build puts beside the others. Never relative: tests change the current
// folder, so a relative name would stop finding the programs.
inline std::string bin_dir()
{
    if (const char* dir = std::getenv("FWUPG_BIN_DIR"); dir && *dir) return dir;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        const std::string path(self, size_t(n));
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos) return slash ? path.substr(0, slash) : "/";
    }
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? cwd : ".";
}

}  // namespace platform::testing
