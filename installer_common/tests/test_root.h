// A fresh simulated machine for one test: a temporary system root (FWUPG_SYSTEM_ROOT) with its
// system drive C: and a working folder that becomes the current folder; everything is removed
// afterwards.
#pragma once

#include <string>

class TestRoot {
public:
    TestRoot();
    ~TestRoot();
    TestRoot(const TestRoot&) = delete;
    TestRoot& operator=(const TestRoot&) = delete;

    const std::string& dir() const { return m_dir; }
    // "<root>/<relative>".
    std::string path(const std::string& relative) const { return m_dir + "/" + relative; }

private:
    std::string m_dir;
    std::string m_oldCwd;
};

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// A built binary of the test build.
std::string BinPath(const std::string& name);
