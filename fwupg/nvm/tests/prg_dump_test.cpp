// "_dump" and "_prg" on simulated E3 adapters holding test-kit images; the kit's verifier checks
// NVRAM after every write.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "fwupg/nvm/base/file_io.h"
#include "fwupg/nvm/commands/commands.h"
#include "kit_board.h"
#include "testkit/bytes.h"
#include "testkit/images.h"
#include "verify_but_identity.h"

namespace fwupg::nvm::test {
namespace {

using testkit::Bytes;

kit::NvramDef def_with_images(uint32_t size, uint64_t mac, const std::string& sn)
{
    kit::NvramDef s = kit_board_def(size, mac);
    s.vpd.sn = sn;
    Bytes l2(4096), ncsi(2048);
    testkit::fill_pattern(l2.data(), l2.size(), uint32_t(mac));
    testkit::fill_pattern(ncsi.data(), ncsi.size(), uint32_t(mac) + 7);
    s.images.push_back(kit_image("L2T", l2));
    s.images.push_back(kit_image("NCSI_CMN", ncsi));
    return s;
}

// The text of keyword `kw` in the 128-byte VPD copy at 0x540, read the way the kit wrote it.
std::string vpd_copy_field(const Bytes& nvram, const char* kw)
{
    Bytes v = testkit::get_host_view(nvram, kit::layout::kVpd, 128);
    size_t p = 3 + testkit::get_le16(v.data() + 1) + 3;
    while (p + 3 <= v.size() && !(v[p] == 'R' && v[p + 1] == 'V')) {
        size_t len = v[p + 2];
        if (v[p] == uint8_t(kw[0]) && v[p + 1] == uint8_t(kw[1]))
            return std::string(reinterpret_cast<const char*>(v.data() + p + 3), len);
        p += 3 + len;
    }
    return {};
}

Bytes mac_bytes(const Bytes& nvram)
{
    uint32_t at = kit::layout::port_part(0, 0) + 16;
    return Bytes(nvram.begin() + at, nvram.begin() + at + 8);
}

struct RoundTrip {
    uint32_t size;
    bool paged;
};

class DumpPrgRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(DumpPrgRoundTrip, DumpThenProgramRestoresTheImageKeepingTheBoardsMac)
{
    const auto [size, paged] = GetParam();
    TempDir tmp;
    const std::string file = (tmp / "backup [1] $x.bin");  // a path Tcl must not evaluate

    KitBoard a(def_with_images(size, 0x001018AA0000ull, "SNA"));
    ASSERT_EQ(a.run(tcl_al_nvm_dump_cmd, std::string("_dump ") + (paged ? "-a " : "") + word(file)), TCL_OK)
        << a.result();
    Bytes dumped = testkit::read_file(file);
    if (!paged) {
        EXPECT_EQ(dumped, a.adapter.nvram);
    } else if (size < 0x200000) {
        EXPECT_EQ(dumped, kit::paged(a.adapter.nvram));
    } else {
        // Parts from 2 MiB on are dumped in 512-byte pages with four spare words.
        ASSERT_EQ(dumped.size(), size_t(size) / 512 * 528);
        for (uint32_t w = 0; w < 4; ++w)
            EXPECT_EQ(testkit::le32_at(dumped, 512 + 4 * w), 0x57105710u);
        Bytes stripped;
        for (size_t p = 0; p < dumped.size(); p += 528)
            stripped.insert(stripped.end(), dumped.begin() + p, dumped.begin() + p + 512);
        EXPECT_EQ(stripped, a.adapter.nvram);
    }

    // A board of the same kind with its own MAC and serial number takes the image.
    KitBoard b(def_with_images(size, 0x001018BB0000ull, "SNB"));
    const Bytes b_mac = mac_bytes(b.adapter.nvram);
    ASSERT_EQ(b.run(tcl_al_nvm_prg_cmd, "_prg -skip_sn 0 " + word(file)), TCL_OK) << b.result();
    EXPECT_NE(b.result().find("info burned into nvm successfully."), std::string::npos);
    EXPECT_KIT_VALID(b);
    EXPECT_EQ(mac_bytes(b.adapter.nvram), b_mac);
    EXPECT_EQ(vpd_copy_field(b.adapter.nvram, "SN"), "SNB");
    const auto& l2 = a.built.placed[0];
    EXPECT_TRUE(std::equal(a.adapter.nvram.begin() + l2.offset, a.adapter.nvram.begin() + l2.offset + l2.length,
                           b.adapter.nvram.begin() + l2.offset));
    EXPECT_EQ(b.adapter.regs[0xA470], 1u);
    EXPECT_EQ(b.adapter.toe("IS_VPD_IMAGE"), "0");
}

INSTANTIATE_TEST_SUITE_P(PlainAndPaged, DumpPrgRoundTrip,
                         ::testing::Values(RoundTrip{0x100000, false}, RoundTrip{0x100000, true},
                                           RoundTrip{0x200000, false}, RoundTrip{0x200000, true}));

TEST(Prg, BackupRestoresAnNvramWhoseProgrammingWasCut)
{
    TempDir tmp;
    KitBoard a(def_with_images(0x40000, 0x001018AA0000ull, "SNA"));
    const Bytes original = a.adapter.nvram;
    ASSERT_EQ(a.run(tcl_al_nvm_dump_cmd, "_dump " + word(tmp / "backup.bin")), TCL_OK) << a.result();

    // Another image, cut off by a power loss half way through its programming.
    kit::NvramDef foreign = def_with_images(0x40000, 0x001018CC0000ull, "SNC");
    foreign.images.push_back(kit_image("ISCSI_B", testkit::stock_image("ISCSI_B", "2.1.0")));
    testkit::write_file(tmp / "foreign.bin", kit::build(foreign).nvram);
    a.adapter.cut_power_after(0x800);
    EXPECT_EQ(a.run(tcl_al_nvm_prg_cmd, "_prg 0 " + word(tmp / "foreign.bin")), TCL_ERROR);
    a.adapter.power_on();
    EXPECT_NE(a.adapter.nvram, original);

    ASSERT_EQ(a.run(tcl_al_nvm_prg_cmd, "_prg 0 " + word(tmp / "backup.bin")), TCL_OK) << a.result();
    EXPECT_EQ(a.adapter.nvram, original);
    EXPECT_KIT_VALID(a);
}

// A backup programmed back over an NVRAM that differs in one image's byte rewrites only the 1 KiB pieces
// that differ, so a power loss during the restore can strike only those.
TEST(Prg, OnlyThePiecesThatDifferAreWritten)
{
    TempDir tmp;
    KitBoard a(def_with_images(0x40000, 0x001018AA0000ull, "SNA"));
    const Bytes original = a.adapter.nvram;
    ASSERT_EQ(a.run(tcl_al_nvm_dump_cmd, "_dump " + word(tmp / "backup.bin")), TCL_OK) << a.result();
    const kit::Placed* l2t = nullptr;
    for (const auto& p : a.built.placed)
        if (p.kind == "L2T") l2t = &p;
    ASSERT_NE(l2t, nullptr);
    const uint32_t changed = l2t->offset + l2t->length / 2;
    a.adapter.nvram[changed] ^= 0xFF;

    a.adapter.writes.clear();
    ASSERT_EQ(a.run(tcl_al_nvm_prg_cmd, "_prg 0 " + word(tmp / "backup.bin")), TCL_OK) << a.result();
    EXPECT_EQ(a.adapter.nvram, original);
    // One 1 KiB piece of the image area, the one holding the changed byte.
    size_t pieces = 0;
    for (const auto& [offset, length] : a.adapter.writes) {
        if (length != 0x400) continue;
        ++pieces;
        EXPECT_TRUE(offset <= changed && changed < offset + length) << std::hex << "an equal piece was rewritten at 0x"
                                                                    << offset;
    }
    EXPECT_EQ(pieces, 1u);
    EXPECT_KIT_VALID(a);

    // A configuration block goes back whole, in one write, even where it straddles a 1 KiB line.
    a.adapter.nvram[0x3F0] ^= 0xFF;
    a.adapter.writes.clear();
    ASSERT_EQ(a.run(tcl_al_nvm_prg_cmd, "_prg 0 " + word(tmp / "backup.bin")), TCL_OK) << a.result();
    EXPECT_EQ(a.adapter.nvram, original);
    const auto block = std::pair<uint32_t, uint32_t>{0x100, 848};
    ASSERT_FALSE(a.adapter.writes.empty());
    EXPECT_EQ(a.adapter.writes.front(), block);
    for (const auto& [offset, length] : a.adapter.writes)
        EXPECT_FALSE(offset < 0x100 + 848 && offset + length > 0x100 && std::make_pair(offset, length) != block)
            << std::hex << "another write touched the block: 0x" << offset << " " << length;
}

TEST(Prg, BlankBoardTakesTheWholeImage)
{
    TempDir tmp;
    KitBoard src(def_with_images(0x40000, 0x001018AA0000ull, "SNA"));
    testkit::write_file(tmp / "img.bin", src.adapter.nvram);
    const Bytes image = src.adapter.nvram;

    KitBoard blank(kit_board_def());
    std::fill(blank.adapter.nvram.begin(), blank.adapter.nvram.end(), 0xFF);
    take_debug_text();
    ASSERT_EQ(blank.run(tcl_al_nvm_prg_cmd, "_prg 0 " + word(tmp / "img.bin")), TCL_OK) << blank.result();
    EXPECT_NE(take_debug_text().find("Detected a blank board."), std::string::npos);
    EXPECT_VALID_BUT_IDENTITY(blank);  // a blank board's addresses are kept as the blank they are
    EXPECT_EQ(vpd_copy_field(blank.adapter.nvram, "SN"), "SNA");
}

TEST(Prg, PlainImageKeepsSpareLikeWordsAsData)
{
    // A plain partial image whose data holds the spare word right after a 256-byte boundary.
    TempDir tmp;
    KitBoard b(kit_board_def());
    Bytes part(1024);
    testkit::fill_pattern(part.data(), part.size(), 5);
    testkit::set_le32(part, 512, 0x57105710);
    testkit::set_le32(part, 516, 0x57105710);
    testkit::write_file(tmp / "part.bin", part);
    ASSERT_EQ(b.run(tcl_al_nvm_prg_cmd, "_prg 0x30000 " + word(tmp / "part.bin")), TCL_OK) << b.result();
    EXPECT_TRUE(std::equal(part.begin(), part.end(), b.adapter.nvram.begin() + 0x30000));
}

TEST(Prg, SizeArgumentLimitsTheProgrammedBytes)
{
    TempDir tmp;
    KitBoard b(kit_board_def());
    Bytes part(1024, 0x5A);
    testkit::write_file(tmp / "part.bin", part);
    const Bytes before = b.adapter.nvram;
    ASSERT_EQ(b.run(tcl_al_nvm_prg_cmd, "_prg -idmatch 0x30002 " + word(tmp / "part.bin") + " 100"), TCL_OK);
    EXPECT_EQ(b.adapter.nvram[0x30000], 0x5A);  // the offset is rounded down to a word
    EXPECT_EQ(b.adapter.nvram[0x30000 + 99], 0x5A);
    EXPECT_EQ(b.adapter.nvram[0x30000 + 104], before[0x30000 + 104]);
}

struct Refusal {
    const char* name;
    Tcl_ObjCmdProc* proc;
    const char* args;      // %F: the file, %E: an existing file
    uint32_t file_size;    // bytes of the input file (0: none)
    const char* message;
};

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, FailWithTheirMessageAndWriteNothing)
{
    const Refusal& r = GetParam();
    TempDir tmp;
    KitBoard b(kit_board_def());
    if (r.file_size)
        testkit::write_file(tmp / "in.bin", Bytes(r.file_size, 0x11));
    testkit::write_file(tmp / "exists.bin", Bytes{1, 2, 3});
    std::string args = r.args;
    for (auto [key, path] : {std::pair{"%F", (tmp / "in.bin")}, std::pair{"%E", (tmp / "exists.bin")}}) {
        size_t at = args.find(key);
        if (at != std::string::npos)
            args.replace(at, 2, word(path));
    }
    const Bytes before = b.adapter.nvram;
    b.adapter.reset_counters();
    b.adapter.writes.clear();
    EXPECT_EQ(b.run(r.proc, args), TCL_ERROR);
    EXPECT_NE(b.result().find(r.message), std::string::npos) << b.result();
    EXPECT_TRUE(b.adapter.writes.empty());
    EXPECT_EQ(b.adapter.nvram, before);
    EXPECT_EQ(testkit::read_file(tmp / "exists.bin"), (Bytes{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Refusals,
    ::testing::Values(
        Refusal{"DumpOverExistingFile", tcl_al_nvm_dump_cmd, "_dump %E", 0, "Can't write to file, already exists?"},
        Refusal{"DumpPastTheEnd", tcl_al_nvm_dump_cmd, "_dump 0x3FF00 0x200 %F", 0, "past the end of NVM"},
        Refusal{"DumpTwoPositionals", tcl_al_nvm_dump_cmd, "_dump 0 %F", 0, "?-l? offset length filename"},
        Refusal{"DumpFourPositionals", tcl_al_nvm_dump_cmd, "_dump 0 4 8 %F", 0, "?-l? offset length filename"},
        Refusal{"DumpVpdAbsent", tcl_al_nvm_dump_cmd, "_dump -vpd %F", 0, "Can't dump VPD image, does not exist."},
        Refusal{"PrgPastTheEnd", tcl_al_nvm_prg_cmd, "_prg 0x3FF00 %F", 0x200, "past the end of NVM"},
        Refusal{"PrgLargerThanNvm", tcl_al_nvm_prg_cmd, "_prg 0 %F", 0x40001, "Image file size is larger than NVM size"},
        Refusal{"PrgPagedPlusOne", tcl_al_nvm_prg_cmd, "_prg 0 %F", 0x40000 + 0x2000 + 1,
                "Image file size is larger than NVM size"},
        Refusal{"PrgMissingFile", tcl_al_nvm_prg_cmd, "_prg 0 %F", 0, "File does not exist."},
        Refusal{"PrgNoFile", tcl_al_nvm_prg_cmd, "_prg 0", 0, "Neither memory location nor file name specified."},
        Refusal{"PrgMem", tcl_al_nvm_prg_cmd, "_prg -mem 0 0x1000", 0, "nvm prg -mem option is not supported"},
        Refusal{"PrgSkipOptions", tcl_al_nvm_prg_cmd, "_prg -skip_options 0 %F", 16, "Unknown option"},
        Refusal{"PrgBadOffset", tcl_al_nvm_prg_cmd, "_prg zero %F", 16, "Offset: expect an integer, but got zero"},
        Refusal{"PrgBadOption", tcl_al_nvm_prg_cmd, "_prg -fast 0 %F", 16, "bad option \"-fast\""}),
    [](const auto& info) { return std::string(info.param.name); });

// E4 chips have their own dump and no raw programming (e4/dump_prg_test.cpp); a chip of no known
// family is refused by both.
TEST(Prg, UnknownChipsAreRefusedWithoutTouchingNvram)
{
    TempDir tmp;
    KitBoard b(kit_board_def());
    testkit::write_file(tmp / "in.bin", Bytes(64, 0));
    b.adapter.set_device_id(0x1234);
    b.current = std::make_unique<CurrentAdapter>(b.adapter);
    const Bytes before = b.adapter.nvram;
    EXPECT_EQ(b.run(tcl_al_nvm_prg_cmd, "_prg 0 " + word(tmp / "in.bin")), TCL_ERROR);
    EXPECT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump " + word(tmp / "out.bin")), TCL_ERROR);
    EXPECT_NE(b.result().find("not supported"), std::string::npos);
    EXPECT_EQ(b.adapter.nvram, before);
    EXPECT_FALSE(std::filesystem::exists(tmp / "out.bin"));
}

TEST(Dump, RangeInHostOrder)
{
    TempDir tmp;
    KitBoard b(kit_board_def());
    ASSERT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump -l 0x101 0x22 " + word(tmp / "r.bin")), TCL_OK) << b.result();
    Bytes got = testkit::read_file(tmp / "r.bin");
    EXPECT_EQ(got, testkit::get_host_view(b.adapter.nvram, 0x100, 0x20));
}

TEST(FileSize, NamesWithBlanksAndBracketsAreOneWord)
{
    TempDir tmp;
    const std::string odd = (tmp / "a b [file delete x] $y");
    testkit::write_file(odd, Bytes(37, 1));
    uint32_t size = 0;
    EXPECT_EQ(common_nvm_file_size(odd.c_str(), &size), 0);
    EXPECT_EQ(size, 37u);
    EXPECT_NE(common_nvm_file_size((tmp / "missing").c_str(), &size), 0);
}

}  // namespace
}  // namespace fwupg::nvm::test
