#include "test_root.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

TestRoot::TestRoot()
{
    char tmpl[] = "/tmp/ic_rootXXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    m_dir = tmpl;
    std::filesystem::create_directories(m_dir + "/work");
    std::filesystem::create_directories(m_dir + "/C");  // the system drive
    setenv("FWUPG_SYSTEM_ROOT", m_dir.c_str(), 1);
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) m_oldCwd = cwd;
    if (chdir((m_dir + "/work").c_str()) != 0) throw std::runtime_error("chdir");
}

TestRoot::~TestRoot()
{
    if (!m_oldCwd.empty() && chdir(m_oldCwd.c_str()) != 0) {
    }
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
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
    const char* bin = std::getenv("FWUPG_BIN_DIR");
    return std::string(bin ? bin : ".") + "/" + name;
}
