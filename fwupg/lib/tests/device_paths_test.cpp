// Paths of the adapter model that the update runs pass through without showing them: the NVRAM
// dump by PCI address, which firmware types a file fits on which adapter, the upgrade command's
// refusals of an image for its type, and which adapters need a reboot for an update to take
// effect. On the test kit's demo machine with its legacy boards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <platform/utf16.h>
#include <testkit/demo.h>

#include "fwupg/command_exec.h"
#include "fwupg/device.h"
#include "fwupg/oem_interface.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "update_test_support.h"

namespace {

using disctest::World;
using updtest::Adapter;
using updtest::Nvrams;

struct Demo {
    World w;
    Demo() { testkit::make_demo(w.root(), w.fw(), true); }
    std::string File(const std::string& name) const { return w.fw() + "/" + name; }
};

const Device* Find(const World& w, const std::string& board)
{
    const sim::AdapterDef a = Adapter(w, board);
    for (const Device& d : g_AllDevices)
        if (d.IsDevice(a.bus, a.device, a.function)) return &d;
    return nullptr;
}

uint32_t Dump(const std::string& path, const sim::AdapterDef& a, uint32_t segment = 0)
{
    const std::u16string file = platform::to_utf16(path);
    return oem_get_full_flash_dump_PCI(file.c_str(), u"nvm", segment, a.bus, a.device, a.function);
}

testkit::Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return testkit::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each 4-byte group in the other byte order.
testkit::Bytes DwordsReversed(testkit::Bytes b)
{
    for (size_t i = 0; i + 4 <= b.size(); i += 4) std::reverse(b.begin() + long(i), b.begin() + long(i) + 4);
    return b;
}

}  // namespace

// A dump writes the adapter's whole NVRAM into the file and changes nothing: an E1-E3 board's
// bytes as they stand, an E4 board's as words in network byte order. The legacy family cannot
// be dumped this way (104). Only the first function of a board, on segment 0, is looked for:
// another function or segment finds no adapter (7).
TEST(DevicePaths, DumpByPciAddress)
{
    Demo d;
    const std::string folder = d.w.root() + "/dumps";
    std::filesystem::create_directory(folder);
    const auto before = Nvrams(d.w);
    for (const char* board : {"e3-57810-p0", "e4-57980s-p0"}) {
        SCOPED_TRACE(board);
        const std::string out = folder + "/" + board + ".bin";
        std::ofstream(out) << "an older dump";
        ASSERT_EQ(Dump(out, Adapter(d.w, board)), 0u);
        EXPECT_EQ(ReadBytes(out), std::string(board).rfind("e4", 0) == 0 ? DwordsReversed(before.at(board)) : before.at(board));
    }
    const std::string legacy = folder + "/legacy.bin";
    EXPECT_EQ(Dump(legacy, Adapter(d.w, "l-5709-p0")), uint32_t(RET_DEVICE_NOT_SUPPORTED));
    EXPECT_FALSE(std::filesystem::exists(legacy));
    const std::string other = folder + "/other.bin";
    EXPECT_EQ(Dump(other, Adapter(d.w, "e3-57810-p0"), 1), uint32_t(RET_OPERATION_FAILED));
    EXPECT_EQ(Dump(other, Adapter(d.w, "e3-57810-p1")), uint32_t(RET_OPERATION_FAILED));
    EXPECT_FALSE(std::filesystem::exists(other));
    EXPECT_EQ(Nvrams(d.w), before);
}

// Each type's own check decides: the file's kind, the adapter's family, its chip, and whether
// the adapter holds an image of that kind already.
TEST(DevicePaths, CompatibilityByFirmwareType)
{
    Demo d;
    ASSERT_TRUE(d.w.Discover());
    struct Case {
        const char* board;
        const char* file;
        std::vector<int> types;  // of 0..15, those the file fits
    };
    const Case cases[] = {
        {"e3-57810-p0", "mbi_e2e3.bin", {13}},
        {"e3-57810-p0", "mfw_e3.bin", {10}},
        {"e3-57810-p0", "phy_e3.bin", {14}},
        {"e3-57810-p0", "l2t.bin", {8}},
        // Any boot-agent ROM of a listed device passes the ROM check; the board holds a boot agent.
        {"e3-57810-p0", "mba_legacy.bin", {1}},
        // UMP is a legacy kind; the E3 board holds no iSCSI boot image, the E1 board does.
        {"e3-57810-p0", "ump_legacy.bin", {}},
        {"e3-57810-p0", "ib_legacy.bin", {}},
        {"e1-57710", "ib_legacy.bin", {2}},
        {"e1-57710", "bc_e1.bin", {0}},
        {"e1-57710", "mbi_e2e3.bin", {}},  // another chip's package
        // On the legacy family any wrapped file of a known kind passes the firmware check (10).
        {"l-5706", "bc_legacy.bin", {0, 10}},
        {"l-5706", "ump_legacy.bin", {3}},
        {"l-5706", "phy_legacy.bin", {14}},
        {"l-5706", "ncsi_legacy.bin", {10}},  // the 5706 holds no NCSI image
        {"l-5709-p0", "ncsi_legacy.bin", {5, 10}},
        {"l-5709-p0", "mbi_e2e3.bin", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.board) + " " + c.file);
        const Device* device = Find(d.w, c.board);
        ASSERT_NE(device, nullptr);
        std::vector<int> fits;
        for (int type = 0; type <= 15; ++type)
            if (device->IsCompatible(d.File(c.file), type)) fits.push_back(type);
        EXPECT_EQ(fits, c.types);
    }
    // A file fits an adapter when it fits the type of one of its items: the E4 board lists only
    // its MBI item, so only its own package fits it.
    const Device* e4 = Find(d.w, "e4-57980s-p0");
    ASSERT_NE(e4, nullptr);
    EXPECT_TRUE(e4->IsCompatible(d.File("mbi_e4.bin")));
    for (const char* other : {"mbi_e1.bin", "mfw_e4.bin", "NICFWData.xml"}) EXPECT_FALSE(e4->IsCompatible(d.File(other))) << other;
}

// The upgrade command refuses an image that is not of its option's kind, or an option the
// family does not take, with the check's own code and before anything is written.
TEST(DevicePaths, UpgradeRefusesImagesForTheirType)
{
    Demo d;
    ASSERT_TRUE(d.w.Discover());
    const auto before = Nvrams(d.w);
    struct Case {
        const char* board;
        const char* option;
        const char* file;
        uint32_t code;
    };
    const Case cases[] = {
        {"l-5706", "-ib", "bc_legacy.bin", 67},   // not an iSCSI boot image
        {"e1-57710", "-ib", "mfw_e3.bin", 67},    // the board holds iSCSI boot, the file is none
        {"e3-57810-p0", "-init_hw", "bc_e1.bin", 137},  // a known format, but not an E4 board
        {"e3-57810-p0", "-init_hw", "NICFWData.xml", 137},
        {"l-5706", "-vpd", "bc_legacy.bin", 60},
        {"e4-57980s-p0", "-vpd", "mbi_e4.bin", 60},
        {"l-5706", "-l2t", "l2t.bin", 60},
        {"e3-57810-p0", "-ipmi", "bc_e1.bin", 60},
        {"e3-57810-p0", "-ump", "ump_legacy.bin", 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.board) + " " + c.option + " " + c.file);
        const Device* device = Find(d.w, c.board);
        ASSERT_NE(device, nullptr);
        g_CurPhyNic = device->m_PhyNicInfo;
        g_CurNicInfo = device->m_NicInfo;
        EXPECT_EQ(fwupg::command::FwUpgKv9(false, c.option, d.File(c.file).c_str()), uint32_t(RET_OPERATION_FAILED));
        EXPECT_EQ(g_uUpgRetCode, c.code);
    }
    EXPECT_EQ(Nvrams(d.w), before);
}

// E1-E3 and E4 updates take effect at a reboot; a legacy board's need comes from its capability
// flags, and the discovery report says "deferred" when any usable adapter has it.
TEST(DevicePaths, RebootNeedByFamilyAndCapability)
{
    Demo d;
    for (const char* board : {"l-5706", "l-5709-p0"}) {
        sim::AdapterDef a = Adapter(d.w, board);
        a.capabilities &= ~yxmapi::nic::kCapNeedsReboot;
        d.w.Add(a);
    }
    ASSERT_TRUE(d.w.Discover());
    const std::pair<const char*, bool> cases[] = {
        {"e1-57710", true}, {"e3-57810-p0", true}, {"e4-57980s-p0", true},
        {"l-5706", false},  {"l-5709-p0", false},  {"l-5708", true},  // the demo's legacy boards have the flag
    };
    for (const auto& [board, reboot] : cases) {
        const Device* device = Find(d.w, board);
        ASSERT_NE(device, nullptr) << board;
        EXPECT_EQ(device->IsRebootRequiredForFwupg(), reboot) << board;
    }

    // Through discovery: a machine of legacy boards without the flag takes effect at once.
    for (bool flagged : {false, true}) {
        SCOPED_TRACE(flagged ? "one board flagged" : "no board flagged");
        Demo legacy;
        for (const std::string& name : sim::adapter_names(legacy.w.root())) {
            if (name.rfind("l-", 0) != 0) {
                std::filesystem::remove(sim::description_path(legacy.w.root(), name));
                continue;
            }
            sim::AdapterDef a = Adapter(legacy.w, name);
            if (!flagged || name != "l-5716-p0") a.capabilities &= ~yxmapi::nic::kCapNeedsReboot;
            legacy.w.Add(a);
        }
        const std::string report = legacy.w.root() + "/report.xml";
        ASSERT_EQ(updtest::Discover(legacy.w, report), 0u);
        const std::string text = updtest::Read(report);
        EXPECT_EQ(updtest::Count(text, "<device>"), 4u) << text;
        EXPECT_EQ(updtest::Count(text, flagged ? "takes_effect value=\"deferred\"" : "takes_effect value=\"immediate\""),
                  1u)
            << text;
    }
}
