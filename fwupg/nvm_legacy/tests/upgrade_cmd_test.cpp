// "nvm upgrade" on a simulated legacy adapter: image files built by the kit, raw and wrapped, for
// each option; the refusals with their codes and texts; the per-row rules (iSCSI configuration
// layouts, FCoE skips, the NC-SI XLIB, the embedded CCM); the IPMI post-step; and failures part
// way. The kit's verifier checks the NVRAM after every command.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fake_host.h"
#include "fwupg/host_ops.h"
#include "fwupg/nvm_legacy/upgrade.h"
#include "legacy_fake_host.h"
#include "testkit/legacy_image.h"
#include "testkit/legacy_reader.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t BOARD_5709 = 1u << 18, BOARD_5706 = 1u << 16, COPPER = 1u << 8, SERDES = 1u << 9;

adapter board(int number, std::vector<image> images, uint32_t nvm_size = 0x40000)
{
    adapter a;
    a.board = number;
    a.nvm_size = nvm_size;
    a.images = std::move(images);
    return a;
}

image stock(const char* kind, const char* version, stock_options o = {})
{
    return placed(kind, stock_image(kind, version, o));
}

// Record data as image files carry it.
bytes sectioned(const char* kind, const char* version) { return sectioned_file(stock_image(kind, version), 0x08000000); }
bytes plain(const char* kind, const char* version, stock_options o = {})
{
    return dword_reversed(stock_image(kind, version, o));
}

bytes join(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

constexpr uint32_t Z3(char b, char c, char d) { return tag('\0', b, c, d); }

class UpgradeCmd : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/legacy_upgrade_XXXXXX";
        dir = mkdtemp(tmpl);
        fwupg::nvm::test::take_debug_text();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string file(const bytes& content, const char* name = "image.bin")
    {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
        return p.string();
    }
    static int run(FakeHost& host, std::vector<std::string> words)
    {
        words.insert(words.begin(), "upgrade");
        host.last_error = 0;
        return host.run(toe_nvm_upgrade_cmd, words);
    }
    static std::string version(const FakeHost& host, const char* kind)
    {
        const auto im = find_image(host.nvram, kind);
        return im ? im->version : "(absent)";
    }
};

}  // namespace

TEST_F(UpgradeCmd, UsageErrors)
{
    FakeHost host(board(5709, {stock("BC1", "1.0.0")}));
    const std::string usage = "wrong # args: should be \"upgrade [-F] -bc|-bc1|-bc2|-mba[-p <pfn_val>]|-rxp|-ib|-ib_ipv6|"
                              "-ib_ipv4n6 [-c|-p|-cp]|-ump|-feb[-c|-p|-cp]|-ccm|-ipmi|-ncsi filename\"";
    struct {
        std::vector<std::string> words;
        uint32_t error;
        std::string result;
    } cases[] = {
        {{"-bc"}, 2, usage},
        {{"-bc1", "f"}, 2, usage},
        {{"-mba", "-p", "x", "f"}, 2, usage},
        {{"-mba", "-d"}, 2, usage},
        {{"-mbi", "f"}, 3, ""},
        {{"-F", "-mbi"}, 3, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TCL_ERROR, run(host, c.words)) << c.words[0];
        EXPECT_EQ(c.error, host.last_error) << c.words[0];
        EXPECT_EQ(c.result, host.result()) << c.words[0];
    }
    EXPECT_EQ(0, host.writes);
}

// Each option's wrapped and raw files program the entries of their family.
TEST_F(UpgradeCmd, ProgramsEachFamily)
{
    const std::vector<image> base = {stock("BC1", "1.0.0"), stock("BC2", "1.0.0")};
    struct {
        const char* what;
        int board;
        std::vector<std::string> words;   // "@" stands for the file
        bytes content;
        std::vector<std::pair<const char*, std::string>> expect;
    } cases[] = {
        {"wrapped boot code on a 5709", 5709, {"-bc", "@"},
         join({wrapped_v2(Z3('b', 'c', '1'), BOARD_5709, sectioned("BC1", "7.2.0")),
               wrapped_v2(Z3('b', 'c', '2'), BOARD_5709 | COPPER, sectioned("BC2", "7.2.0"))}),
         {{"BC1", "bc 7.2.0"}, {"BC2", "bc 7.2.0"}}},
        {"version-1 records on a 5706", 5706, {"-bc", "@"},
         join({wrapped_v1(Z3('b', 'c', '2'), sectioned("BC2", "7.3.0")),
               wrapped_v1(tag('l', '2', 'r', 'x'), sectioned("L2_RXP", "7.3.0"))}),
         {{"BC2", "bc 7.3.0"}, {"L2_RXP", "RXP 7.3.0"}}},
        {"raw UMP on a 5708", 5708, {"-ump", "@"}, sectioned("UMP", "2.1.0"), {{"UMP", "UMP 2.1.0"}}},
        {"wrapped UMP on a 5709", 5709, {"-ump", "@"}, wrapped_v2(Z3('i', 'm', 'd'), 0, sectioned("UMP", "2.1.0")),
         {{"UMP", "UMP 2.1.0"}}},
        {"raw L2 RXP on a 5706", 5706, {"-rxp", "@"}, sectioned("L2_RXP", "7.4.0"), {{"L2_RXP", "RXP 7.4.0"}}},
        {"raw CCM on a 5706", 5706, {"-ccm", "@"}, plain("CCM", "1.2.0"), {{"CCM", "v1.2.0"}}},
        {"wrapped CCM on a 5709", 5709, {"-ccm", "@"}, wrapped_v2(Z3('c', 'c', 'm'), 0, plain("CCM", "1.2.0")),
         {{"CCM", "v1.2.0"}}},
        {"IPMI firmware", 5706, {"-ipmi", "@"},
         join({wrapped_v2(Z3('i', 'p', 'i'), 0x020100, sectioned("IPMI_INIT", "1.2.0")),
               wrapped_v2(Z3('i', 'p', 's'), 0, sectioned("IPMI_SERV", "1.2.0"))}),
         {{"IPMI_INIT", "IPMI 1.2.0"}, {"IPMI_SERV", "IPMI 1.2.0"}}},
        {"NC-SI, the ELIB left out", 5709, {"-ncsi", "@"},
         join({wrapped_v2(tag('n', 'c', 'c', 'm'), 0, sectioned("NCSI_CMN", "1.0.6")),
               wrapped_v2(tag('n', 'c', 'l', 'x'), 0, sectioned("NCSI_XLIB", "1.0.6")),
               wrapped_v2(tag('n', 'c', 'l', 'e'), 0, sectioned("NCSI_ELIB", "1.0.6"))}),
         {{"NCSI_CMN", "NCSI 1.0.6"}, {"NCSI_XLIB", "NCSI 1.0.6"}, {"NCSI_ELIB", "(absent)"}}},
        {"-F after the file name", 5709, {"-bc", "@", "-F"},
         wrapped_v2(Z3('b', 'c', '2'), 0, sectioned("BC2", "0.9.0")), {{"BC2", "bc 0.9.0"}}},
        {"records for another board are refused", 5709, {"-bc", "@"},
         wrapped_v2(Z3('b', 'c', '2'), BOARD_5706, sectioned("BC2", "7.2.0")), {{"BC2", "bc 1.0.0"}}},
        {"an empty file programs nothing", 5709, {"-bc", "@"}, {}, {{"BC2", "bc 1.0.0"}}},
    };
    for (const auto& c : cases) {
        FakeHost host(board(c.board, base));
        const std::string path = file(c.content);
        std::vector<std::string> words = c.words;
        for (std::string& w : words)
            if (w == "@")
                w = path;
        const bool refused = std::string(c.what).find("refused") != std::string::npos;
        EXPECT_EQ(refused ? TCL_ERROR : TCL_OK, run(host, words)) << c.what << ": " << host.result();
        if (refused) {
            // The record's chip mask (5706 only) against the board.
            EXPECT_EQ(22u, host.last_error) << c.what;
            EXPECT_EQ("File image (of type 10000) not for 5709.", host.result()) << c.what;
        }
        for (const auto& [kind, v] : c.expect)
            EXPECT_EQ(v, version(host, kind)) << c.what << ": " << kind;
        EXPECT_EQ("", verify_nvram(host.nvram)) << c.what;
    }
}

// The refusals of the record walk, each before anything is written.
TEST_F(UpgradeCmd, RefusedFiles)
{
    bytes cut = wrapped_v2(Z3('b', 'c', '2'), 0, sectioned("BC2", "7.2.0"));
    cut.resize(cut.size() - 8);
    bytes version3 = wrapped_v2(Z3('b', 'c', '2'), 0, sectioned("BC2", "7.2.0"));
    version3[4] = 3;
    const bytes trailing = join({wrapped_v2(Z3('b', 'c', '2'), 0, sectioned("BC2", "7.2.0")), bytes(8, 0)});
    struct {
        const char* what;
        int board;
        std::vector<std::string> words;
        bytes content;
        uint32_t error;
        std::string result;
    } cases[] = {
        {"raw boot code", 5706, {"-bc", "@"}, sectioned("BC2", "7.2.0"), 26,
         "Improper file format, Not intended for 8-bc option."},
        {"raw NC-SI", 5708, {"-ncsi", "@"}, sectioned("NCSI_CMN", "7.2.0"), 26,
         "Improper file format, Not intended for 8-ncsi option."},
        {"raw UMP on a 5709", 5709, {"-ump", "@"}, sectioned("UMP", "2.1.0"), 26,
         "Improper file format, Not intended for 5709 or 5716."},
        {"version-2 record with -mba", 5709, {"-mba", "@"}, wrapped_v2(Z3('m', 'b', 'a'), 0, bytes(512, 0x55)), 26,
         "Improper file format, Not intended for 7-mba option."},
        {"UMP record with -bc", 5709, {"-bc", "@"}, wrapped_v2(Z3('i', 'm', 'd'), 0, sectioned("UMP", "2.1.0")), 26,
         "Improper file format, Not intended for 1-bc option."},
        {"raw non-ROM with -mba", 5709, {"-mba", "@"}, bytes(512, 0x11), 26,
         "Improper file format, Not intended for -mba option."},
        {"raw non-UMP with -ump", 5706, {"-ump", "@"}, sectioned("BC2", "7.2.0"), 26,
         "Improper file format, Not intended for -ump option."},
        {"unknown tag", 5709, {"-bc", "@"}, wrapped_v2(tag('x', 'y', 'z', 'w'), 0, bytes(8, 0)), 26,
         "Improper file format, unknown file type."},
        {"unknown version-1 tag", 5709, {"-bc", "@"}, wrapped_v1(tag('i', 'b', 'p', 'l'), bytes(8, 0)), 26,
         "Improper file format, unknown file type."},
        {"format version 3", 5709, {"-bc", "@"}, version3, 26, "Improper file format, incorrect format version."},
        {"record cut off", 5709, {"-bc", "@"}, cut, 26, "Improper file format, truncated record."},
        {"bytes after the last record", 5709, {"-bc", "@"}, trailing, 26, "Improper file format, missing magic."},
        {"medium", 5709, {"-bc", "@"}, wrapped_v2(Z3('b', 'c', '2'), SERDES, sectioned("BC2", "7.2.0")), 22,
         "File image (of type 200) not for COPPER."},
        {"too large", 5706, {"-rxp", "@"}, bytes(0x40000, 1), 27, "Not enough NVRAM storage."},
        {"same version", 5709, {"-bc", "@"}, wrapped_v2(Z3('b', 'c', '2'), 0, sectioned("BC2", "1.0.0")), 35, ""},
    };
    for (const auto& c : cases) {
        FakeHost host(board(c.board, {stock("BC1", "1.0.0"), stock("BC2", "1.0.0")}));
        const std::string path = file(c.content);
        std::vector<std::string> words = c.words;
        for (std::string& w : words)
            if (w == "@")
                w = path;
        EXPECT_EQ(TCL_ERROR, run(host, words)) << c.what;
        EXPECT_EQ(c.error, host.last_error) << c.what;
        EXPECT_EQ(c.result, host.result()) << c.what;
        EXPECT_EQ(0, host.writes) << c.what;
    }

    FakeHost none(board(5709, {}));
    EXPECT_EQ(TCL_ERROR, run(none, {"-bc", (dir / "missing.bin").string()}));
    EXPECT_EQ(13u, none.last_error);
    EXPECT_EQ("File does not exist.", none.result());
}

// A record that fails after another was programmed stops the command; what was programmed stays.
TEST_F(UpgradeCmd, FailurePartWay)
{
    FakeHost host(board(5709, {stock("BC1", "1.0.0"), stock("BC2", "1.0.0")}));
    const bytes content = join({wrapped_v2(Z3('b', 'c', '2'), 0, sectioned("BC2", "7.2.0")),
                                wrapped_v2(Z3('i', 'm', 'd'), 0, sectioned("UMP", "2.1.0"))});
    EXPECT_EQ(TCL_ERROR, run(host, {"-bc", file(content)}));
    EXPECT_EQ(26u, host.last_error);
    EXPECT_EQ("bc 7.2.0", version(host, "BC2"));
    EXPECT_EQ("", verify_nvram(host.nvram));

    // A write that fails while the image is written: the command fails, the directory still names
    // the previous image, and every CRC is right.
    FakeHost cut(board(5709, {stock("BC1", "1.0.0"), stock("BC2", "1.0.0")}));
    const auto old = find_image(cut.nvram, "BC2");
    ASSERT_TRUE(old);
    cut.fail_write_at = old->offset + old->length + 0x40;
    EXPECT_EQ(TCL_ERROR, run(cut, {"-bc", file(wrapped_v2(Z3('b', 'c', '2'), 0, sectioned("BC2", "7.2.0")))}));
    EXPECT_EQ(70u, cut.last_error);
    EXPECT_EQ("bc 1.0.0", version(cut, "BC2"));
    EXPECT_EQ("", verify_nvram(cut.nvram));
}

// The boot agent: raw ROM files take the adapter's PCI IDs; -d keeps them; -p forces the PFN; an
// embedded CCM removes the separate one.
TEST_F(UpgradeCmd, BootAgent)
{
    const bytes rom = join({rom_image(0x164A, 0, 3, 0x7090, false), rom_image(0x164A, 3, 3, 0x7090, true, 0x8664)});
    auto device_ids = [](const FakeHost& host) {
        const auto mba = find_image(host.nvram, "MBA");
        const bytes r = dword_reversed(bytes(host.nvram.begin() + mba->offset, host.nvram.begin() + mba->offset + 1024));
        return std::make_pair(r[0x1C + 6] | r[0x1C + 7] << 8, r[512 + 0x1C + 6] | r[512 + 0x1C + 7] << 8);
    };
    {
        FakeHost host(board(5709, {stock("BC1", "1.0.0")}));
        ASSERT_EQ(TCL_OK, run(host, {"-mba", file(rom)})) << host.result();
        EXPECT_EQ(std::make_pair(0x1639, 0x1639), device_ids(host)) << "the board's device ID";
        EXPECT_EQ("", verify_nvram(host.nvram));
    }
    {
        FakeHost host(board(5709, {stock("BC1", "1.0.0")}));
        ASSERT_EQ(TCL_OK, run(host, {"-mba", "-d", file(rom)})) << host.result();
        EXPECT_EQ(std::make_pair(0x164A, 0x164A), device_ids(host));
    }
    {
        // The second port of a dual-function board reads its own ID word.
        FakeHost host(board(5716, {stock("BC1", "1.0.0")}));
        host.set_toe("PORT0", "0");
        put_be32(host.nvram, 0x1A8, 0x14E4163Au);
        seal(host.nvram, 0x100, 0xFC);
        ASSERT_EQ(TCL_OK, run(host, {"-mba", file(rom)})) << host.result();
        EXPECT_EQ(0x163A, device_ids(host).first);
    }
    {
        bytes pfn_rom = rom;
        pfn_rom[8] = 0x40;   // the block at 0x40
        FakeHost host(board(5709, {stock("BC1", "1.0.0")}));
        ASSERT_EQ(TCL_OK, run(host, {"-mba", "-d", "-p", "3", file(pfn_rom)})) << host.result();
        const auto mba = find_image(host.nvram, "MBA");
        const bytes r = dword_reversed(bytes(host.nvram.begin() + mba->offset, host.nvram.begin() + mba->offset + 512));
        EXPECT_EQ(0x04, r[0x40] & 0x04);
        EXPECT_EQ(3, r[0x60] | r[0x61] << 8);

        pfn_rom[8] = 0xF0;
        pfn_rom[9] = 0x03;   // the block would end beyond the ROM
        FakeHost bad(board(5709, {stock("BC1", "1.0.0")}));
        EXPECT_EQ(TCL_ERROR, run(bad, {"-mba", "-d", "-p", "3", file(pfn_rom)}));
        EXPECT_EQ(69u, bad.last_error);
        EXPECT_EQ("Not a valid KV9 MBA image.", bad.result());
    }
    {
        bytes foreign = rom;
        foreign[0x1C + 6] = 0x34;   // a device ID no boot agent of the family answers to
        FakeHost host(board(5709, {stock("BC1", "1.0.0")}));
        EXPECT_EQ(TCL_ERROR, run(host, {"-mba", file(foreign)}));
        EXPECT_EQ(69u, host.last_error);
        EXPECT_EQ(0, host.writes);
    }
    {
        bytes with_ccm = rom;
        with_ccm[8] = 0x40;
        with_ccm[0x41] = 0x01;   // the block's word: bit 0x100
        with_ccm[0x40 + 34] = 0x20;
        with_ccm[0x60] = 1;      // one directory
        FakeHost host(board(5709, {stock("BC1", "1.0.0"), stock("CCM", "1.0.0")}));
        ASSERT_EQ(TCL_OK, run(host, {"-mba", file(with_ccm)})) << host.result();
        EXPECT_EQ("(absent)", version(host, "CCM"));
        EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find(
                                         "MBA has an embedded CCM, removing existing one from NVRAM.\n"));
        EXPECT_EQ("", verify_nvram(host.nvram));
    }
}

// What an upgrade writes besides the images: the boot agent's ROM size goes to FEAT_INFO only when
// it changes, as the changed word with the block's CRC word in one write; HW_INFO, the VPD and the
// directory's text area are never rewritten; the directory gets one write for the command.
TEST_F(UpgradeCmd, BootAgentWritesBesideItsImage)
{
    const bytes rom = join({rom_image(0x164A, 0, 3, 0x7090, false), rom_image(0x164A, 3, 3, 0x7090, true, 0x8664)});
    struct {
        const char* what;
        uint32_t rom_size_word;   // f+8 of each function: the ROM size code in bits 8-15
        bool embedded_ccm;
        std::vector<std::pair<uint32_t, uint32_t>> beside;   // writes other than the image's
    } rows[] = {
        // The entry (0) gets a new length and offset: the write starts at its flags word.
        {"the size changes", 0, false, {{0x21C, 0x300 - 0x21C}, {0x18, 0x100 - 0x18}}},
        {"the size fits already", 1u << 8, false, {{0x18, 0x100 - 0x18}}},
        // The MBA entry and the removed CCM entry (1) go in the same directory write.
        {"an embedded CCM", 1u << 8, true, {{0x18, 0x100 - 0x18}}},
    };
    for (const auto& r : rows) {
        adapter a = board(5709, {stock("BC1", "1.0.0"), stock("MBA", "1.0.0"), stock("CCM", "1.0.0")});
        a.feat_words[0][2] = a.feat_words[1][2] = r.rom_size_word;
        FakeHost host(a);
        const auto old = find_image(host.nvram, "MBA");
        ASSERT_TRUE(old) << r.what;
        bytes image = rom;
        if (r.embedded_ccm) {
            image[8] = 0x40;
            image[0x41] = 0x01;
            image[0x40 + 34] = 0x20;
            image[0x60] = 1;
        }
        ASSERT_EQ(TCL_OK, run(host, {"-mba", file(image)})) << r.what << ": " << host.result();
        const auto mba = find_image(host.nvram, "MBA");
        ASSERT_TRUE(mba) << r.what;
        EXPECT_NE(old->offset, mba->offset) << r.what;
        std::vector<std::pair<uint32_t, uint32_t>> beside;
        uint32_t image_bytes = 0;
        for (size_t i = 0; i < host.write_offsets.size(); ++i) {
            const uint32_t at = host.write_offsets[i], n = host.write_lengths[i];
            if (at >= mba->offset && at + n <= mba->offset + mba->length)
                image_bytes += n;
            else
                beside.emplace_back(at, n);
        }
        EXPECT_EQ(mba->length, image_bytes) << r.what << ": the image and its CRC word, once";
        EXPECT_EQ(r.beside, beside) << r.what;
        EXPECT_EQ(r.embedded_ccm ? "(absent)" : "v1.0.0", version(host, "CCM")) << r.what;
        EXPECT_EQ("", verify_nvram(host.nvram)) << r.what;
    }
}

// A walk over several records writes their images first and enters them all in one directory
// write at its end. A power cut at any write before that leaves the previous images in force,
// whole and with matching CRCs, and the next run completes the upgrade.
TEST_F(UpgradeCmd, WalkEntersItsImagesInOneDirectoryWrite)
{
    stock_options v6;
    v6.ip = "6";
    const std::string f = file(join({wrapped_v2(Z3('i', 'b', '6'), 0, plain("ISCSI_B", "7.10.0", v6)),
                                     wrapped_v2(tag('i', 'b', 'c', '6'), 0, plain("ISB_CFG", "2.0.0"))}));
    const adapter a = board(5709, {stock("BC1", "1.0.0"), stock("ISCSI_B", "7.8.0"), stock("ISB_CFG", "1.0.0")});
    FakeHost host(a);
    ASSERT_EQ(TCL_OK, run(host, {"-ib_ipv6", f})) << host.result();
    // The boot image, port 0's block converted and port 1's new block; then the directory.
    uint32_t images = 0;
    for (const char* kind : {"ISCSI_B", "ISB_CFG", "ISB_CFG2"}) {
        const auto im = find_image(host.nvram, kind);
        ASSERT_TRUE(im) << kind;
        images += im->length;
    }
    ASSERT_LE(2u, host.write_offsets.size());
    const uint32_t dir_at = host.write_offsets.back();
    EXPECT_EQ(0x14u + 8, dir_at) << "from the boot image's entry (0): its offset word";
    EXPECT_EQ(0x100u - dir_at, host.write_lengths.back());
    uint32_t before_dir = 0;
    for (size_t i = 0; i + 1 < host.write_offsets.size(); ++i) {
        EXPECT_LE(0x600u, host.write_offsets[i]) << "write " << i << " is not an image's";
        before_dir += host.write_lengths[i];
    }
    EXPECT_EQ(images, before_dir);
    EXPECT_EQ("ipv6 v7.10.0", version(host, "ISCSI_B"));
    EXPECT_EQ("", verify_nvram(host.nvram));

    for (int cut = 0; cut < host.writes; ++cut) {
        FakeHost struck(a);
        struck.cut_after_writes = cut;
        EXPECT_EQ(TCL_ERROR, run(struck, {"-ib_ipv6", f})) << "cut after " << cut << " writes";
        EXPECT_EQ("", verify_nvram(struck.nvram)) << "cut after " << cut << " writes";
        EXPECT_EQ("ipv4 v7.8.0", version(struck, "ISCSI_B")) << "cut after " << cut << " writes";
        EXPECT_EQ("(absent)", version(struck, "ISB_CFG2")) << "cut after " << cut << " writes";
        struck.cut_after_writes = -1;
        ASSERT_EQ(TCL_OK, run(struck, {"-ib_ipv6", f})) << "cut after " << cut << " writes: " << struck.result();
        EXPECT_EQ("ipv6 v7.10.0", version(struck, "ISCSI_B")) << "cut after " << cut << " writes";
        EXPECT_EQ("", verify_nvram(struck.nvram)) << "cut after " << cut << " writes";
    }
}

// FCoE: the configuration program block only with -p, the configuration block only where none is
// listed or with -c.
TEST_F(UpgradeCmd, FcoeSkips)
{
    const bytes content = join({wrapped_v2(Z3('f', 'e', 'b'), 0, plain("FCOE_B", "2.1.0")),
                                wrapped_v2(tag('f', 'e', 'b', 'c'), 0, plain("FEB_CFG", "2.0.0")),
                                wrapped_v2(tag('f', 'e', 'b', 'p'), 0, plain("FEB_CPRG", "2.1.0"))});
    struct {
        const char* what;
        std::vector<std::string> options;
        std::string cfg, prog;
    } cases[] = {
        {"no sub-option", {"-feb"}, "v1.0", "(absent)"},
        {"-c", {"-feb", "-c"}, "v2.0", "(absent)"},
        {"-p", {"-feb", "-p"}, "v1.0", "v2.1.0"},
        {"-cp", {"-feb", "-cp"}, "v2.0", "v2.1.0"},
    };
    for (const auto& c : cases) {
        FakeHost host(board(5706, {stock("BC1", "1.0.0"), stock("FEB_CFG", "1.0.0")}));
        std::vector<std::string> words = c.options;
        words.push_back(file(content));
        ASSERT_EQ(TCL_OK, run(host, words)) << c.what << ": " << host.result();
        EXPECT_EQ("v2.1.0", version(host, "FCOE_B")) << c.what;
        EXPECT_EQ(c.cfg, version(host, "FEB_CFG")) << c.what;
        EXPECT_EQ(c.prog, version(host, "FEB_CPRG")) << c.what;
        EXPECT_EQ("", verify_nvram(host.nvram)) << c.what;
    }
}

// NC-SI common images after 1.0.6 carry the XLIB: the separate one is dropped.
TEST_F(UpgradeCmd, NcsiXlib)
{
    for (const char* v : {"1.0.6", "1.0.7"}) {
        FakeHost host(board(5709, {stock("BC1", "1.0.0"), stock("NCSI_CMN", "1.0.0"), stock("NCSI_XLIB", "1.0.0")}));
        ASSERT_EQ(TCL_OK, run(host, {"-ncsi", file(wrapped_v2(tag('n', 'c', 'c', 'm'), 0, sectioned("NCSI_CMN", v)))}))
            << host.result();
        EXPECT_EQ(std::string(v) == "1.0.7" ? "(absent)" : "NCSI 1.0.0", version(host, "NCSI_XLIB")) << v;
        EXPECT_EQ("", verify_nvram(host.nvram)) << v;
    }
}

// iSCSI: the boot image of the mode is programmed, and each port's configuration block is brought
// into the layout of the boot image, keeping the user's settings.
TEST_F(UpgradeCmd, IscsiConfigurationLayouts)
{
    stock_options v6, v4n6;
    v6.ip = "6";
    v4n6.ip = "4n6";
    const bytes boot_v6 = wrapped_v2(Z3('i', 'b', '6'), 0, plain("ISCSI_B", "7.10.0", v6));
    const bytes boot_v4 = wrapped_v2(Z3('\0', 'i', 'b'), 0, plain("ISCSI_B", "7.10.0"));
    const bytes cfg_v2 = wrapped_v2(tag('i', 'b', 'c', '6'), 0, plain("ISB_CFG", "2.0.0"));
    const bytes cfg_v1 = wrapped_v2(Z3('i', 'b', 'c'), 0, plain("ISB_CFG", "1.0.0"));
    auto block = [](const FakeHost& host, const char* kind) {
        const auto im = find_image(host.nvram, kind);
        if (!im)
            return bytes();
        // The engine's view: every word as a host value.
        return dword_reversed(bytes(host.nvram.begin() + im->offset, host.nvram.begin() + im->offset + im->length - 4));
    };
    auto word = [](const bytes& b, size_t at) {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
    };

    {
        // IPv6 over a layout-1 block with an address: converted with the IPv6 flag, 2044 bytes.
        bytes v1 = stock_image("ISB_CFG", "1.0.0");
        v1[0xA8 + 3] = 192;   // address 1 (NVRAM order)
        FakeHost host(board(5709, {stock("BC1", "1.0.0"), stock("ISCSI_B", "7.8.0"), placed("ISB_CFG", v1)}));
        ASSERT_EQ(TCL_OK, run(host, {"-ib_ipv6", file(join({boot_v6, cfg_v2}))})) << host.result();
        EXPECT_EQ("ipv6 v7.10.0", version(host, "ISCSI_B"));
        const bytes b = block(host, "ISB_CFG");
        ASSERT_EQ(2044u, b.size());
        EXPECT_EQ(0x02006269u, word(b, 0));
        EXPECT_EQ(0x100u, word(b, 4) & 0x100);
        EXPECT_EQ(0x40, b[0xB8]);
        EXPECT_EQ(0, b[0xA8]) << "no IPv4 address in an IPv6 block";
        // The second port had no block: it gets the file's, marked IPv6.
        const bytes b2 = block(host, "ISB_CFG2");
        ASSERT_EQ(2048u, b2.size());
        EXPECT_EQ(0x100u, word(b2, 4) & 0x100);
        EXPECT_EQ("", verify_nvram(host.nvram));
    }
    {
        // IPv4 layout-1 boot image over a layout-2 block: converted down, the address kept.
        bytes v2 = stock_image("ISB_CFG", "2.0.0");
        v2[0xA8 + 3] = 10;
        FakeHost host(board(5706, {stock("BC1", "1.0.0"), stock("ISCSI_B", "7.8.0"), placed("ISB_CFG", v2)}));
        ASSERT_EQ(TCL_OK, run(host, {"-ib", file(join({boot_v4, cfg_v1}))})) << host.result();
        const bytes b = block(host, "ISB_CFG");
        ASSERT_EQ(1020u, b.size());
        EXPECT_EQ(0x01006269u, word(b, 0));
        EXPECT_EQ(10, b[0xA8]);
        EXPECT_EQ("", verify_nvram(host.nvram));
    }
    {
        // A layout-2 block of IPv6 addresses under an IPv4 mode is reset to IPv4 (2044 bytes
        // programmed); mode 3 takes either and leaves the block alone.
        bytes v2 = stock_image("ISB_CFG", "2.0.0");
        v2[4 + 2] = 0x01;    // flags bit 8 (NVRAM order)
        v2[0xF8 + 3] = 'T';  // text A survives
        struct {
            const char* option;
            bytes boot;
            size_t length;
            uint32_t flag;
        } modes[] = {
            {"-ib", wrapped_v2(Z3('\0', 'i', 'b'), 0, plain("ISCSI_B", "7.10.0", v4n6)), 2044, 0},
            {"-ib_ipv4n6", wrapped_v2(tag('i', 'b', '4', 'n'), 0, plain("ISCSI_B", "7.10.0", v4n6)), 2048, 0x100},
        };
        for (const auto& m : modes) {
            FakeHost host(board(5706, {stock("BC1", "1.0.0"), stock("ISCSI_B", "7.8.0"), placed("ISB_CFG", v2)}));
            ASSERT_EQ(TCL_OK, run(host, {m.option, file(join({m.boot, cfg_v2}))})) << m.option << ": " << host.result();
            const bytes b = block(host, "ISB_CFG");
            ASSERT_EQ(m.length, b.size()) << m.option;
            EXPECT_EQ(m.flag, word(b, 4) & 0x100) << m.option;
            EXPECT_EQ('T', b[0xF8]) << m.option;
            EXPECT_EQ("", verify_nvram(host.nvram)) << m.option;
        }
    }
    {
        // A boot image of another mode is left out; its configuration records then change nothing.
        FakeHost host(board(5706, {stock("BC1", "1.0.0"), stock("ISCSI_B", "7.8.0"), stock("ISB_CFG", "1.0.0")}));
        ASSERT_EQ(TCL_OK, run(host, {"-ib", file(join({boot_v6, cfg_v2}))})) << host.result();
        EXPECT_EQ("ipv4 v7.8.0", version(host, "ISCSI_B"));
        EXPECT_EQ("v1.0", version(host, "ISB_CFG"));
    }
}

// After -ipmi the pass-through configuration exists, with the table address of the firmware.
TEST_F(UpgradeCmd, IpmiPostStep)
{
    const bytes content = wrapped_v2(Z3('i', 'p', 'i'), 0, sectioned("IPMI_INIT", "1.2.0"));
    {
        FakeHost host(board(5706, {stock("BC1", "1.0.0")}));
        HostOps ops = host.ops();
        fwupg::HostOpsScope current(&ops);
        ASSERT_EQ(TCL_OK, run(host, {"-ipmi", file(content)})) << host.result();
        const auto cfg = find_image(host.nvram, "IPMI_CFG");
        ASSERT_TRUE(cfg);
        EXPECT_EQ(0x08000010u, host.be32(0x14 + 12 * uint32_t(cfg->index)));
        EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("IPMI config image created.\n"));
        EXPECT_EQ("", verify_nvram(host.nvram));
    }
    {
        FakeHost host(board(5706, {stock("BC1", "1.0.0"), stock("IPMI_INIT", "1.1.0"), stock("IPMI_CFG", "0.0.1")}));
        const auto cfg = find_image(host.nvram, "IPMI_CFG");
        ASSERT_TRUE(cfg);
        ASSERT_EQ(0x08000000u, host.be32(0x14 + 12 * uint32_t(cfg->index)));
        ASSERT_EQ(TCL_OK, run(host, {"-ipmi", file(content)})) << host.result();
        EXPECT_EQ(0x08000010u, host.be32(0x14 + 12 * uint32_t(cfg->index)));
        EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("Cfg table updated to 08000010\n"));
        EXPECT_EQ("", verify_nvram(host.nvram));
    }
}
