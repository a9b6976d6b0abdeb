#include "frame_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "fwupg/selected_nic.h"
#include "fwupg/yxmapi_client.h"

namespace frametest {

TempRoot::TempRoot()
{
    oldCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(path);
}

TempRoot::~TempRoot()
{
    std::filesystem::current_path(oldCwd_);
}

SimJournal::SimJournal()
{
    lib_ = dlopen((bin_dir() + "/" + yxmapi::kLibraryFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib_) ADD_FAILURE() << dlerror();
}

// Without the library (a failure already reported) the journal is empty: the test fails, but
// does not crash, so its temporary folders are still removed.
std::vector<YxSimCall> SimJournal::calls() const
{
    if (!lib_) return {};
    auto size = reinterpret_cast<YxSimJournalSizeFn>(dlsym(lib_, "yxsim_journal_size"));
    auto read = reinterpret_cast<YxSimJournalReadFn>(dlsym(lib_, "yxsim_journal_read"));
    std::vector<YxSimCall> out(size());
    out.resize(read(0, out.data(), static_cast<uint32_t>(out.size())));
    return out;
}

std::vector<YxSimCall> SimJournal::calls(uint32_t ordinal) const
{
    std::vector<YxSimCall> out;
    for (const YxSimCall& c : calls())
        if (c.ordinal == ordinal) out.push_back(c);
    return out;
}

void SimJournal::clear() const
{
    if (!lib_) return;
    reinterpret_cast<YxSimResetJournalFn>(dlsym(lib_, "yxsim_reset_journal"))();
}

void fail_ordinal(const std::string& root, uint32_t ordinal, const std::string& adapter)
{
    sim::Control control;
    sim::FaultRule rule;
    rule.ordinal = ordinal;
    rule.adapter = adapter;
    control.faults.push_back(rule);
    sim::write_control(root, control);
}

void select_adapter(const sim::AdapterDef& desc)
{
    yxmapi::PhyNicInfo phy{};
    yxmapi::NicInfoEx info{};
    ASSERT_EQ(fwupg::yx::GetPhyNic(desc.list_handle, &phy), 0u);
    ASSERT_EQ(fwupg::yx::GetNicInfoEx(desc.list_handle, &info), 0u);
    fwupg::SelectNic(phy, info);
}

}  // namespace frametest
