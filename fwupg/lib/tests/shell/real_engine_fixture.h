// The shell's test machine behind the real facade and engine, and the one with a simulated
// two-port E4 adapter (MFW 8.10.5.0): files go into the root, and the test kit's E4 reader and
// verifier look at the NVRAM the management library holds.
#pragma once

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "fwupg/command_exec.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"
#include "shell_fixture.h"
#include "testkit/e4_describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_reader.h"

namespace shelltest {

namespace e4 = testkit::e4;
using testkit::Bytes;

// The real facade and engine behind the shell: command lines run as a builder runs them, and the
// facade's slots are called from inside a command line.
class RealEngineTest : public ShellTest {
protected:
    // Runs one command line as a builder would (claim, ::toe, the line, "q"); returns its code.
    uint32_t Line(const std::string& line)
    {
        std::memset(g_CommandBuffer, 0, sizeof g_CommandBuffer);
        std::snprintf(g_CommandBuffer, sizeof g_CommandBuffer, "%s", line.c_str());
        g_uUpgRetCode = 0;
        ProcessCommand();
        return g_uUpgRetCode;
    }
    // Calls a facade slot from inside a command line, as the adapter's claim and ::toe stand then.
    int Slot(const std::function<int(HostOps)>& call)
    {
        int rc = -99;
        Command("t_slot", [&](const std::vector<std::string>&) {
            HostOps ops;
            BuildHostOps(&ops, g_TclInterp, 0);
            rc = call(ops);
            return TCL_OK;
        });
        Line("t_slot");
        return rc;
    }
    FacadeSwap realEngine{GetFwUpgKv9Instance()};
};

class E4AdapterTest : public RealEngineTest {
protected:
    void SetUp() override
    {
        sim::AdapterDef desc = sim::make_adapter(yxmapi::kFamilyE4, 1, "e4");
        desc.vid = 0x1077;
        desc.did = did;
        desc.svid = svid;
        desc.ssid = ssid;
        desc.chip_id = sim::chip_id_e4(did, 1, 0);
        desc.flash_word = 0x40000;
        desc.active_bundle = 0;
        BeforeStart();
        Start(desc);
        sim::set_nvram(root.path, adapter.name, e4::build(e4::stock_nvram({})).nvram);  // MFW 8.10.5.0
    }

    // The board's PCI ids (a derived fixture may change them before SetUp).
    uint16_t did = 0x1634, svid = 0x1077, ssid = 0xE4F1;

    // Runs before the library comes up (a control file with faults goes in here).
    virtual void BeforeStart() {}

    std::string File(const char* name, const Bytes& bytes)
    {
        const std::string path = root.file(name);
        testkit::write_file(path, bytes);
        return "{" + path + "}";
    }
    Bytes Nvram() const { return sim::read_nvram(root.path, adapter.name); }
    void ExpectValid() const
    {
        const e4::Report r = e4::verify(Nvram());
        EXPECT_TRUE(r.ok()) << r.text();
    }
    // An image of the NVRAM without its trailing CRC.
    Bytes Image(uint32_t type) const
    {
        const Bytes nv = Nvram();
        auto image = e4::find_image(nv, type);
        if (!image || image->entry.length < 4) return {};
        const auto at = nv.begin() + image->entry.offset;
        return Bytes(at, at + image->entry.length - 4);
    }
    uint32_t Word(uint32_t type, uint32_t w) const
    {
        const Bytes b = Image(type);
        return b.size() >= 4 * w + 4 ? e4::cfg_word(b, w) : 0xDEADBEEF;
    }
    std::string Version(uint32_t type) const
    {
        auto image = e4::find_image(Nvram(), type);
        return image ? image->version : "(absent)";
    }
    std::string RunningMfw() const
    {
        yxmapi::MfwInfo info;
        info.prepare(yxmapi::kMfwInfoVersion);
        EXPECT_EQ(fwupg::yx::GetMfwInfo(adapter.api_handle, &info), 0u);
        return std::string(info.get(yxmapi::mfw::kVersion));
    }

};

constexpr uint32_t kOk = 0, kRebootPending = 95;
// Once a line of the session wrote NVRAM, every later good line ends "reboot pending".
inline bool Good(uint32_t code) { return code == kOk || code == kRebootPending; }

}  // namespace shelltest
