#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fwupg/nvm/base/console.h"

using namespace fwupg::nvm::test;

namespace {

TEST(DumpBytes, PartialLineStartsWithPlaceholdersAndPads)
{
    const uint8_t data[4] = {'A', 0x00, '%', 'z'};
    dump_bytes(data, 0x102, 4);
    std::string want = "00000100:";
    want += " .. ..";
    want += "41 00 ";
    want += " 25 7a ";
    want += std::string(32, ' ');
    want += " ";
    want += "  ";
    want += "A.%z\n";
    EXPECT_EQ(take_debug_text(), want);
}

TEST(DumpBytes, WholeLinesAndARaggedEnd)
{
    std::vector<uint8_t> data(20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(0x30 + i);
    dump_bytes(data.data(), 0x10, 20);
    const std::string want =
        "00000010: 30 31 32 33  34 35 36 37  38 39 3a 3b  3c 3d 3e 3f  0123456789:;<=>?\n"
        "00000020: 40 41 42 43 " + std::string(39, ' ') + " @ABC\n";
    EXPECT_EQ(take_debug_text(), want);
}

TEST(DumpBytes, LongDumpsArriveWhole)
{
    std::vector<uint8_t> data(4096, 0x41);
    dump_bytes(data.data(), 0, uint32_t(data.size()));
    std::string want;
    for (unsigned line = 0; line < 256; ++line) {
        char address[16];
        std::snprintf(address, sizeof address, "%08x:", line * 16);
        want += std::string(address) + " 41 41 41 41  41 41 41 41  41 41 41 41  41 41 41 41  AAAAAAAAAAAAAAAA\n";
    }
    EXPECT_EQ(take_debug_text(), want);
}

TEST(PrintSeverity, PrintsTheTextAsDataWhateverTheSeverity)
{
    print_severity("Can't read 100% of MBI version from nvm", 1);
    std::string one = take_debug_text();
    print_severity("Can't read 100% of MBI version from nvm", 3);
    EXPECT_EQ(take_debug_text(), one);
    EXPECT_EQ(one, "Can't read 100% of MBI version from nvm\n");
    EXPECT_EQ(severity_colour(1), 12);
    EXPECT_EQ(severity_colour(6), 11);
    EXPECT_EQ(severity_colour(3), 7);
}

TEST(StrCase, ConvertsInPlace)
{
    char t[] = "Ab-\xe9z";
    str_to_upper(t);
    EXPECT_STREQ(t, "AB-\xe9Z");
    str_to_lower(t);
    EXPECT_STREQ(t, "ab-\xe9z");
}

}  // namespace
