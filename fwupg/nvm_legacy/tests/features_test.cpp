// Feature settings of a legacy adapter from cfg requests, their display and the image presence
// tests, on simulated adapters described by the test kit.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm_legacy/features.h"
#include "legacy_board.h"

using namespace testkit::legacy;

namespace {

int g_resets = 0;
int count_reset(Tcl_Interp*, const char* script)
{
    if (std::strcmp(script, "_reset") == 0)
        ++g_resets;
    return TCL_OK;
}

struct Board : DescribedBoard {
    explicit Board(const std::string& text) : DescribedBoard(text) {}
    HostOps ops()
    {
        HostOps o = host.ops();
        o.tclEval = count_reset;
        return o;
    }
    // The first function's feature word: wake-on-LAN bit 24, boot agent bit 25.
    uint32_t feature_word() const { return host.be32(0x214); }
};

cfg_request request(uint32_t code, uint32_t value, const void* data = nullptr)
{
    cfg_request r{};
    r.option_flag = code;
    r.value = value;
    r.data = const_cast<void*>(data);
    return r;
}

}  // namespace

TEST(SetNvmCfg, FeatureCodesAndTheirBoards)
{
    struct Case {
        const char* what;
        int board;
        const char* phy;
        const char* vaux;
        uint32_t code, value;
        int rc;
        bool written;
        const char* printed;
        bool held_already = false;   // the NVRAM holds the value: the change needs no write
    };
    const Case cases[] = {
        {"wol on", 5709, "COPPER", "1", 0x40, 1, 0, true, ""},
        {"wol without aux power", 5709, "COPPER", "0", 0x40, 1, 1, false, "The WOL can't be enabled for this device\n"},
        {"wol on a SERDES NIC", 5709, "SERDES", "1", 0x40, 1, 1, false, "The WOL can't be enabled for this device\n"},
        {"wol off on a SERDES NIC", 5709, "SERDES", "0", 0x40, 0, 0, true, "", true},
        {"boot agent", 5708, "COPPER", "1", 0x4, 1, 0, true, ""},
        {"gen2 on a 5708", 5708, "COPPER", "1", 0x200, 1, 1, false, "This feature is not supported by the NIC.\n"},
        {"gen2 on a 5709", 5709, "COPPER", "1", 0x200, 1, 0, true, ""},
        {"no L1 on a 5706", 5706, "COPPER", "1", 0x2000, 1, 1, false, "This feature is not supported by the NIC.\n"},
        {"2.5G fiber on copper", 5708, "COPPER", "1", 0x100, 1, 1, false, "This feature is not supported by the NIC.\n"},
        {"no such feature", 5708, "COPPER", "1", 0x1, 1, 1, false, "This feature is not supported by the NIC.\n"},
        {"numbered option (cfg 16=3)", 5709, "COPPER", "1", 0x4000, 3, 1, false,
         "This feature is not supported by the NIC.\n"},
    };
    for (const Case& c : cases) {
        Board b("board=" + std::to_string(c.board) + "\nsize=0x10000\n");
        b.host.set_toe("PHY_TYPE", c.phy);
        b.host.set_toe("VAUX_PRESET", c.vaux);
        const bytes before = b.host.nvram;
        g_resets = 0;
        fwupg::nvm::test::take_debug_text();
        cfg_request r = request(c.code, c.value);
        EXPECT_EQ(c.rc, set_nvm_cfg(b.ops(), &r)) << c.what;
        const std::string printed = fwupg::nvm::test::take_debug_text();
        EXPECT_EQ(c.printed, printed) << c.what;
        // Only a change that was made asks for the reset.
        EXPECT_EQ(c.written ? 1 : 0, g_resets) << c.what;
        EXPECT_EQ(c.written && !c.held_already, b.host.writes > 0) << c.what;
        if (!c.written) {
            EXPECT_EQ(before, b.host.nvram) << c.what;
        }
        EXPECT_EQ("", verify_nvram(b.host.nvram)) << c.what;
    }

    Board b("board=5709\nsize=0x10000\n");
    b.host.set_toe("VAUX_PRESET", "1");
    cfg_request on = request(0x40, 1), agent = request(0x4, 1);
    ASSERT_EQ(0, set_nvm_cfg(b.ops(), &on));
    ASSERT_EQ(0, set_nvm_cfg(b.ops(), &agent));
    EXPECT_EQ(3u, (b.feature_word() >> 24) & 3);
    cfg_request off = request(0x40, 0);
    ASSERT_EQ(0, set_nvm_cfg(b.ops(), &off));
    EXPECT_EQ(2u, (b.feature_word() >> 24) & 3);
}

TEST(SetNvmCfg, VpdTexts)
{
    Board b("board=5709\nsize=0x10000\n");
    char mn[5], v0[17];
    const char* sixteen = "1234567890.23.56";
    cfg_request r = request(0x2000000, 0, sixteen);
    ASSERT_EQ(0, set_nvm_cfg(b.ops(), &r));
    {
        HostOps ops = b.ops();
        fwupg::HostOpsScope scope(&ops);
        ASSERT_EQ(0u, toe_nvm_vpd_strings(0, mn, v0));
    }
    EXPECT_STREQ(sixteen, v0);
    EXPECT_STREQ("14e4", mn);

    const bytes kept = b.host.nvram;
    fwupg::nvm::test::take_debug_text();
    r = request(0x2000000, 0, "1234567890.23.567");
    EXPECT_EQ(1, set_nvm_cfg(b.ops(), &r));
    EXPECT_EQ("VPD V0 string = 1234567890.23.567 is too long.\n", fwupg::nvm::test::take_debug_text());
    EXPECT_EQ(kept, b.host.nvram);

    const uint8_t yb[] = {3, 0xA1, 0xB2, 0xC3};
    r = request(0x8000000, 0, yb);
    ASSERT_EQ(0, set_nvm_cfg(b.ops(), &r));
    fwupg::nvm::test::take_debug_text();
    cfg_request show = request(0, 0x8000);
    ASSERT_EQ(0, show_nvm_cfg(b.ops(), &show));
    EXPECT_EQ("VPD (YB): 0xa1 0xb2 0xc3 \n", fwupg::nvm::test::take_debug_text());
    EXPECT_EQ("", verify_nvram(b.host.nvram));
}

TEST(SetNvmCfg, AFailedWriteIsNoSuccessAndNoReset)
{
    Board b("board=5709\nsize=0x10000\n");
    b.host.set_toe("VAUX_PRESET", "1");
    b.host.fail_write_at = 0x214;
    g_resets = 0;
    cfg_request r = request(0x40, 1);
    EXPECT_EQ(1, set_nvm_cfg(b.ops(), &r));
    EXPECT_EQ(18u, b.host.last_error);
    EXPECT_EQ(0, g_resets);
    EXPECT_EQ(1, set_nvm_wol(b.ops(), 1));
    EXPECT_EQ(0, g_resets);

    b.host.fail_write_at = -1;
    EXPECT_EQ(0, set_nvm_wol(b.ops(), 1));
    EXPECT_EQ(1, g_resets);
    EXPECT_EQ(1u, (b.feature_word() >> 24) & 1);
    b.host.set_toe("VAUX_PRESET", "0");
    EXPECT_EQ(1, set_nvm_wol(b.ops(), 1));   // refused: reported as not done
    EXPECT_EQ(0, set_nvm_wol(b.ops(), 0));
    EXPECT_EQ(0u, (b.feature_word() >> 24) & 1);
}

TEST(Presence, ImageKindsAndTheIpmiRule)
{
    const std::string ipmi = "size=0x10000\nimage=IPMI_CFG 1.0.1\nimage=IPMI_INIT 1.0.1\nimage=NCSI_CMN 1.0.9\n";
    Board b5708("board=5708\n" + ipmi), b5709("board=5709\n" + ipmi);
    EXPECT_EQ(0, toe_nvm_ipmi_present(b5708.ops()));
    EXPECT_EQ(1, toe_nvm_ipmi_present(b5709.ops()));
    EXPECT_EQ(1, toe_nvm_ncsi_present(b5708.ops()));
    EXPECT_EQ(0, toe_nvm_mba_present(b5708.ops()));
    EXPECT_EQ(0, toe_nvm_ump_present(b5708.ops()));

    // Display code 0 on an NVRAM with NCSI only: the management line carries field 29.
    fwupg::nvm::test::take_debug_text();
    cfg_request show = request(0, 0);
    ASSERT_EQ(0, show_nvm_cfg(b5708.ops(), &show));
    EXPECT_EQ("mba/pxe firmware not found in the NVRAM\nmgmt(ncsi/ump/ipmi): 0\nwol: 0\n",
              fwupg::nvm::test::take_debug_text());
    show = request(0, 0x40000);
    ASSERT_EQ(0, show_nvm_cfg(b5708.ops(), &show));
    EXPECT_EQ("14E4, 164C, 14E4, 164C\n", fwupg::nvm::test::take_debug_text());
    show = request(0, 7);
    EXPECT_EQ(1, show_nvm_cfg(b5708.ops(), &show));
    EXPECT_EQ("Invalid option specified.\n", fwupg::nvm::test::take_debug_text());
}
