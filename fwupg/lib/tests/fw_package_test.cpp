// Firmware package reader: validation, matching, single-image copies, extraction into the
// current folder and its command list. Packages come from the test kit's builder. Each test runs
// in its own process and changes into a temporary folder of its own.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "fwupg/expansion_rom.h"
#include "fwupg/fw_package.h"
#include "platform/testing/temp_root.h"
#include "testkit/bytes.h"
#include "testkit/e4_rom.h"
#include "testkit/images.h"
#include "testkit/package.h"

namespace {

using testkit::Bytes;
using testkit::package_tag;
using testkit::PackageEntry;
using testkit::PackageRow;
using testkit::PackageDef;

constexpr uint16_t kVid = 0x14E4, kDid = 0x168E, kSvid = 0x103C, kSsid = 0x1917;

Bytes Filled(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 7);
    return b;
}

// A boot-agent ROM of the test's board, told apart by its version "7.<n>.0".
Bytes Rom(uint8_t n)
{
    return testkit::mba_rom(testkit::mba_stock(kDid, "7." + std::to_string(n % 16) + "." + std::to_string(n)));
}

PackageEntry Entry(const char* name, Bytes data)
{
    return PackageEntry{package_tag(name), std::move(data), {}, {}};
}

PackageRow Row(uint32_t mask)
{
    return PackageRow{kVid, kDid, kSvid, kSsid, mask};
}

class FwPackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    std::string Write(const Bytes& bytes, const std::string& name = "pkg.bin")
    {
        testkit::write_file(dir_ / name, bytes);
        return dir_ / name;
    }
    static Bytes ReadBack(const std::string& name) { return testkit::read_file(name); }
    static bool Exists(const std::string& name) { return std::filesystem::exists(name); }
    // A command with the package's folder left out of the file names it carries.
    static std::string Bare(const fwupg::FwPackage& pkg, std::string command)
    {
        const std::string folder = pkg.ExtractionFolder() + "/";
        for (size_t at; !pkg.ExtractionFolder().empty() && (at = command.find(folder)) != std::string::npos;)
            command.erase(at, folder.size());
        return command;
    }
    // Everything in the test's folder but the package file.
    std::vector<std::string> Others() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
            if (e.path().filename() != "pkg.bin") names.push_back(e.path().filename());
        return names;
    }

    platform::testing::TempDir dir_;
    std::filesystem::path previous_;
};

TEST_F(FwPackageTest, GivesVersionDateAndBoundedVersionText)
{
    PackageDef desc;
    desc.major = 7;
    desc.minor = 12;
    desc.build = 3;
    desc.date1 = 0x0B;
    desc.date2 = 0x1E;
    desc.year = 2024;  // bytes 20, 21 = 0xE8, 0x07
    desc.entries = {Entry("MFW", Filled(16, 1))};
    desc.rows = {Row(1)};
    fwupg::FwPackage pkg(Write(testkit::package(desc)).c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(pkg.Validate(), 0u);

    uint32_t version = 0, date = 0;
    pkg.GetVersionAndDate(&version, &date);
    EXPECT_EQ(version, 0x070C03u);
    EXPECT_EQ(date, 0x0B1EE807u);

    // The text is cut to the buffer: a 6-byte buffer cannot hold "7.12.3".
    char text[16];
    std::memset(text, 'x', sizeof text);
    ASSERT_TRUE(pkg.GetVersionString(text, 6));
    EXPECT_STREQ(text, "7.12.");
    EXPECT_EQ(text[6], 'x');
    ASSERT_TRUE(pkg.GetVersionString(text, sizeof text));
    EXPECT_STREQ(text, "7.12.3");
    EXPECT_FALSE(pkg.GetVersionString(text, 5));
}

// Malformed packages: each is refused with its code, and none yields a command or a file.
TEST_F(FwPackageTest, MalformedPackagesAreRefused)
{
    auto base = [] {
        PackageDef s;
        s.entries = {Entry("MBA", Rom(2)), Entry("MFW", Filled(24, 3))};
        s.rows = {Row(3)};
        return s;
    };
    struct Case {
        const char* what;
        std::function<Bytes()> make;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"wrong magic", [&] { auto s = base(); s.magic = {'K', 'R', 'V', 'X'}; return testkit::package(s); }, 78},
        {"format version 0", [&] { auto s = base(); s.format_version = 0; return testkit::package(s); }, 78},
        {"header only", [&] { Bytes b = testkit::package(base()); b.resize(32); return b; }, 78},
        {"empty file", [] { return Bytes{}; }, 78},
        {"header length one short",
         [&] { auto s = base(); s.header_length = uint16_t(32 + 64 + 8 + 16 - 1); return testkit::package(s); }, 127},
        {"byte 12 zero", [&] { auto s = base(); s.byte12 = 0; return testkit::package(s); }, 127},
        {"entry count zero", [&] { auto s = base(); s.entry_count = 0; return testkit::package(s); }, 127},
        {"only unknown tags",
         [&] { auto s = base(); for (auto& e : s.entries) e.tag = testkit::tag_of("zzzz"); return testkit::package(s); }, 127},
        {"directory past the end",
         [&] {
             auto s = base();
             s.entry_count = 2000;
             s.header_length = uint16_t(32 + 32 * 2000 + 8 + 16);
             return testkit::package(s);
         },
         127},
        {"table rows past the end",
         [&] {
             Bytes b = testkit::package(base());
             testkit::set_le16(b, 32 + 64, 0x7FFF);  // row count
             return b;
         },
         127},
        {"table header cut off",
         [&] {
             Bytes b = testkit::package(base());
             b.resize(32 + 64 + 4);
             return b;
         },
         127},
        {"no row for this adapter",
         [&] { auto s = base(); s.rows[0].ssid = kSsid + 1; return testkit::package(s); }, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fwupg::FwPackage pkg(Write(c.make()).c_str(), kVid, kDid, kSvid, kSsid);
        EXPECT_EQ(pkg.Validate(), c.code);
        std::vector<uint8_t> out{1};
        EXPECT_EQ(pkg.ExtractImage("MBA", out), 126u);
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(pkg.GetCommandCount(), 0u);
        EXPECT_EQ(Others(), std::vector<std::string>{});
    }
}

TEST_F(FwPackageTest, MissingFileAndZeroIdsAreInvalid)
{
    fwupg::FwPackage missing((dir_ / "none.bin").c_str(), kVid, kDid, kSvid, kSsid);
    EXPECT_EQ(missing.Validate(), 78u);

    PackageDef s;
    s.entries = {Entry("MBA", Rom(1))};
    s.rows = {PackageRow{kVid, kDid, kSvid, 0, 1}};
    fwupg::FwPackage zeroSsid(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, 0);
    EXPECT_NE(zeroSsid.Validate(), 0u);
}

TEST_F(FwPackageTest, LastMatchingRowWinsAndMaskSelectsImages)
{
    PackageDef s;
    s.entries = {Entry("MBA", Rom(10)), Entry("MBA", Rom(20)), Entry("MFW", Filled(8, 30))};
    s.rows = {Row(0x1 | 0x4), PackageRow{kVid, 0x1111, kSvid, kSsid, 0x7}, Row(0x2)};
    fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(pkg.Validate(), 0u);

    std::vector<uint8_t> out;
    EXPECT_EQ(pkg.ExtractImage("MBA", out), 0u);
    EXPECT_EQ(out, Rom(20));
    EXPECT_EQ(pkg.ExtractImage("MFW", out), 30u);  // the winning row does not take entry 2
    EXPECT_TRUE(out.empty());
}

TEST_F(FwPackageTest, EntryNumber32TakesTheKeyOfEntry0AndUnknownTagsSelectNothing)
{
    PackageDef s;
    s.entries.push_back(Entry("MBA", Rom(1)));
    s.entries.push_back(PackageEntry{testkit::tag_of("xyzw"), Filled(8, 2), {}, {}});
    for (int i = 2; i < 32; ++i) s.entries.push_back(Entry("L2T", Filled(4, uint8_t(i))));
    s.entries.push_back(Entry("MBA", Rom(99)));  // i = 32: key 1 << 0
    s.rows = {Row(0x1 | 0x2)};
    fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(pkg.Validate(), 0u);

    std::vector<uint8_t> out;
    ASSERT_EQ(pkg.ExtractImage("MBA", out), 0u);
    EXPECT_EQ(out, Rom(99));
    ASSERT_EQ(pkg.GetCommandCount(), 1u);  // bit 1 names the unknown entry: nothing
    EXPECT_EQ(Bare(pkg, pkg.GetCommand(0)), "upgrade -F -mba MBA.bin");
}

// An entry whose data leave the file (also by a u32 sum that wraps, or a file cut short) makes the
// whole package invalid: nothing is copied out and the extraction writes nothing at all.
TEST_F(FwPackageTest, EntryDataOutsideTheFileAreRefused)
{
    struct Case {
        const char* what;
        uint32_t offset, length;
    };
    const std::vector<Case> cases = {
        {"offset past the end", 0x100000, 4},
        {"length past the end", 0, 0x100000},
        {"sum wraps 32 bits", 0xFFFFFFF0u, 0x20},
        {"file cut in the last image", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageDef s;
        s.entries = {Entry("MBA", Rom(1)), Entry("MFW", Filled(16, 2))};
        if (c.length) {
            s.entries[1].offset = c.offset;
            s.entries[1].length = c.length;
        }
        s.rows = {Row(0x3)};
        Bytes file = testkit::package(s);
        if (!c.length) file.resize(file.size() - 1);
        fwupg::FwPackage pkg(Write(file).c_str(), kVid, kDid, kSvid, kSsid);
        EXPECT_EQ(pkg.Validate(), 127u);
        std::vector<uint8_t> out;
        EXPECT_EQ(pkg.ExtractImage("MFW", out), 126u);
        EXPECT_EQ(pkg.ExtractImage("MBA", out), 126u);
        EXPECT_EQ(pkg.GetCommandCount(), 0u);
        EXPECT_EQ(Others(), std::vector<std::string>{});
    }
}

TEST_F(FwPackageTest, ExtractionWritesFilesAndCommandList)
{
    struct Case {
        const char* what;
        std::vector<const char*> entries;
        std::vector<std::string> commands;
        std::vector<std::string> files;
    };
    const std::vector<Case> cases = {
        {"configuration with MFW, no META",
         {"MBA", "NVM_CFG", "MFW", "PK"},
         {"upgrade -F -mba MBA.bin", "upgrade -F -mfw MFW.bin", "upgrade -F -pk PK.bin",
          "update_cfg -F NVM_CFG.bin MFW.bin"},
         {"MBA.bin", "NVM_CFG.bin", "MFW.bin", "PK.bin"}},
        {"configuration with META and MFW",
         {"META", "MFW", "NVM_CFG", "IBOOT", "FBOOT", "PHY", "INIT_HW", "L2T", "CCM"},
         {"upgrade -F -mfw MFW.bin", "upgrade -F -ib_ipv4n6 IBOOT.bin", "upgrade -F -feb FBOOT.bin",
          "phy -upg PHY.bin", "upgrade -F -init_hw INIT_HW.bin", "upgrade -F -l2t L2T.bin",
          "upgrade -F -ccm CCM.bin", "update_cfg -F NVM_CFG.bin META.bin"},
         {"META.bin", "MFW.bin", "NVM_CFG.bin", "IBOOT.bin", "FBOOT.bin", "PHY.bin", "INIT_HW.bin", "L2T.bin",
          "CCM.bin"}},
        {"configuration alone", {"NVM_CFG"}, {}, {"NVM_CFG.bin"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageDef s;
        // Boot-agent entries are ROMs; the others carry a pattern of their own.
        auto bytes = [&](size_t i) {
            return std::string(c.entries[i]) == "MBA" ? Rom(uint8_t(i)) : Filled(20 + i, uint8_t(i));
        };
        for (size_t i = 0; i < c.entries.size(); ++i) s.entries.push_back(Entry(c.entries[i], bytes(i)));
        s.rows = {Row((1u << c.entries.size()) - 1)};
        fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
        ASSERT_EQ(pkg.Validate(), 0u);
        ASSERT_EQ(pkg.GetCommandCount(), c.commands.size());
        for (size_t i = 0; i < c.commands.size(); ++i) EXPECT_EQ(Bare(pkg, pkg.GetCommand(i)), c.commands[i]);
        EXPECT_EQ(pkg.GetCommand(c.commands.size()), "");
        EXPECT_EQ(pkg.WrittenFiles(), c.files);
        const std::string folder = pkg.ExtractionFolder();
        for (size_t i = 0; i < c.files.size(); ++i)
            EXPECT_EQ(ReadBack(folder + "/" + c.files[i]), bytes(i));
        pkg.DeleteExtractedFiles();
        EXPECT_EQ(Others(), std::vector<std::string>{}) << "the package's folder is removed with its files";
    }
}

TEST_F(FwPackageTest, SecondImagesOfAKindGetProcessWideNumbers)
{
    PackageDef s;
    s.entries = {Entry("MBA", Rom(1)), Entry("MBA", Rom(2))};
    s.rows = {Row(0x3)};
    const std::string path = Write(testkit::package(s));

    fwupg::FwPackage first(path.c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(first.GetCommandCount(), 2u);
    EXPECT_EQ(Bare(first, first.GetCommand(0)), "upgrade -F -mba MBA.bin");
    EXPECT_EQ(Bare(first, first.GetCommand(1)), "upgrade -F -mba MBA1.bin");
    EXPECT_EQ(ReadBack(first.ExtractionFolder() + "/MBA1.bin"), Rom(2));

    // Each package unpacks into a folder of its own.
    fwupg::FwPackage second(path.c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(second.GetCommandCount(), 2u);
    EXPECT_EQ(Bare(second, second.GetCommand(1)), "upgrade -F -mba MBA2.bin");
    EXPECT_NE(first.ExtractionFolder(), second.ExtractionFolder());
    first.DeleteExtractedFiles();
    second.DeleteExtractedFiles();
}

TEST_F(FwPackageTest, OrderMfwAndPkSwapsTheTwoCommands)
{
    PackageDef s;
    s.entries = {Entry("PK", Filled(8, 1)), Entry("MBA", Rom(2)), Entry("MFW", Filled(8, 3))};
    s.rows = {Row(0x7)};
    fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(pkg.GetCommandCount(), 3u);
    ASSERT_TRUE(pkg.HasPkImage());

    EXPECT_EQ(pkg.OrderMfwAndPk(false), 0);  // PK already stands before MFW
    EXPECT_EQ(Bare(pkg, pkg.GetCommand(0)), "upgrade -F -pk PK.bin");
    EXPECT_EQ(pkg.OrderMfwAndPk(true), 0);
    EXPECT_EQ(Bare(pkg, pkg.GetCommand(0)), "upgrade -F -mfw MFW.bin");
    EXPECT_EQ(Bare(pkg, pkg.GetCommand(2)), "upgrade -F -pk PK.bin");
    // The indexes are not updated, so the same request swaps the commands back.
    pkg.OrderMfwAndPk(true);
    EXPECT_EQ(Bare(pkg, pkg.GetCommand(0)), "upgrade -F -pk PK.bin");
    EXPECT_EQ(Bare(pkg, pkg.GetCommand(1)), "upgrade -F -mba MBA.bin");
}

TEST_F(FwPackageTest, PackageWithoutPkHasNoPkImage)
{
    PackageDef s;
    s.entries = {Entry("MFW", Filled(8, 3))};
    s.rows = {Row(0x1)};
    fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(pkg.GetCommandCount(), 1u);
    EXPECT_FALSE(pkg.HasPkImage());
    pkg.OrderMfwAndPk(true);
    EXPECT_EQ(Bare(pkg, pkg.GetCommand(0)), "upgrade -F -mfw MFW.bin");
}

// A file that cannot be written whole (here: a file-size limit below the second image) fails the
// extraction: no commands, and the images written before it are removed with the package's
// folder, so no stale or partial file can be programmed afterwards.
TEST_F(FwPackageTest, ShortWriteFailsExtractionAndRemovesWrittenFiles)
{
    PackageDef s;
    s.entries = {Entry("MBA", Rom(1)), Entry("MFW", Filled(64 * 1024, 2)), Entry("PK", Filled(8, 3))};
    s.rows = {Row(0x7)};
    const std::string path = Write(testkit::package(s));
    fwupg::FwPackage pkg(path.c_str(), kVid, kDid, kSvid, kSsid);

    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    struct rlimit before {};
    getrlimit(RLIMIT_FSIZE, &before);
    struct rlimit small = before;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const size_t count = pkg.GetCommandCount();
    setrlimit(RLIMIT_FSIZE, &before);
    sigaction(SIGXFSZ, &old, nullptr);

    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(pkg.ExtractionFailed());
    EXPECT_TRUE(pkg.WrittenFiles().empty());
    EXPECT_EQ(Others(), std::vector<std::string>{});
}

// Files of the working folder named like the images, a link among them, are neither written nor
// followed nor removed: the images go to the package's own folder.
TEST_F(FwPackageTest, FilesOfTheWorkingFolderNamedLikeImagesStayUntouched)
{
    PackageDef s;
    s.entries = {Entry("MBA", Rom(1)), Entry("MFW", Filled(8, 2))};
    s.rows = {Row(0x3)};
    fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
    testkit::write_file(dir_ / "MBA.bin", Bytes{'m', 'i', 'n', 'e'});
    testkit::write_file(dir_ / "target", Bytes{'t'});
    std::filesystem::create_symlink("target", dir_ / "MFW.bin");

    ASSERT_EQ(pkg.GetCommandCount(), 2u);
    pkg.DeleteExtractedFiles();
    EXPECT_EQ(ReadBack("MBA.bin"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(ReadBack("target"), Bytes{'t'});
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "MFW.bin"));
    EXPECT_EQ(Others().size(), 3u);
}

TEST_F(FwPackageTest, DeleteRemovesReadOnlyFilesAndToleratesMissingOnes)
{
    PackageDef s;
    s.entries = {Entry("MBA", Rom(1)), Entry("MFW", Filled(8, 2))};
    s.rows = {Row(0x3)};
    fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
    ASSERT_EQ(pkg.GetCommandCount(), 2u);
    const std::string folder = pkg.ExtractionFolder();
    chmod((folder + "/MBA.bin").c_str(), 0444);
    std::filesystem::remove(folder + "/MFW.bin");
    pkg.DeleteExtractedFiles();
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Exists("pkg.bin"));
}

// One x86 image written by hand: zero but for its header and data structure. Its bytes sum to
// 0x467 without byte 7, so byte 7 is 0x99.
Bytes HandWrittenRom()
{
    Bytes r(512, 0);
    for (auto [at, v] : std::initializer_list<std::pair<size_t, uint8_t>>{
             {0, 0x55}, {1, 0xAA}, {2, 0x01}, {7, 0x99}, {0x18, 0x1C}, {0x1C, 'P'}, {0x1D, 'C'}, {0x1E, 'I'},
             {0x1F, 'R'}, {0x20, 0xE4}, {0x21, 0x14}, {0x22, 0x8E}, {0x23, 0x16}, {0x2C, 0x01}, {0x31, 0x80}})
        r[at] = v;
    return r;
}

// The chain walk: every x86 image must sum to 0 and lie inside the data, and the chain must reach
// its last image; EFI and FCODE images carry no sum.
TEST(RomChain, X86ImagesMustSumToZero)
{
    testkit::e4::RomDef def = testkit::e4::mba_stock("0.7.9");
    def.clp_revision = 0x0709;    // a second x86 image, at 0x400
    def.fcode_revision = 0x0102;  // at 0x800
    const Bytes chain = testkit::e4::mba_rom(def);
    const size_t efi = 0xC00;
    ASSERT_EQ(testkit::get_le16(&chain[efi + 4]), 0x0EF1u);
    struct Case {
        const char* what;
        std::function<Bytes()> make;
        bool holds;
    };
    const std::vector<Case> cases = {
        {"hand-written image", [] { return HandWrittenRom(); }, true},
        {"hand-written image, a byte flipped", [] { Bytes r = HandWrittenRom(); r[0x100] ^= 0x01; return r; }, false},
        {"hand-written image, size byte 0", [] { Bytes r = HandWrittenRom(); r[2] = 0; r[7] = 0x9A; return r; }, false},
        {"hand-written image cut short", [] { Bytes r = HandWrittenRom(); r.resize(511); return r; }, false},
        {"hand-written image, not the last, nothing follows",
         [] { Bytes r = HandWrittenRom(); r[0x31] = 0; r[7] = 0x19; return r; }, false},
        {"kit chain", [&] { return chain; }, true},
        {"kit chain, a byte of the CLP image flipped", [&] { Bytes r = chain; r[0x500] ^= 0x40; return r; }, false},
        {"kit chain, a byte of the EFI image flipped", [&] { Bytes r = chain; r[efi + 0x100] ^= 0x40; return r; }, true},
        {"kit chain without its EFI image", [&] { return Bytes(chain.begin(), chain.begin() + efi); }, false},
        {"no ROM", [] { return Filled(512, 1); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes b = c.make();
        EXPECT_EQ(fwupg::RomChainSumsHold(b.data(), b.size()), c.holds);
    }
}

// A package whose boot-agent ROM is damaged is invalid as a whole: nothing is extracted.
TEST_F(FwPackageTest, DamagedBootAgentRomMakesThePackageInvalid)
{
    PackageDef s;
    Bytes rom = Rom(3);
    rom[0x123] ^= 0x08;
    s.entries = {Entry("MFW", Filled(16, 2)), Entry("MBA", rom)};
    s.rows = {Row(0x3)};
    fwupg::FwPackage pkg(Write(testkit::package(s)).c_str(), kVid, kDid, kSvid, kSsid);
    EXPECT_EQ(pkg.Validate(), 69u);
    EXPECT_EQ(pkg.GetCommandCount(), 0u);
    EXPECT_FALSE(Exists("MFW.bin"));
}

}  // namespace

// A package larger than its bound is refused unread (19); at the bound it is read as usual. The
// default bound is the largest NVRAM part of every family.
TEST_F(FwPackageTest, APackageLargerThanItsBoundIsRefused)
{
    PackageDef desc;
    desc.entries = {Entry("MFW", Filled(16, 1))};
    desc.rows = {Row(1)};
    const Bytes bytes = testkit::package(desc);
    const std::string path = Write(bytes);
    EXPECT_EQ(fwupg::FwPackage(path.c_str(), kVid, kDid, kSvid, kSsid, bytes.size() - 1).Validate(), 19u);
    EXPECT_EQ(fwupg::FwPackage(path.c_str(), kVid, kDid, kSvid, kSsid, bytes.size()).Validate(), 0u);

    // Padded with zeros past the default bound (a sparse file: nothing of it is read).
    std::filesystem::resize_file(path, fwupg::kLargestNvram + 1);
    EXPECT_EQ(fwupg::FwPackage(path.c_str(), kVid, kDid, kSvid, kSsid).Validate(), 19u);
}
