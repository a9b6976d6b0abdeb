// The E4 full CRC check on the test kit's E4 NVRAM: each directory self entry is checked against
// the copy it names, with that copy's own entry count, and a copy not in use has no CRC to check.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fwupg/nvm/commands/commands.h"
#include "kit_e4_board.h"

namespace {

using namespace fwupg::nvm::test;
namespace e4 = testkit::e4;

TEST(E4CrcCheck, DirectorySelfEntriesAreCheckedAgainstTheirOwnCopy)
{
    struct Case {
        const char* what;
        void (*change)(KitE4Board&);
        int rc;
        const char* dir2;  // the result column of the DIR2 line
    } cases[] = {
        {"copy 1 erased",
         [](KitE4Board& b) {
             std::fill(b.adapter.nvram.begin() + 0x3000, b.adapter.nvram.begin() + 0x4000, uint8_t(0xFF));
         },
         TCL_OK, "N/A"},
        {"copy 1 older", [](KitE4Board&) {}, TCL_OK, "OK"},
        {"copy 1 older, with one entry fewer",
         [](KitE4Board& b) {
             std::vector<e4::Entry> fewer(b.built.entries.begin(), b.built.entries.end() - 1);
             e4::write_dir_copy(b.adapter.nvram, 1, 1, fewer);
         },
         TCL_OK, "OK"},
        {"copy 1 older, its CRC damaged",
         [](KitE4Board& b) {
             e4::write_dir_copy(b.adapter.nvram, 1, 1, b.built.entries);
             b.adapter.nvram[0x3000 + e4::dir_bytes(uint32_t(b.built.entries.size())) - 1] ^= 1;
         },
         TCL_ERROR, "Mismatch"},
        {"an image CRC damaged",
         [](KitE4Board& b) {
             const e4::Entry& last = b.built.entries.back();
             b.adapter.nvram[last.offset + last.length - 1] ^= 1;
         },
         TCL_ERROR, "OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e4::NvramDef desc = e4::stock_nvram({});
        desc.other = e4::SecondCopy::Older;  // both copies written, so DIR2 is listed
        KitE4Board b(desc);
        c.change(b);
        take_debug_text();
        EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc"), c.rc);
        const std::string text = take_debug_text();
        const size_t line = text.find("       DIR2");
        ASSERT_NE(line, std::string::npos) << text;
        const std::string dir2 = text.substr(line, text.find('\n', line) - line);
        EXPECT_EQ(dir2.substr(dir2.find_last_of(' ') + 1), c.dir2) << dir2;
    }
}

}  // namespace
