#include "shell_fixture.h"

#include "fwupg/frame_work.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"

namespace shelltest {

ImageCheckDouble* g_imageChecks = nullptr;

namespace {

uint32_t CheckDouble(Tcl_Interp*, fwupg::shell::ImageUse use, const char* path, uint32_t type,
                     std::vector<uint8_t>* bytes)
{
    ImageCheckDouble& d = *g_imageChecks;
    d.asked.push_back(std::to_string(static_cast<int>(use)) + ":" + std::to_string(type) + ":" + path);
    switch (use) {
    case fwupg::shell::ImageUse::Upgrade: return d.upgrade;
    case fwupg::shell::ImageUse::Phy:
        if (bytes) *bytes = d.phyBytes;
        return d.phy;
    case fwupg::shell::ImageUse::Restore: return d.restore;
    }
    return 3;
}

int RunTestCommand(ClientData cd, Tcl_Interp*, int objc, Tcl_Obj* const objv[])
{
    std::vector<std::string> words;
    for (int i = 0; i < objc; ++i) words.emplace_back(Tcl_GetString(objv[i]));
    return (*static_cast<std::function<int(const std::vector<std::string>&)>*>(cd))(words);
}

}  // namespace

void ShellTest::Start(sim::AdapterDef desc)
{
    adapter = std::move(desc);
    sim::write_adapter(root.path, adapter);
    ASSERT_EQ(fwupg::yx::Initialize(), 0u);
    frametest::select_adapter(adapter);
    // The interpreter as each exported call creates it.
    Tcl_FindExecutable(nullptr);
    g_TclInterp = Tcl_CreateInterp();
    Tcl_SetVar(g_TclInterp, "tcl_interactive", "0", TCL_GLOBAL_ONLY);
    RegisterShellCommands(g_TclInterp);
    g_imageChecks = &images;
    previousCheck_ = fwupg::shell::g_pImageCheck;
    fwupg::shell::g_pImageCheck = CheckDouble;
    journal.clear();
    g_uUpgRetCode = 0;
    // The written mark lives as long as the library; each test stands for a fresh process, so an
    // earlier test's writes must not make this test's lines report a pending reboot.
    g_bNvmWritten = 0;
    started_ = true;
}

void ShellTest::TearDown()
{
    if (!started_) return;
    started_ = false;
    DeleteInterp();
    fwupg::shell::g_pImageCheck = previousCheck_;
    g_imageChecks = nullptr;
    fwupg::yx::Shutdown();
}

int ShellTest::Eval(const std::string& script)
{
    return Tcl_EvalEx(g_TclInterp, script.c_str(), -1, 0);
}

std::string ShellTest::Result() const
{
    return Tcl_GetStringResult(g_TclInterp);
}

void ShellTest::Command(const std::string& name, std::function<int(const std::vector<std::string>&)> body)
{
    commands_.push_back(std::make_unique<std::function<int(const std::vector<std::string>&)>>(std::move(body)));
    Tcl_CreateObjCommand(g_TclInterp, name.c_str(), RunTestCommand, commands_.back().get(), nullptr);
}

void DeleteInterp()
{
    if (g_TclInterp) Tcl_DeleteInterp(g_TclInterp);
    g_TclInterp = nullptr;
}

size_t Count(const frametest::SimJournal& journal, uint32_t ordinal)
{
    return journal.calls(ordinal).size();
}

}  // namespace shelltest
