// The E4 branches of "_upgrade", "dir" and "crc" over hand-written NVRAM pictures. The adapter
// here does not install what is written at offset 0 (the simulated machine's end-to-end tests
// show that); these tests show the command lines, the messages and the writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "e4_bytes.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/e4/commands.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/vpd.h"
#include "kit_board.h"

namespace {

using namespace fwupg::nvm::test;
using namespace fwupg::nvm::test::e4bytes;

Bytes text_image(const std::string& text, uint32_t size = 16)
{
    Bytes b = swizzled(text);
    b.resize(size, 0);
    return b;
}

// Appends the image's CRC word as the adapter firmware does.
Bytes with_crc(Bytes b)
{
    const uint32_t crc = dir_crc(b.data(), uint32_t(b.size()));
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(crc >> (8 * i)));
    return b;
}

struct Adapter : E4Board {
    std::unique_ptr<E4Current> cur;

    Adapter& with(uint32_t type, const Bytes& b)
    {
        place(type, b);
        return *this;
    }
    Adapter& start(uint32_t seq = 1)
    {
        publish(seq);
        cur = std::make_unique<E4Current>(a);
        take_debug_text();
        return *this;
    }
    int run(int (*body)(Tcl_Interp*, int, Tcl_Obj* const[]), const std::vector<std::string>& words)
    {
        std::vector<Tcl_Obj*> objs;
        for (const auto& w : words) {
            objs.push_back(Tcl_NewStringObj(w.c_str(), -1));
            Tcl_IncrRefCount(objs.back());
        }
        Tcl_ResetResult(a.interp());
        a.last_errors.clear();
        const int rc = body(a.interp(), int(objs.size()), objs.data());
        for (Tcl_Obj* o : objs)
            Tcl_DecrRefCount(o);
        return rc;
    }
    int crc(const std::vector<std::string>& words)
    {
        return run([](Tcl_Interp*, int objc, Tcl_Obj* const objv[]) { return fwupg::nvm::e4::crc_cmd(objc, objv); },
                   words);
    }
    std::string result() const { return Tcl_GetStringResult(a.interp()); }
};

void write_file(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

TEST(E4Commands, DirListingMarksTheRunningAndThePendingBank)
{
    Adapter ad;
    Bytes cfg(4240, 0);
    put_le32(cfg, 124, 0x00080102);
    put_le32(cfg, 128, 0x0C1FE707);  // December 31st, 2023
    ad.with(1, with_crc(text_image("TIM 8.18.1.0"))).with(2, with_crc(text_image("TIM 8.18.2.0")));
    ad.with(10, with_crc(cfg)).with(27, Bytes(8, 0));
    ad.a.set_toe("ACTIVE_BUNDLE", "0");
    ad.a.set_toe("RUNNING_MFW_VER", "135397632");
    ad.start(/*seq=*/3);  // bank 1 boots next
    EXPECT_EQ(fwupg::nvm::e4::dir_listing(), 0);
    const std::string dashes(78, '-');
    EXPECT_EQ(take_debug_text(),
              "MBI version: 8.1.2    MBI date: 12/31/2023\n" + dashes +
                  "\n       Image   SRAM Addr  SRAM Run Addr  NVM Offset  Byte Cnt   Version\n" + dashes +
                  "\n"
                  "       DIR1*  0x00000011    0x00000022   0x00002000  0x00074      N/A\n"
                  "       TIM1*  0x00000000    0x00000000   0x00004000  0x00014   TIM 8.18.1.0\n"
                  "       TIM2!  0x00000000    0x00000000   0x00005000  0x00014   TIM 8.18.2.0\n"
                  "   NVM_CFG1   0x00000000    0x00000000   0x00006000  0x01094      N/A\n"
                  " CRASH_DUMP   0x00000000    0x00000000   0x00008000  0x00008      N/A\n"
                  "--------------\n* Running Image\n! Pending till reboot\n");
}

TEST(E4Commands, DirListingWithoutRunningFirmwareMarksNoBank)
{
    Adapter ad;
    ad.with(1, with_crc(text_image("TIM 8.18.1.0"))).start(2);
    EXPECT_EQ(fwupg::nvm::e4::dir_listing(), 0);
    const std::string dashes(78, '-');
    EXPECT_EQ(take_debug_text(),
              "Failed to get_running_mfw!\n" + dashes +
                  "\n       Image   SRAM Addr  SRAM Run Addr  NVM Offset  Byte Cnt   Version\n" + dashes +
                  "\n"
                  "       DIR1*  0x00000011    0x00000022   0x00002000  0x00038      N/A\n"  // the copy in force
                  "       TIM1   0x00000000    0x00000000   0x00004000  0x00014   TIM 8.18.1.0\n"
                  "--------------\n* Running Image\n");
}

TEST(E4Commands, CrcListsEveryImageAndFixesOne)
{
    Adapter ad;
    const Bytes tim_data = text_image("TIM 8.18.1.0"), mim_data = text_image("MIM 8.18.1.0");
    Bytes tim = with_crc(tim_data);
    Bytes bad = with_crc(mim_data);
    bad[0] ^= 1;
    ad.with(1, tim).with(3, bad).with(27, Bytes(12, 0x5A)).start();
    const auto crc_of = [](const Bytes& b) { return dir_crc(b.data(), uint32_t(b.size())); };
    const uint32_t tim_crc = crc_of(tim_data), mim_crc = crc_of(mim_data);
    Bytes bad_data(bad.begin(), bad.end() - 4);
    const uint32_t bad_crc = crc_of(bad_data);
    // The directory copy itself is an image too: DIR1's entry covers it (four entries) and its CRC.
    const Bytes dir_bytes(ad.a.nvram.begin() + 0x2000, ad.a.nvram.begin() + 0x2000 + 12 + 20 * 4);
    const uint32_t dir_crc_word = crc_of(dir_bytes);
    auto line = [](const char* name, uint32_t at, uint32_t length, uint32_t content, uint32_t computed,
                   const char* result) {
        char text[128];
        std::snprintf(text, sizeof text, "%11s    0x%08X   0x%08X     0x%08X     0x%08x      %s\n", name, at, length,
                      content, computed, result);
        return std::string(text);
    };
    EXPECT_EQ(ad.crc({"crc"}), 1);
    EXPECT_EQ(take_debug_text(),
              "       Image        start       Length         Content      Computed      Result\n" +
                  std::string(82, '-') + "\n" + line("DIR1", 0x2000, 0x60, dir_crc_word, dir_crc_word, "OK") +
                  line("TIM1", 0x4000, 0x14, tim_crc, tim_crc, "OK") +
                  line("MIM1", 0x5000, 0x14, mim_crc, bad_crc, "Mismatch") +
                  line("CRASH_DUMP", 0x6000, 0xC, 0, 0, "N/A") + "\nCRC mismatch found!!!.\n\n");

    char text[64];
    EXPECT_EQ(ad.crc({"crc", "MIM1"}), 1);
    std::snprintf(text, sizeof text, "Mismatch 0x%x 0x%x\n", mim_crc, bad_crc);
    EXPECT_EQ(take_debug_text(), text);
    EXPECT_EQ(ad.crc({"crc", "-fix", "MIM1"}), 0);
    std::snprintf(text, sizeof text, "Fixed 0x%x instead of 0x%x\n", bad_crc, mim_crc);
    EXPECT_EQ(take_debug_text(), text);
    EXPECT_EQ(ad.crc({"crc", "MIM1"}), 0);
    std::snprintf(text, sizeof text, "OK 0x%x\n", bad_crc);
    EXPECT_EQ(take_debug_text(), text);
    EXPECT_EQ(ad.crc({"crc", "-no_print"}), 0);
    EXPECT_EQ(take_debug_text(), "\nCRC check passed successfully.\n\n");
}

TEST(E4Commands, CrcRefusals)
{
    Adapter ad;
    ad.with(1, with_crc(text_image("TIM 8.18.1.0"))).start();
    struct Case {
        std::vector<std::string> words;
        const char* log;
    } cases[] = {
        {{"crc", "-fox", "TIM1"}, "param can only be '-fix'\n"},
        {{"crc", "LIM"}, "couldn't find image named LIM\n"},
        {{"crc", "tim1"}, "couldn't find image named tim1\n"},
        {{"crc", "-fix", "TIM1", "x"}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ad.crc(c.words), -1) << c.words[1];
        EXPECT_EQ(take_debug_text(), c.log);
    }
    EXPECT_NE(ad.result().find("[[specicif image] [-fix]]"), std::string::npos);
}

TEST(E4Commands, UpgradeLinesAndFiles)
{
    TempDir tmp;
    const std::string image = tmp / "optm.bin";
    write_file(image, Bytes(10, 7));
    Adapter ad;
    Bytes cfg(4240, 0);
    put_le32(cfg, 124, 0x00080102);
    ad.with(10, with_crc(cfg)).start();
    using fwupg::nvm::e4::upgrade_cmd;

    EXPECT_EQ(ad.run(upgrade_cmd, {"_upgrade", image}), -1);
    EXPECT_EQ(ad.result().rfind("[-F] -<image_type> <filename>\nimage_type: -mfw, -mbi, -tim1", 0), 0u);
    EXPECT_EQ(ad.a.last_errors, std::vector<uint32_t>{2});
    EXPECT_EQ(ad.run(upgrade_cmd, {"_upgrade", "-F", image}), -1);
    EXPECT_EQ(ad.run(upgrade_cmd, {"_upgrade", "-nosuch", image}), -1);
    EXPECT_EQ(ad.run(upgrade_cmd, {"_upgrade", "-optm", (tmp / "missing.bin")}), -1);
    EXPECT_EQ(take_debug_text(), "Couldn't find file named " + (tmp / "missing.bin") + "\n");
    ad.a.reset_counters();
    ad.a.writes.clear();
    EXPECT_EQ(ad.run(upgrade_cmd, {"_upgrade", "-mbi", image}), 0);
    EXPECT_TRUE(ad.a.writes.empty());

    // One image: header and data at offset 0, then NVM_CFG1 with the MBI version cleared.
    EXPECT_EQ(ad.run(upgrade_cmd, {"_upgrade", "-optm", image}), 0);
    ASSERT_EQ(ad.a.writes.size(), 4u);
    for (const auto& w : ad.a.writes)
        EXPECT_EQ(w.first, 0u);
    EXPECT_EQ(ad.a.writes[1].second, 12u);
    EXPECT_EQ(ad.a.writes[3].second, 4240u);
    EXPECT_EQ(ad.a.nvram[124], 0);  // the last write at offset 0 was NVM_CFG1
    EXPECT_NE(take_debug_text().find("\r\nUpgrading OPT_MODULES is success\r\n"), std::string::npos);

    // A bundle that is not one fails, and says so.
    EXPECT_EQ(ad.run(upgrade_cmd, {"_upgrade", "-mfw", image}), -1);
    EXPECT_NE(take_debug_text().find("\r\nUpgrading MFW failed\r\n"), std::string::npos);
    EXPECT_EQ(ad.a.last_errors, std::vector<uint32_t>{70});
}

TEST(E4Vpd, FieldsAreReadAndAFieldIsAdded)
{
    Bytes vpd = concat({le_words({1}), Bytes{0x82, 4, 0, 'T', 'e', 's', 't', 0x90, 12, 0, 'P', 'N', 3, 'A', 'B', 'C',
                                             'R', 'V', 2, 0, 0, 0x78}});
    Adapter ad;
    ad.with(7, with_crc(vpd)).start();
    vpd_field_table table;
    ASSERT_EQ(get_vpd_info_from_image(&table), 0);
    EXPECT_EQ(std::string(table.product_name, table.name_length), "Test");
    ASSERT_EQ(table.count, 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(table.fields[0].data), table.fields[0].length), "ABC");

    ad.a.writes.clear();
    EXPECT_EQ(common_nvm_e4_set_vpd_field("V9", "8.1.2"), 0);
    ASSERT_EQ(ad.a.writes.size(), 2u);
    // The image written last at offset 0 is the new VPD image; it reads back with both fields.
    const uint32_t len = ad.a.writes[1].second;
    ASSERT_EQ(fwupg::nvm::vpd_table_from_image(ad.a.nvram.data(), len, &table, nullptr), 0);
    EXPECT_EQ(table.count, 2u);
    EXPECT_STREQ(reinterpret_cast<const char*>(table.fields[1].data), "8.1.2");
    EXPECT_EQ(ad.a.nvram[0], 1);  // header word 1

    Adapter none;
    none.start();
    EXPECT_EQ(get_vpd_info_from_image(&table), -1);
    EXPECT_EQ(take_debug_text(), "get_vpd_info_from_image(): VPD image does not exist!!\r\n");
}

}  // namespace

namespace {

// The engine's command procedures take the E4 branch on an E4 chip.
TEST(E4Commands, CommandProceduresTakeTheE4Branch)
{
    Adapter ad;
    ad.with(1, with_crc(text_image("TIM 8.18.1.0"))).start();
    EXPECT_EQ(ad.a.run_command(
                  [](HostOps h, Tcl_Interp* i, int c, Tcl_Obj* const v[]) {
                      h.chipId = uint32_t(0x1656) << 16;
                      return tcl_al_nvm_upgrade_cmd(h, i, c, v);
                  },
                  "_upgrade", {"-optm", "/nonexistent/file"}),
              -1);
    EXPECT_EQ(take_debug_text(), "Couldn't find file named /nonexistent/file\n");
    EXPECT_EQ(ad.run([](Tcl_Interp* i, int c, Tcl_Obj* const v[]) { return tcl_al_nvm_crc_cmd(nullptr, i, c, v); },
                     {"crc", "-no_print"}),
              TCL_OK);
    EXPECT_EQ(take_debug_text(), "\nCRC check passed successfully.\n\n");
    EXPECT_EQ(ad.run([](Tcl_Interp* i, int c, Tcl_Obj* const v[]) { return tcl_al_nvm_dir_cmd(nullptr, i, c, v); },
                     {"dir"}),
              TCL_OK);
    EXPECT_NE(take_debug_text().find("       TIM1   0x"), std::string::npos);
    for (const std::vector<std::string>& words : {std::vector<std::string>{"dir", "TIM1"}, {"dir", "-delete", "TIM1"}}) {
        SCOPED_TRACE(words.back());
        EXPECT_EQ(ad.run([](Tcl_Interp* i, int c, Tcl_Obj* const v[]) { return tcl_al_nvm_dir_cmd(nullptr, i, c, v); },
                         words),
                  TCL_ERROR);
        EXPECT_EQ(ad.result(),
                  "nvm dir on E4 lists the whole directory only; an entry is not shown or deleted by name.");
    }
}

}  // namespace
