#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "fwupg/nvm/e123/program.h"
#include "nvm_fixture.h"
#include "testkit/e1e3_reader.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

std::vector<std::string> ext_images(const kit::Report& r)
{
    std::vector<std::string> names;
    for (const auto& f : r.images)
        if (f.where.rfind("ext[", 0) == 0)
            names.push_back(f.name);
    return names;
}

// Positions of the FEB_CFG writes: the order in which the copies were programmed.
std::vector<std::string> install_order(const std::string& log)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while ((pos = log.find("image", pos)) != std::string::npos) {
        size_t start = log.rfind("Upgrading ", pos);
        if (start != std::string::npos && start + 10 < pos)
            out.push_back(log.substr(start + 10, pos - start - 11));
        ++pos;
    }
    return out;
}

TEST(InstallExt, FebCfgOnTheSecondPortWritesFebCfg2FirstWithTheSameContent)
{
    auto s = board_def(kit::Chip::E3);
    Board b(s);
    b.a().set_toe("PORT0", "0");
    auto img = testkit::stock_image("FEB_CFG", "1.2.0");
    ASSERT_EQ(common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("FEB_CFG"), 1, 0, 0, 0), 0);
    auto log = take_debug_text();
    EXPECT_EQ(install_order(log), (std::vector<std::string>{"FEB_CFG2", "FEB_CFG"}));
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    const auto* one = found(r, "FEB_CFG");
    const auto* two = found(r, "FEB_CFG2");
    ASSERT_TRUE(one && two);
    EXPECT_EQ(testkit::get_host_view(b.a().nvram, one->offset, one->length),
              testkit::get_host_view(b.a().nvram, two->offset, two->length));
}

TEST(InstallExt, QuadBoardsGetFourCopies)
{
    auto s = board_def(kit::Chip::E3);
    kit::set_board(s, 0x14E4, 0x168E, 0x103C, 0x1930, 0x001018AA0000ull, 2);
    Board b(s);
    auto img = testkit::stock_image("FEB_CFG", "1.2.0");
    ASSERT_EQ(common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("FEB_CFG"), 1, 0, 0, 0), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    for (const char* n : {"FEB_CFG", "FEB_CFG2", "FEB_CFG3", "FEB_CFG4"})
        EXPECT_TRUE(found(r, n)) << n;
}

TEST(InstallExt, QuietForcedNicPrtionPrintsOnlyForANewImage)
{
    Board b(board_def(kit::Chip::E3));
    auto v1 = testkit::stock_image("NIC_PRTION", "1.0.0");
    ASSERT_EQ(common_nvm_install_ext_image(v1.data(), 508, row("NIC_PRTION"), 0, 1, 0, 0), 0);
    EXPECT_EQ(take_debug_text(), "Upgrading NIC_PRTION image: to version Rev1\n");
    auto v2 = testkit::stock_image("NIC_PRTION", "2.0.0");
    ASSERT_EQ(common_nvm_install_ext_image(v2.data(), 508, row("NIC_PRTION"), 0, 1, 0, 0), 0);
    EXPECT_EQ(take_debug_text(), "");
    EXPECT_NVRAM_VALID(b);
    EXPECT_EQ(ext_images(b.verify()), std::vector<std::string>{"NIC_PRTION"});
}

TEST(InstallExt, VersionRefusalSetsError35)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    Board b(s);
    auto before = b.a().nvram;
    auto img = testkit::stock_image("CCM", "1.0.1");
    EXPECT_EQ(common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("CCM"), 1, 0, 0, 0), -1);
    EXPECT_EQ(b.a().last_errors, std::vector<uint32_t>{35});
    EXPECT_EQ(b.a().nvram, before);
}

TEST(InstallExt, DryRunCreatesNothing)
{
    Board b(board_def(kit::Chip::E3));
    auto before = b.a().nvram;
    auto img = testkit::stock_image("CCM", "1.0.2");
    EXPECT_EQ(common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("CCM"), 1, 0, 0, 1), 0);
    EXPECT_EQ(b.a().nvram, before);
}

TEST(InstallExt, Mfw1ReplacesMfw2AndTakesTheBootstrap)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("MFW1", testkit::stock_image("MFW1", "7.10.3", 0x2000)));
    s.images.push_back(image_def("MFW2", testkit::stock_image("MFW2", "7.10.3", 0x2000)));
    s.images.push_back(image_def("MFW2_A", testkit::stock_image("MFW2_A", "7.10.3", 0x800)));
    Board b(s);
    auto img = testkit::stock_image("MFW1", "7.10.4", 0x2400);
    ASSERT_EQ(common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("MFW1"), 1, 0, 0, 0), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(ext_images(r), std::vector<std::string>{"MFW1"});
    uint32_t boot_off = 0, boot_len = 0;
    ASSERT_EQ(common_nvm_read_bootstrap(nullptr, &boot_len, &boot_off), 0);
    EXPECT_EQ(boot_off, found(r, "MFW1")->offset);
    EXPECT_EQ(boot_len, 0x2404u);
    EXPECT_EQ(g_new_mfw_version[2], 4);
}

// Inside a batch the directory changes are held: lookups (the version check among them) see them,
// while entry 15 keeps naming the old directory and its whole, unchanged images; closing the batch
// switches entry 15 once, to a copy that lists everything installed.
TEST(ExtDirBatch, HeldChangesAreSeenByLookupsAndSwitchedInOnce)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    Board b(s);
    const kit::FoundImage old_ccm = *found(b.verify(), "CCM");
    auto switches = [&] {
        return std::count_if(b.a().writes.begin(), b.a().writes.end(),
                             [](const auto& w) { return w.first == 0x14 + 12 * 15; });  // entry 15
    };
    auto version = [&](const char* kind) {
        auto im = testkit::e1e3::find_image(b.a().nvram, kind);
        return im ? im->version : std::string();
    };

    ExtDirBatch batch;
    auto v3 = testkit::stock_image("CCM", "1.0.3"), v4 = testkit::stock_image("CCM", "1.0.4");
    auto nic = testkit::stock_image("NIC_PRTION", "1.0.0");
    ASSERT_EQ(common_nvm_install_ext_image(v3.data(), uint32_t(v3.size()), row("CCM"), 1, 0, 0, 0), 0);
    // The held 1.0.3 is what the version check compares with.
    EXPECT_EQ(common_nvm_install_ext_image(v3.data(), uint32_t(v3.size()), row("CCM"), 1, 0, 0, 0), -1);
    EXPECT_EQ(b.a().last_errors, std::vector<uint32_t>{35});
    ASSERT_EQ(common_nvm_install_ext_image(nic.data(), uint32_t(nic.size()), row("NIC_PRTION"), 0, 1, 0, 0), 0);
    ASSERT_EQ(common_nvm_install_ext_image(v4.data(), uint32_t(v4.size()), row("CCM"), 1, 0, 0, 0), 0);
    uint32_t present = 0;
    ASSERT_EQ(common_nvm_find_ext_dir_image(&present, kTypeNicPrtion, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(present, 1u);

    EXPECT_EQ(switches(), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(ext_images(r), std::vector<std::string>{"CCM"});
    EXPECT_EQ(found(r, "CCM")->offset, old_ccm.offset);
    EXPECT_NE(version("CCM").find("1.0.2"), std::string::npos) << version("CCM");

    ASSERT_EQ(batch.finish(), 0);
    EXPECT_EQ(switches(), 1);
    r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    auto names = ext_images(r);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"CCM", "NIC_PRTION"}));
    EXPECT_NE(version("CCM").find("1.0.4"), std::string::npos) << version("CCM");
}

// Entries 0-14 written inside a batch are held too: lookups see the new entry, the NVRAM's
// directory keeps naming the old image (which the allocator keeps whole), and closing the batch
// writes the held entries, entry 15 and the bootstrap record of a new management firmware in one
// write from offset 0 through the directory CRC.
TEST(ExtDirBatch, MainEntriesAndTheBootstrapGoOutWithTheSwitchInOneWrite)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("L2T", testkit::stock_image("L2T", "7.10.1")));
    s.images.push_back(image_def("MFW1", testkit::stock_image("MFW1", "7.10.3", 0x800)));
    Board b(s);
    const kit::FoundImage old_l2t = *found(b.verify(), "L2T");
    const testkit::Bytes old_directory(b.a().nvram.begin(), b.a().nvram.begin() + 0x100);

    ExtDirBatch batch;
    auto l2t = testkit::stock_image("L2T", "7.12.0");
    auto mfw = testkit::stock_image("MFW1", "7.10.4", 0x800);
    ASSERT_EQ(common_nvm_prog_image_by_idx(l2t.data(), uint32_t(l2t.size()), row("L2T"), 1), 0);
    ASSERT_EQ(common_nvm_install_ext_image(mfw.data(), uint32_t(mfw.size()), row("MFW1"), 1, 0, 0, 0), 0);

    uint32_t index = 16, off = 0, len = 0;
    ASSERT_EQ(common_nvm_find_dir_entry(g_image_table[row("L2T")].dir_type, &index, nullptr), 0);
    ASSERT_EQ(common_nvm_read_dir_entry(index, &off, &len, nullptr, nullptr, nullptr), 0);
    EXPECT_NE(off, old_l2t.offset) << "the held entry is what lookups see";
    EXPECT_TRUE(off >= old_l2t.offset + old_l2t.length || off + len <= old_l2t.offset) << "over the old L2T";
    EXPECT_EQ(testkit::Bytes(b.a().nvram.begin(), b.a().nvram.begin() + 0x100), old_directory);
    auto version = [&] {
        auto im = testkit::e1e3::find_image(b.a().nvram, "L2T");
        return im ? im->version : std::string();
    };
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_NE(version().find("7.10.1"), std::string::npos) << version();

    b.a().writes.clear();
    ASSERT_EQ(batch.finish(), 0);
    std::vector<std::pair<uint32_t, uint32_t>> low;
    for (const auto& w : b.a().writes)
        if (w.first < 0x100)
            low.push_back(w);
    EXPECT_EQ(low, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0x100}}));
    r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(found(r, "L2T")->offset, off);
    EXPECT_NE(version().find("7.12.0"), std::string::npos) << version();
    uint32_t boot_off = 0;
    ASSERT_EQ(common_nvm_read_bootstrap(nullptr, nullptr, &boot_off), 0);
    EXPECT_EQ(boot_off, found(r, "MFW1")->offset);
}

// [CCM 1.0.2][ext dir][free to 0x1B00]: the new CCM fits with room for the held directory's copy
// beside it; NIC_PRTION then fits only without that room. The held directory is published first
// (freeing the old CCM and the old copy), and NIC_PRTION goes in with its own switch.
TEST(ExtDirBatch, WithoutRoomForTheHeldCopyTheDirectoryIsPublishedFirst)
{
    auto s = board_def(kit::Chip::E3, 0x1B00);
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    Board b(s);
    auto v3 = testkit::stock_image("CCM", "1.0.3");
    auto nic = testkit::stock_image("NIC_PRTION", "1.0.0");
    ExtDirBatch batch;
    ASSERT_EQ(common_nvm_install_ext_image(v3.data(), uint32_t(v3.size()), row("CCM"), 1, 0, 0, 0), 0);
    // Only the image (its bytes and its CRC word) is written; entry 15 is not switched yet.
    for (const auto& w : b.a().writes)
        EXPECT_GE(w.first, 0x100u) << "write at " << w.first << " before the batch ends";
    ASSERT_EQ(common_nvm_install_ext_image(nic.data(), uint32_t(nic.size()), row("NIC_PRTION"), 0, 1, 0, 0), 0);
    ASSERT_EQ(batch.finish(), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(std::count_if(b.a().writes.begin(), b.a().writes.end(),
                            [](const auto& w) { return w.first == 0x14 + 12 * 15; }),
              2);
    EXPECT_EQ(found(r, "NIC_PRTION")->offset, b.placed("CCM").offset) << "in the space the old CCM left";
    auto ccm = testkit::e1e3::find_image(b.a().nvram, "CCM");
    ASSERT_TRUE(ccm);
    EXPECT_NE(ccm->version.find("1.0.3"), std::string::npos) << ccm->version;
}

// Extended directory with both SWIM sets: set 1 is 7.10.3 (the running firmware), set 2 is 7.10.4.
kit::NvramDef two_swim_sets()
{
    auto s = board_def(kit::Chip::E3);
    for (int i = 1; i <= 12; ++i)
        s.images.push_back(image_def("SWIM" + std::to_string(i), testkit::stock_image("SWIM" + std::to_string(i), "7.10.3", 64)));
    for (int i = 1; i <= 12; ++i)
        s.images.push_back(image_def("SWIM" + std::to_string(i) + "B",
                                      testkit::stock_image("SWIM" + std::to_string(i) + "B", "7.10.4", 64)));
    return s;
}

TEST(SwimSets, RunningAndNewSetsAreTold)
{
    Board b(two_swim_sets());
    b.a().regs[0xA2B4] = 0x20000;
    b.a().regs[0x20008] = 0x070A0300;
    g_new_mfw_version[0] = 7, g_new_mfw_version[1] = 10, g_new_mfw_version[2] = 4, g_new_mfw_version[3] = 0;
    uint32_t running = 0, fresh = 0;
    ASSERT_EQ(common_nvm_swim_sets(&running, &fresh), 0);
    EXPECT_EQ(running, 1u);
    EXPECT_EQ(fresh, 2u);
}

TEST(SwimSets, DeletingMfwImagesKeepsTheWholeRunningSet)
{
    Board b(two_swim_sets());
    b.a().regs[0xA2B4] = 0x20000;
    b.a().regs[0x20008] = 0x070A0300;
    ASSERT_EQ(common_nvm_delete_mfw_images(2, 1), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    auto names = ext_images(r);
    EXPECT_EQ(names.size(), 12u);
    for (int i = 1; i <= 12; ++i)
        EXPECT_TRUE(found(r, "SWIM" + std::to_string(i))) << i;
}

TEST(SwimSets, PurgeRemovesForeignVersionsAndNeedsSharedMemory)
{
    Board b(two_swim_sets());
    uint32_t running = 9;
    EXPECT_EQ(common_nvm_purge_foreign_swim(&running), -1);
    EXPECT_EQ(take_debug_text(), "No shared memory address");
    b.a().regs[0xA2B4] = 0x20000;
    b.a().regs[0x20008] = 0x070A0400;
    ASSERT_EQ(common_nvm_purge_foreign_swim(&running), 0);
    EXPECT_EQ(running, 2u);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(ext_images(r).size(), 12u);
    EXPECT_TRUE(found(r, "SWIM1B"));
    EXPECT_FALSE(found(r, "SWIM1"));
}

TEST(Housekeeping, DeleteOldBcAndNcsi)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("BC2", testkit::stock_image("BC2", "1.2.3")));
    s.images.push_back(image_def("NCSI_CMN", testkit::stock_image("NCSI_CMN", "1.2.3")));
    s.images.push_back(image_def("NCSI_ELIB", testkit::stock_image("NCSI_ELIB", "1.2.3")));
    Board b(s);
    ASSERT_EQ(common_nvm_delete_old_bc_ncsi(), 0);
    EXPECT_EQ(take_debug_text(), "Deleting old BC image ..\nDeleting old NCSI image ..\n");
    // The bootstrap, then the three entries with the directory CRC in one write.
    EXPECT_EQ(b.a().writes.size(), 2u);
    EXPECT_EQ(b.a().be32(0), 0u);
    EXPECT_EQ(common_nvm_find_dir_entry(0x60000000, nullptr, nullptr), -1);
    EXPECT_TRUE(testkit::region_crc_ok(b.a().nvram, 0x14, 0xEC));
}

TEST(Housekeeping, EnsureNicPrtionAndBootCfgShadow)
{
    Board b(board_def(kit::Chip::E3));
    ASSERT_EQ(common_nvm_ensure_nic_prtion(), 0);
    b.a().regs[0xA2B4] = 0x20000;
    b.a().regs[0x20000 + 56] = 0x100714E4;  // subsystem 0x1007 of vendor 0x14E4
    common_nvm_create_boot_cfg_shadow();
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_TRUE(found(r, "NIC_PRTION"));
    ASSERT_TRUE(found(r, "BOOT_CFG_SHADOW"));
    EXPECT_EQ(found(r, "BOOT_CFG_SHADOW")->length, 12292u);
}

// A blank NIC_PRTION gets its function entries once, from the port MACs: 7 for the two physical
// functions, 3 for the others, with 0x640000; the image CRC stays valid. Without every
// single-function MAC, or with an entry already set up, nothing is written.
TEST(NparBlock, BlankEntriesAreFilledOnceFromThePortMacs)
{
    const struct {
        bool second_port_mac;
        bool fills;
    } cases[] = {{true, true}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second_port_mac);
        auto s = board_def(kit::Chip::E3);
        if (c.second_port_mac)
            s.ports[0][1].mac = 0x001018BB0000ull;
        testkit::Bytes blank(508, 0);
        blank[0] = 1;
        s.images.push_back(image_def("NIC_PRTION", blank));
        Board b(s);
        const auto before = b.a().nvram;
        ASSERT_EQ(common_nvm_init_npar_block(0), 0);
        EXPECT_NVRAM_VALID(b);
        if (!c.fills) {
            EXPECT_EQ(b.a().nvram, before);
            continue;
        }
        const uint32_t np = b.placed("NIC_PRTION").offset;
        for (uint32_t f = 0; f < 8; ++f) {
            SCOPED_TRACE(f);
            const uint32_t port_part = (f & 1) ? 2068 : 300;
            const uint32_t e = np + 52 + 48 * f;
            EXPECT_EQ(b.a().be32(e), (f < 2 ? 7u : 3u) | 0x640000u);
            EXPECT_EQ(b.a().be32(e + 4), b.a().be32(port_part + 16));
            EXPECT_EQ(b.a().be32(e + 8), b.a().be32(port_part + 20) + 4 * (f >> 1));
        }
        const auto filled = b.a().nvram;
        ASSERT_EQ(common_nvm_init_npar_block(0), 0);
        EXPECT_EQ(b.a().nvram, filled);
    }
}

// NIV refresh after a write: an adapter that had NIV gets its saved per-function blocks back; one
// that had none gets each function's block started with its own MAC words (the port's, the lower
// word moved on by 4 per function pair), unless a single-function MAC is missing. The rest of the
// image stays as it was, and the NVRAM verifies.
TEST(NivBlock, PerFunctionBlocksComeBackOrAreComputedFromThePortMacs)
{
    testkit::Bytes saved(1124, 0);
    for (size_t i = 36; i < saved.size(); ++i)
        saved[i] = uint8_t(i * 7);
    const struct {
        const char* what;
        bool second_port_mac;
        bool had_niv;
        const char* expect;  // "saved", "computed" or "untouched"
    } cases[] = {
        {"had NIV", true, true, "saved"},
        {"had none", true, false, "computed"},
        {"had none, a MAC missing", false, false, "untouched"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = board_def(kit::Chip::E3);
        if (c.second_port_mac)
            s.ports[0][1].mac = 0x001018BB0000ull;
        auto niv = testkit::stock_image("NIV", "1.0.0");
        for (size_t i = 0; i < niv.size(); ++i)
            niv[i] = uint8_t(niv[i] ^ (i * 3));
        s.images.push_back(image_def("NIV", niv));
        Board b(s);
        const auto before = b.a().nvram;
        take_debug_text();
        ASSERT_EQ(common_nvm_update_niv_block(0, c.had_niv, c.had_niv ? saved.data() : nullptr, nullptr), 0);
        const std::string debug = take_debug_text();
        const std::string expect = c.expect;
        if (expect == "untouched") {
            EXPECT_EQ(b.a().nvram, before);
            EXPECT_NE(debug.find("not all SF L2 MAC addresses are initialized, not configuring NPAR block\n"),
                      std::string::npos);
            continue;
        }
        auto r = b.verify();
        ASSERT_TRUE(r.ok()) << r.text();
        ASSERT_TRUE(found(r, "NIV"));
        const uint32_t at = found(r, "NIV")->offset;
        // The image as the engine holds it (host-order words), like the kit's image data.
        const testkit::Bytes now = testkit::get_host_view(b.a().nvram, at, niv.size());
        auto slice = [](const testkit::Bytes& from, size_t off, size_t n) {
            return testkit::Bytes(from.begin() + long(off), from.begin() + long(off + n));
        };
        // The head (revision and port words) stays the image's own.
        EXPECT_EQ(slice(now, 0, 36), slice(niv, 0, 36));
        for (uint32_t f = 0; f < 8; ++f) {
            SCOPED_TRACE(f);
            const uint32_t block = 36 + 136 * f;
            if (expect == "saved") {
                EXPECT_EQ(slice(now, block, 136), slice(saved, block, 136));
                continue;
            }
            const uint32_t port_part = (f & 1) ? 2068 : 300;
            EXPECT_EQ(b.a().be32(at + block), b.a().be32(port_part + 16));
            EXPECT_EQ(b.a().be32(at + block + 4), b.a().be32(port_part + 20) + 4 * (f >> 1));
            EXPECT_EQ(slice(now, block + 8, 128), slice(niv, block + 8, 128));
        }
    }
}

// The NIV removal mode takes NIV and NIVPROFILES out of the extended directory and nothing else.
TEST(NivBlock, RemovalModeDeletesNivAndProfilesOnly)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("NIV", testkit::stock_image("NIV", "1.0.0")));
    s.images.push_back(image_def("NIVPROFILES", testkit::stock_image("NIVPROFILES", "")));
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    Board b(s);
    ASSERT_EQ(common_nvm_update_niv_block(1, 0, nullptr, nullptr), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_FALSE(found(r, "NIV"));
    EXPECT_FALSE(found(r, "NIVPROFILES"));
    ASSERT_TRUE(found(r, "CCM"));
    EXPECT_EQ(found(r, "CCM")->offset, b.placed("CCM").offset);
}

}  // namespace
