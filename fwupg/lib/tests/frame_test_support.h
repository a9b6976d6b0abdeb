// Test support for the frame: a temporary system root and working folder, the simulated
// management library's journal, and adapters selected the way the front end selects them.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/testing/bin_dir.h"
#include "platform/testing/temp_root.h"
#include "sim/adapter_builder.h"
#include "yxmapi/sim_control.h"
#include "yxmapi/yxmapi.h"

namespace frametest {

using platform::testing::bin_dir;

// A fresh system root (FWUPG_SYSTEM_ROOT) that is also the current folder for the test's life.
class TempRoot : public platform::testing::TempSystemRoot {
public:
    TempRoot();
    ~TempRoot();
    const std::string path = TempSystemRoot::path();
    std::string file(const std::string& name) const { return path + "/" + name; }

private:
    std::string oldCwd_;
};

// The simulated library as loaded in this process (the same instance the frame binds).
class SimJournal {
public:
    SimJournal();
    std::vector<YxSimCall> calls() const;
    // Calls of one ordinal, in order.
    std::vector<YxSimCall> calls(uint32_t ordinal) const;
    void clear() const;

private:
    void* lib_ = nullptr;
};

// Fails the given ordinal with `status` from now on (every call, any adapter).
void fail_ordinal(const std::string& root, uint32_t ordinal, const std::string& adapter = {});

// Writes the adapters, brings the management library up and selects `index`'s records.
void select_adapter(const sim::AdapterDef& desc);

}  // namespace frametest
