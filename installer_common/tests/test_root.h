// A fresh simulated machine for one test: a temporary system root (FWUPG_SYSTEM_ROOT) with its
// system drive C: and a working folder that becomes the current folder; everything is removed
// afterwards.
#pragma once

#include <string>

#include "platform/testing/temp_root.h"

class TestRoot : public platform::testing::TempSystemRoot {
public:
    TestRoot();
    ~TestRoot();

    // "<root>/<relative>".
    std::string path(const std::string& relative) const { return *this / relative; }

private:
    std::string m_oldCwd;
};

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// A built binary of the test build.
std::string BinPath(const std::string& name);
