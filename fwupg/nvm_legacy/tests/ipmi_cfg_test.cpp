// The IPMI pass-through configuration image on a simulated legacy adapter: creation, its CRC word,
// the table address rule, the settings byte, and the "ipmi" command's editor and check.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/nvm_legacy/ipmi_cfg.h"
#include "legacy_fake_host.h"
#include "testkit/legacy_reader.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;

namespace {

adapter with_ipmi(int settings)
{
    adapter a;
    a.images = {placed("BC1", stock_image("BC1", "1.0.0")), placed("IPMI_INIT", stock_image("IPMI_INIT", "1.2.0"))};
    if (settings >= 0)
        a.images.push_back(placed("IPMI_CFG", stock_image("IPMI_CFG", "0.0." + std::to_string(settings))));
    return a;
}

bytes ipmi_bytes(const FakeHost& host)
{
    const auto cfg = find_image(host.nvram, "IPMI_CFG");
    if (!cfg)
        return {};
    return bytes(host.nvram.begin() + cfg->offset, host.nvram.begin() + cfg->offset + 552);
}

// The debug text without the programming's progress lines.
std::string printed()
{
    std::string all = fwupg::nvm::test::take_debug_text(), kept;
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\n', at);
        end = end == std::string::npos ? all.size() : end + 1;
        if (all.compare(at, 17, "Programming from:") != 0)
            kept += all.substr(at, end - at);
        at = end;
    }
    return kept;
}

// Runs the command with ::toe(DEV) set to a real device index and the host's record current.
struct ipmi_session {
    FakeHost& host;
    HostOps ops;
    fwupg::HostOpsScope scope;
    explicit ipmi_session(FakeHost& h) : host(h), ops(h.ops()), scope(&ops) { host.set_toe("DEV", "1"); }
    int run(const std::vector<std::string>& words)
    {
        std::vector<Tcl_Obj*> objv;
        for (const std::string& w : words) {
            objv.push_back(Tcl_NewStringObj(w.c_str(), -1));
            Tcl_IncrRefCount(objv.back());
        }
        Tcl_ResetResult(host.interp);
        printed();
        const int rc = toe_ipmi_cmd(nullptr, host.interp, int(objv.size()), objv.data());
        for (Tcl_Obj* o : objv)
            Tcl_DecrRefCount(o);
        return rc;
    }
};

}  // namespace

// A new image: header 06 00 00 00, zeros, the CRC of bytes 0-547 at 548 (zlib's, least significant
// byte first), programmed with its own CRC word behind it.
TEST(IpmiCfg, CreateWritesTheDefaultImage)
{
    FakeHost host(with_ipmi(-1));
    HostOps ops = host.ops();
    fwupg::HostOpsScope scope(&ops);
    ASSERT_EQ(0, toe_ipmi_cfg_create(host.interp)) << host.result();
    const auto cfg = find_image(host.nvram, "IPMI_CFG");
    ASSERT_TRUE(cfg);
    EXPECT_EQ(556u, cfg->length);
    const bytes image = ipmi_bytes(host);
    bytes expected(548, 0);
    expected[0] = 0x06;
    const uint32_t crc = crc32_of(expected, 0, 548);
    for (int i = 0; i < 4; ++i)
        expected.push_back(uint8_t(crc >> (8 * i)));
    EXPECT_EQ(expected, image);
    EXPECT_EQ(stock_image("IPMI_CFG", "0.0.0"), image);
    EXPECT_EQ("", verify_nvram(host.nvram));
}

TEST(IpmiCfg, TableAddressFollowsTheFirmwareVersion)
{
    EXPECT_EQ(0x08000000u, toe_ipmi_cfg_table_addr(nullptr, 0));
    EXPECT_EQ(0x08000000u, toe_ipmi_cfg_table_addr(nullptr, 0x0101FFFF));
    EXPECT_EQ(0x08000010u, toe_ipmi_cfg_table_addr(nullptr, 0x01020000));
    EXPECT_EQ(0x08000010u, toe_ipmi_cfg_table_addr(nullptr, 0xFFFFFFFF));
}

TEST(IpmiCfg, LoadAndSaveTheSettingsByte)
{
    FakeHost host(with_ipmi(0x25));
    HostOps ops = host.ops();
    fwupg::HostOpsScope scope(&ops);
    uint8_t s = 0;
    ASSERT_EQ(0, toe_ipmi_cfg_load(host.interp, &s));
    EXPECT_EQ(0x25, s);
    const bytes before = ipmi_bytes(host);
    ASSERT_EQ(0, toe_ipmi_cfg_save(host.interp, 0xA3)) << host.result();
    const bytes after = ipmi_bytes(host);
    ASSERT_EQ(552u, after.size());
    EXPECT_EQ(0xA3, after[214]);
    EXPECT_TRUE(residue_ok(after, 0, 552)) << "CRC at 548 renewed";
    bytes unchanged = after;
    unchanged[214] = before[214];
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 548, unchanged.begin())) << "only the settings byte";
    EXPECT_EQ("", verify_nvram(host.nvram));

    // A missing image is created first.
    FakeHost bare(with_ipmi(-1));
    HostOps bare_ops = bare.ops();
    fwupg::HostOpsScope bare_scope(&bare_ops);
    ASSERT_EQ(0, toe_ipmi_cfg_load(bare.interp, &s));
    EXPECT_EQ(0, s);
    EXPECT_TRUE(find_image(bare.nvram, "IPMI_CFG"));
}

// A read that fails writes nothing; without a facade operation nothing is reached.
TEST(IpmiCfg, UnreadableImageIsNeverRewritten)
{
    FakeHost host(with_ipmi(0x25));
    const uint32_t at = find_image(host.nvram, "IPMI_CFG")->offset;
    {
        HostOps ops = host.ops();
        fwupg::HostOpsScope scope(&ops);
        host.fail_read_at = at + 200;
        EXPECT_EQ(1, toe_ipmi_cfg_save(host.interp, 0xFF));
        EXPECT_EQ(0, host.writes);
    }
    uint8_t s = 0;
    EXPECT_EQ(1, toe_ipmi_cfg_load(host.interp, &s)) << "no current record";
}

TEST(IpmiCfg, ItemsShowAndSet)
{
    struct {
        uint8_t settings;
        int item;
        const char* shown;
        const char* raw;
    } shown[] = {
        {0x00, 1, "10/100", "0"}, {0x04, 1, "All", "4"}, {0x05, 1, "Unknown(5)", "5"}, {0x20, 2, "Half", "1"},
        {0x00, 3, "Enabled", "0"}, {0x40, 3, "Disabled", "1"}, {0x80, 4, "Disabled", "1"},
    };
    for (const auto& c : shown) {
        EXPECT_STREQ(c.shown, toe_ipmi_item_text(c.settings, c.item, 0)) << c.item;
        EXPECT_STREQ(c.raw, toe_ipmi_item_text(c.settings, c.item, 1)) << c.item;
    }
    EXPECT_EQ(nullptr, toe_ipmi_item_text(0, 5, 0));

    struct {
        int item;
        const char* text;
        int rc;
        uint8_t after;
    } sets[] = {
        {1, "3", 0, 0xE3}, {1, "7", 1, 0xE0}, {1, "-1", 1, 0xE0}, {1, "65536", 1, 0xE0}, {2, "0", 0, 0xC0},
        {3, "2", 1, 0xE0}, {4, "0", 0, 0x60}, {9, "1", 0, 0xE0},
    };
    for (const auto& c : sets) {
        uint8_t s = 0xE0;
        EXPECT_EQ(c.rc, toe_ipmi_item_set(nullptr, &s, c.item, c.text)) << c.item << "=" << c.text;
        EXPECT_EQ(c.after, s) << c.item << "=" << c.text;
    }
}

TEST(IpmiCmd, RefusesTheVirtualDevice)
{
    FakeHost host(with_ipmi(0));
    ipmi_session session(host);
    host.set_toe("DEV", "0");
    EXPECT_EQ(TCL_ERROR, session.run({"ipmi", "crc"}));
    EXPECT_EQ("Cannot operate on virtual/arbitrary PCI device.", host.result());
    EXPECT_EQ(0, host.writes);
}

TEST(IpmiCmd, EditorInArgumentMode)
{
    struct {
        std::vector<std::string> words;
        uint8_t settings_after;
        const char* result;
        const char* printed;
        bool rewritten;
    } cases[] = {
        {{"ipmi", "cfg", "1=0", "2=1"}, 0x20, "", "Saving config...\nConfig saved.\n", true},
        {{"ipmi", "cfg", "1=7"}, 0x04, "", "Saving config...\nConfig saved.\n", true},
        {{"ipmi", "cfg", "1="}, 0x04, "4", "Config not saved.\n", false},
        {{"ipmi", "cfg", "default"}, 0x04, "", "Config not saved.\n", false},
        {{"ipmi", "cfg", "2=1", "cancel"}, 0x04, "", "Config not saved.\n", false},
        {{"ipmi", "cfg", "2=[expr 0+1]", "1="}, 0x24, "4", "Saving config...\nConfig saved.\n", true},
    };
    for (const auto& c : cases) {
        FakeHost host(with_ipmi(4));
        ipmi_session session(host);
        ASSERT_EQ(TCL_OK, session.run(c.words)) << c.words.back() << host.result();
        EXPECT_EQ(c.result, host.result()) << c.words.back();
        EXPECT_EQ(c.printed, printed()) << c.words.back();
        EXPECT_EQ(c.settings_after, ipmi_bytes(host)[214]) << c.words.back();
        EXPECT_EQ(c.rewritten, host.writes > 0) << c.words.back();
        EXPECT_EQ("", verify_nvram(host.nvram)) << c.words.back();
    }
}

// The editor reads its lines from the Tcl standard input channel.
TEST(IpmiCmd, EditorInteractive)
{
    FakeHost host(with_ipmi(4));
    ipmi_session session(host);
    int rc = 0;
    {
        ScriptedStdin keys("2=1\nsave\n");
        rc = session.run({"ipmi", "cfg"});
    }
    ASSERT_EQ(TCL_OK, rc) << host.result();
    const std::string menu = " 1: Link speed {10/100(0),10(1),100(2),1000(3),all(4)}  : All\n"
                             " 2: Link duplexity {Full(0), Half(1)}                   : %s\n"
                             " 3: Link pause capability {Enable(0), Disable(1)}       : Enabled\n"
                             " 4: Link Auto-neg {Enable(0), Disable(1)}               : Enabled\n"
                             "Choice (<option>=<value>, save, cancel): ";
    auto with = [&](const char* duplex) {
        std::string m = menu;
        m.replace(m.find("%s"), 2, duplex);
        return m;
    };
    EXPECT_EQ(with("Full") + with("Half") + "Saving config...\nConfig saved.\n", printed());
    EXPECT_EQ("", host.result()) << "the result list is dropped in interactive use";
    EXPECT_EQ(0x24, ipmi_bytes(host)[214]);
}

TEST(IpmiCmd, Check)
{
    FakeHost host(with_ipmi(-1));
    ipmi_session session(host);
    ASSERT_EQ(TCL_OK, session.run({"ipmi", "crc"}));
    const std::string computed = std::to_string(get_be32(ipmi_bytes(host), 548));
    EXPECT_EQ("OK " + computed, host.result()) << "a missing image is created first";

    const uint32_t at = find_image(host.nvram, "IPMI_CFG")->offset;
    host.nvram[at + 100] ^= 1;   // damage the image, not its directory CRC
    const bytes damaged = ipmi_bytes(host);
    bytes fixed = damaged;
    seal(fixed, 0, 548);
    const std::string good = std::to_string(get_be32(fixed, 548));
    ASSERT_EQ(TCL_OK, session.run({"ipmi", "crc"}));
    EXPECT_EQ(good + " " + computed, host.result());
    EXPECT_EQ(damaged, ipmi_bytes(host)) << "a check alone writes nothing";
    ASSERT_EQ(TCL_OK, session.run({"ipmi", "cr", "-fix"})) << "unique abbreviations are accepted";
    EXPECT_EQ("Fixed " + good, host.result());
    EXPECT_EQ(fixed, ipmi_bytes(host));
    EXPECT_EQ("", verify_nvram(host.nvram));

    EXPECT_EQ(TCL_ERROR, session.run({"ipmi", "crc", "-fixit"}));
    EXPECT_EQ("wrong # args: should be \"ipmi crc ?-fix?\"", host.result());
    EXPECT_EQ(TCL_ERROR, session.run({"ipmi", "c"}));
    EXPECT_EQ("ambiguous option \"c\": must be cfg or crc", host.result());
    EXPECT_EQ(TCL_ERROR, session.run({"ipmi"}));
    EXPECT_EQ("wrong # args: should be \"ipmi option=(cfg|crc) ?arg...?\"", host.result());
}

TEST(IpmiCmd, Help)
{
    char text[512];
    uint32_t length = 0;
    ASSERT_EQ(0, toe_ipmi_help(text, 0, 0, &length));
    EXPECT_EQ("ipmi            IPMI-PT manipulation.\n\n"
              "Usage: ipmi cfg [item=choice]*\n"
              "           # Configure IPMI config table\n"
              "       ipmi crc [-fix]\n"
              "           # Check IPMI config table integrity\n"
              "Example: ipmi cfg 1=0 2=1\n"
              "         ipmi crc \n",
              std::string(text));
    EXPECT_EQ(std::strlen(text), length);
    EXPECT_EQ(-1, toe_ipmi_help(text, 0, 1, &length));
}
