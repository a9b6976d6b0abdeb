#include "test_root.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>
#include "platform/testing/bin_dir.h"

TestRoot::TestRoot()
{
    std::filesystem::create_directories(path("work"));
    std::filesystem::create_directories(path("C"));  // the system drive
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) m_oldCwd = cwd;
    if (chdir(path("work").c_str()) != 0) throw std::runtime_error("chdir");
}

TestRoot::~TestRoot()
{
    // Leave the folder before the base class removes it.
    if (!m_oldCwd.empty() && chdir(m_oldCwd.c_str()) != 0) {
    }
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::string BinPath(const std::string& name)
{
    return platform::testing::bin_dir() + "/" + name;
}
