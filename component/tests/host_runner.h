// Runs kestra_host on a component folder and collects its key=value report.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>
#include "platform/testing/bin_dir.h"

struct HostReport {
    int exitCode = -1;
    std::string out;
    std::map<std::string, std::string> values;
    std::string operator[](const std::string& key) const
    {
        auto it = values.find(key);
        return it == values.end() ? "<absent>" : it->second;
    }
};

// `env`: extra variables ("NAME=value"); the host's own arguments are `args`. Every run checks the
// host's exit code against `exitCode`, so that a run that ends any other way (a bad setting, a
// plug-in that fails to load, a crash or a leak report under the sanitizer) fails the test.
inline HostReport RunHost(const std::string& folder, const std::vector<std::string>& args,
                          const std::vector<std::string>& env = {}, int exitCode = 0)
{
    auto quote = [](const std::string& s) { return "'" + s + "'"; };
    std::string cmd = "env KESTRA_COMPONENT_DIR=" + quote(folder);
    for (const auto& e : env) cmd += " " + quote(e);
    cmd += " " + quote(platform::testing::bin_dir() + "/kestra_host");
    for (const auto& a : args) cmd += " " + quote(a);
    HostReport r;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    size_t start = 0;
    while (start < r.out.size()) {
        size_t end = r.out.find('\n', start);
        if (end == std::string::npos) end = r.out.size();
        std::string line = r.out.substr(start, end - start);
        if (size_t eq = line.find('='); eq != std::string::npos) r.values[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    EXPECT_EQ(r.exitCode, exitCode) << "kestra_host's exit code; its output:\n" << r.out;
    return r;
}
