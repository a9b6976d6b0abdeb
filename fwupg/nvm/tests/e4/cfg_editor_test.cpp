// The E4 configuration editor on a test-kit E4 board: numbered options by port and function,
// the request flags, refusals that leave NVRAM untouched, the display texts and the MBI downgrade
// guard. The fake adapter does not install what the firmware channel gets, so a written NVM_CFG1
// is read back from the bytes the channel got (header at offset 0, then the image at offset 0).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fwupg/engine_procs.h"
#include "fwupg/fw_package.h"
#include "fwupg/nvm/e4/cfg_editor.h"
#include "fwupg/nvm/e4/cfg_upgrade.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "kit_e4_board.h"
#include "platform/testing/temp_root.h"
#include "testkit/e4_images.h"
#include "testkit/package.h"

namespace {

using namespace fwupg::nvm::test;
namespace e4 = testkit::e4;
using testkit::Bytes;

// A stock board whose NVM_CFG1 has the given words, with ::toe(PORT_CNT) and ::toe(FUNC_NUM).
struct CfgBoard {
    explicit CfgBoard(std::vector<std::pair<uint32_t, uint32_t>> words = {}, unsigned ports = 2, unsigned func = 0,
                      std::vector<uint32_t> without = {})
        : board(description(std::move(words), without))
    {
        board.adapter.set_toe("PORT_CNT", std::to_string(ports));
        board.adapter.set_toe("FUNC_NUM", std::to_string(func));
        before = board.adapter.nvram;
        take_debug_text();
    }
    // The stock board without the images of the types in `without`.
    static e4::NvramDef description(std::vector<std::pair<uint32_t, uint32_t>> words,
                                     const std::vector<uint32_t>& without)
    {
        e4::NvramDef d = e4::stock_nvram({});
        std::erase_if(d.images, [&](const e4::ImageDef& im) {
            return std::find(without.begin(), without.end(), im.type) != without.end();
        });
        for (e4::ImageDef& im : d.images)
            if (im.type == e4::type::NVM_CFG1) {
                e4::NvmCfgDef s;
                s.mbi = {8, 10, 5};
                s.words = words;
                im.data = e4::nvm_cfg(s);
            }
        return d;
    }
    int set(std::vector<cfg_request> requests, uint32_t all = 0)
    {
        return set_nvm_cfg_e4(board.adapter.ops(), requests.data(), uint32_t(requests.size()), all);
    }
    // The NVM_CFG1 the channel got; the board's own when nothing was written (the NVRAM held
    // that content already); empty after any other writes.
    Bytes written() const
    {
        const auto& w = board.adapter.writes;
        if (w.empty()) {
            auto image = e4::find_image(board.adapter.nvram, e4::type::NVM_CFG1);
            return image ? Bytes(board.adapter.nvram.begin() + image->entry.offset,
                                 board.adapter.nvram.begin() + image->entry.offset + 4240)
                         : Bytes{};
        }
        if (w.size() != 2 || w[0] != std::make_pair(0u, 32u) || w[1] != std::make_pair(0u, 4240u)) return {};
        return Bytes(board.adapter.nvram.begin(), board.adapter.nvram.begin() + 4240);
    }
    uint32_t word(uint32_t w) const { return e4::cfg_word(written(), w); }
    bool untouched() const { return board.adapter.writes.empty() && board.adapter.nvram == before; }

    KitE4Board board;
    Bytes before;
};

cfg_request option(uint32_t number, uint32_t value)
{
    cfg_request r{};
    r.option_flag = 0x4000;
    r.option_num = number;
    r.value = value;
    return r;
}
cfg_request flag(uint64_t f, uint32_t value, uint32_t value2 = 0, uint32_t value3 = 0)
{
    cfg_request r{};
    r.option_flag = f;
    r.value = value;
    r.value2 = value2;
    r.value3 = value3;
    return r;
}

TEST(E4CfgSet, NumberedOptionsLandInTheirWordAndBits)
{
    struct Case {
        uint32_t option, value;
        unsigned ports, func;
        uint32_t word, old_value, new_value;
    } cases[] = {
        {117, 0x19, 2, 0, 34, 0x3, 0x19},
        {11, 1, 2, 0, 0, 0, 0x1000},
        {29, 8, 2, 0, 146, 0xFFFFFFF0, 0xFFFFFFF8},
        {10, 3, 2, 3, 142 + 150, 0x100, 0x103},           // port 1 of 2 (function 3)
        {10, 3, 4, 6, 142 + 300, 0, 3},                   // port 2 of 4
        {82, 9, 2, 3, 751 + 20 * 9, 0, 9 << 14},          // port 1: block 1·8 + 3/2 = 9
        {84, 0x3FFFF, 1, 0, 745, 0x80000007, 0x8007FFFF},  // bits beyond the field dropped
        {104, 3, 2, 0, 11, 1, 0x0C000001},
        {202, 2, 4, 5, 752 + 20 * 5, 0, 2},               // port 1 of 4: block 1·4 + 5/4 = 5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "option " << c.option << " = " << c.value << ", ports " << c.ports
                                        << ", function " << c.func);
        CfgBoard b({{c.word, c.old_value}}, c.ports, c.func);
        ASSERT_EQ(b.set({option(c.option, c.value)}), 0) << take_debug_text();
        EXPECT_EQ(b.word(c.word), c.new_value);
        EXPECT_EQ(b.word(31), 0x080A05u);  // the rest of the image stays
    }
}

TEST(E4CfgSet, RefusedValuesWriteNothing)
{
    struct Case {
        cfg_request request;
        unsigned ports, func;
        const char* message;
    } cases[] = {
        {option(29, 3), 2, 0, "Invalid input value, Valid input values: [ 0, 1, 2 ,4, 5, 6, 7 and 8 ].\n"},
        {option(117, 0), 2, 0,
         "Invalid input value, Valid input values: [ Ethernet(0x1), FCoE(0x2), iSCSI(0x4), RoCE(0x8), iWarp(0x10) ].\n"
         "Combination of these valid values are also allowed. Example: 0x19\n"},
        {option(117, 0x20), 2, 0, nullptr},
        {option(10, 16), 2, 0, "Invalid input value, 16 is out of valid range [ 0 - 15 ].\n"},
        {option(27, 4), 2, 0,
         "Invalid input value, Valid input values: [ 1, 2, 8, 16, 32 and 64 ]. Value can be logically ORed as well\n"},
        {option(34, 3), 2, 0, "Invalid input value, Valid input values: [ 1, 2 and 4 ]\n"},
        {option(145, 3), 2, 0, "Invalid input value, Valid input values: [ 0, 1, 2 and 7 ].\n"},
        {option(127, 1), 2, 0, ""},  // read only
        {option(12, 0), 2, 0, ""},   // no such option
        {option(193, 1), 2, 0, "Unsupported Parameter\n"},  // only the EEE flag uses it
        // Identities beyond NVM_CFG1's four port blocks and sixteen function blocks.
        {option(10, 1), 8, 5, ""},
        {option(82, 1), 1, 20, ""},
        {option(82, 1), 0, 0, ""},
        {flag(0x2, 0, 1, 2), 8, 5, ""},
        {flag(0x1000000000, 3), 2, 0, "Invalid input value, Valid input values: [ 0, 1, 2 and 7 ].\n"},
        {flag(0x2000000000, 7), 2, 0, "Invalid input value, 7 is out of valid range [ 0 - 6 ].\n"},
        {flag(0x8000000, 1), 2, 0, "Unsupported option\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flag 0x" << std::hex << c.request.option_flag << std::dec << " option "
                                        << c.request.option_num << " = " << c.request.value);
        CfgBoard b({}, c.ports, c.func);
        EXPECT_EQ(b.set({c.request}), -1);
        EXPECT_TRUE(b.untouched());
        const std::string text = take_debug_text();
        if (c.message) {
            EXPECT_EQ(text, c.message);
        }
    }
}

// A run that ends on an unknown flag or a refused flag value fails whole: the changes before it
// are not written either.
TEST(E4CfgSet, ARunFailsWholeOnItsFirstBadRequest)
{
    for (cfg_request bad : {flag(0x8000000, 1), flag(0x4000000000, 2)}) {
        CfgBoard b;
        EXPECT_EQ(b.set({option(10, 3), bad}), -1);
        EXPECT_TRUE(b.untouched());
    }
}

TEST(E4CfgSet, FlagsAndAllFunctions)
{
    {
        CfgBoard b({{0, 0x120}}, 2, 1);  // port 1: its MAC lives in function block 8
        ASSERT_EQ(b.set({flag(0x2, 0, 0x0010, 0x18E40199), flag(0x200000, 1), flag(0x800000000, 2),
                         flag(0x1000000000, 7), flag(0x2000000000, 6), flag(0x4000000000, 1), flag(0x20000, 5),
                         flag(0x400000000, 0xAB)}),
                  0);
        EXPECT_EQ(b.word(740 + 160), 0x0010u);
        EXPECT_EQ(b.word(741 + 160), 0x18E40199u);
        EXPECT_EQ(b.word(0), 0x20000120u);
        EXPECT_EQ(b.word(149) >> 16 & 0xFF, 2u);  // EEE on every port
        EXPECT_EQ(b.word(299) >> 16 & 0xFF, 2u);
        EXPECT_EQ(b.word(296), 7u << 17 | 6u << 20 | 1u << 23);
        EXPECT_EQ(b.word(292), 5u << 16 | 0xABu << 8);
        EXPECT_EQ(b.word(146), 0u);  // port 0 untouched
    }
    {
        CfgBoard b;
        ASSERT_EQ(b.set({option(84, 0xFFFF)}, 1), 0);
        for (uint32_t f = 0; f < 16; ++f)
            EXPECT_EQ(b.word(745 + 20 * f), 0xFFFFu << 3) << f;
    }
    for (unsigned ports : {2u, 4u}) {
        CfgBoard b({}, ports);
        ASSERT_EQ(b.set({option(187, 1)}, 1), 0);
        for (uint32_t f = 0; f < 16; ++f)
            EXPECT_EQ(b.word(746 + 20 * f), ports == 2 && (f & 7) >= 4 ? 1u << 26 : 0u) << ports << " ports, " << f;
    }
}

std::string show(CfgBoard& b, uint32_t selector, uint32_t number = 0, int* rc = nullptr, uint32_t* value = nullptr)
{
    cfg_request r{};
    r.value = selector;
    r.option_num = number;
    take_debug_text();
    const int result = show_nvm_cfg_e4(b.board.adapter.ops(), &r);
    if (rc) *rc = result;
    if (value) *value = r.value;
    return take_debug_text();
}

TEST(E4CfgShow, SummaryAndSelectors)
{
    CfgBoard b({{0, 0x20000120}, {9, 0x4}, {11, 0x20000001}, {13, 0x1000}, {27, 0x80000000}, {150, 0x100},
                {146, 5u << 17 | 3u << 20}, {149, 2u << 16}, {34, 0x3}},
               2, 0);
    int rc = -2;
    EXPECT_EQ(show(b, 0, 0, &rc), "VPD (V9)              : 8.10.5\n"
                                  "Serial Number         : SN0000000001\n"
                                  "MF Mode               : 0x12\n"
                                  "MBA hide setup prompt : Enabled\n"
                                  "MBA setup hot key     : Ctrl B\n"
                                  "Beacon wol            : Enabled\n"
                                  "Magic packet wol      : Disabled\n"
                                  "NCSI                  : 1\n"
                                  "SRIOV                 : 1\n"
                                  "Override Secure Mode  : 1\n"
                                  "Recovery Mode         : 1\n");
    EXPECT_EQ(rc, 0);
    uint32_t value = 0;
    EXPECT_EQ(show(b, 16, 117, &rc, &value), "Option #117: value = 0x3\n");
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(show(b, 512), "SRIOV: 1\n");
    EXPECT_EQ(show(b, 0x1000000), "FEC Force Mode: 5\n");
    EXPECT_EQ(show(b, 0x2000000), "FEC AN Mode: 3\n");
    EXPECT_EQ(show(b, 0x800000), "EEE Power Mode: 2\n");
    EXPECT_EQ(show(b, 0x4000000), "Orvatix: 0\n");
    EXPECT_EQ(show(b, 0x400000), "VPD (V9)              : 8.10.5\n");
    EXPECT_EQ(show(b, 8192), "VPD (V0)              : \n");
    EXPECT_EQ(show(b, 3, 0, &rc), "Unsupported option\n");
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(b.untouched());

    CfgBoard novpd({}, 2, 0, {e4::type::VPD});
    EXPECT_EQ(show(novpd, 8192), "Unable to find VPD image in NVM\n");
}

TEST(E4CfgShow, WithoutNvmCfg1ItFails)
{
    e4::NvramDef d = e4::stock_nvram({});
    std::erase_if(d.images, [](const e4::ImageDef& im) { return im.type == e4::type::NVM_CFG1; });
    KitE4Board b(d);
    cfg_request r{};
    EXPECT_EQ(show_nvm_cfg_e4(b.adapter.ops(), &r), -1);
    cfg_request set = option(11, 1);
    EXPECT_EQ(set_nvm_cfg_e4(b.adapter.ops(), &set, 1, 0), -1);
    EXPECT_TRUE(b.adapter.writes.empty());
}

// The port count that the port mode gives ignores the option bits that share its word.
TEST(E4CfgPortCount, OptionBitsAboveThePortModeDontCount)
{
    for (auto [word11, ports] : {std::pair{0x00000004u, 4u}, {0x0C000004u, 4u}, {0xFC000002u, 1u}, {0x04000001u, 2u}}) {
        CfgBoard b({{11, word11}});
        uint32_t out = 99;
        HostOps ops = b.board.adapter.ops();
        fwupg::HostOpsScope scope(&ops);
        EXPECT_EQ(e4_nvm_cfg_port_count(&out), 0);
        EXPECT_EQ(out, ports) << std::hex << word11;
    }
}

// Without a META image, the recomputed NVM_CFG1 is DEFAULT_CFG with the board's identity carried
// over: MBI version and date, bytes 16-35, the port MACs and the function blocks' MAC words.
TEST(E4CfgRecompute, WithoutMetaTheDefaultsTakeTheBoardsIdentity)
{
    CfgBoard b({{34, 0x19}, {4, 0x1234}, {5, 0xAAAA}, {31, 0xAB080A06}, {304, 0x11112222}, {847, 0x5555},
                {848, 0x6666}, {850, 0x7777}},
               2, 0, {e4::type::META});
    EXPECT_EQ(update_nvm_cfg1_e4(b.board.adapter.ops()), 0);
    EXPECT_EQ(b.word(34), 0u);  // the default
    for (auto [w, v] : {std::pair{4u, 0x1234u}, {5u, 0xAAAAu}, {31u, 0x00080A06u}, {304u, 0x11112222u},
                        {847u, 0x5555u}, {848u, 0x6666u}, {850u, 0x7777u}})
        EXPECT_EQ(b.word(w), v) << w;
}

class E4Downgrade : public ::testing::Test {
protected:
    void SetUp() override
    {
        old_cwd = std::filesystem::current_path();
        std::filesystem::current_path(tmp.path());  // the package extracts its images here
        unsetenv("DO_DOWNGRADE_AHKESP");
    }
    void TearDown() override
    {
        unsetenv("DO_DOWNGRADE_AHKESP");
        std::filesystem::current_path(old_cwd);
    }
    // A package whose NVM_CFG image holds `word` big-endian at byte 136 (or is `length` bytes).
    std::string package(uint32_t word, size_t length = 4240)
    {
        Bytes cfg(length, 0);
        if (length >= 140) testkit::put_be32(&cfg[136], word);
        testkit::PackageDef p;
        p.major = 8;
        p.minor = 9;
        p.entries = {{testkit::package_tag("NVM_CFG"), cfg, {}, {}}};
        p.rows = {{0x1077, 0x8070, 0x1590, 0x21E, 0x1}};
        const std::string path = tmp.path() + "/pkg.bin";
        testkit::write_file(path, testkit::package(p));
        return path;
    }
    bool blocked(uint32_t nvram_117, uint32_t package_word, uint32_t ssid, size_t length = 4240)
    {
        CfgBoard b({{34, nvram_117}});
        fwupg::FwPackage pkg(package(package_word, length).c_str(), 0x1077, 0x8070, 0x1590, 0x21E);
        HostOps ops = b.board.adapter.ops();
        fwupg::HostOpsScope scope(&ops);
        const bool r = e4_mbi_downgrade_blocked(b.board.adapter.interp(), pkg, ssid);
        pkg.DeleteExtractedFiles();
        return r;
    }
    platform::testing::TempDir tmp;
    std::filesystem::path old_cwd;
};

TEST_F(E4Downgrade, StorageProtocolsMustNotBeDropped)
{
    EXPECT_TRUE(blocked(0x3, 0x1, 0x21E));
    EXPECT_TRUE(blocked(0x5, 0x9, 0x1590021F));  // only the low 16 bits of the id count
    EXPECT_FALSE(blocked(0x3, 0x3, 0x21E));      // the package keeps FCoE
    EXPECT_FALSE(blocked(0x1, 0x1, 0x21E));      // nothing to drop
    EXPECT_FALSE(blocked(0x3, 0x1, 0x21D));      // another board
    EXPECT_FALSE(blocked(0x3, 0x1, 0x21E, 139)); // a short image: no word to compare
    setenv("DO_DOWNGRADE_AHKESP", "", 1);
    EXPECT_FALSE(blocked(0x3, 0x1, 0x21E));
}

}  // namespace
