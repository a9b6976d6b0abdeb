// nvm help, read, show, write and fill through their command procedures.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/nvm_legacy/commands.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

namespace {
adapter plain()
{
    adapter a;
    a.nvm_size = 0x4000;
    return a;
}
}  // namespace

TEST(NvmHelp, PageZeroOnlyAndBufferBounded)
{
    char buf[8192];
    uint32_t len = 0;
    ASSERT_EQ(0u, toe_nvm_help_cmd(buf, sizeof buf, 0, &len));
    EXPECT_EQ(std::strlen(buf), len);
    EXPECT_EQ(0, std::strncmp(buf, "nvm             Access non-volatile memory.\n\nUsage: nvm read", 60));
    EXPECT_NE(nullptr, std::strstr(buf, "<image_type> : -bc, -ipmi, -ump, -ncsi -mba [-p [-n <value>]] [-d], -rxp, "
                                        "-ib|-ib_ipv6|-ib_ipv4n6 [-c|-p|-cp], -ccm\n"));
    EXPECT_NE(nullptr, std::strstr(buf, "         nvm crc -fix bc1\n"));

    char small[32];
    ASSERT_EQ(0u, toe_nvm_help_cmd(small, sizeof small, 0, &len));
    EXPECT_EQ(31u, len);
    EXPECT_EQ('\0', small[31]);

    char untouched[4] = {'x', 'x', 'x', 'x'};
    len = 77;
    EXPECT_EQ(0xFFFFFFFFu, toe_nvm_help_cmd(untouched, sizeof untouched, 1, &len));
    EXPECT_EQ('x', untouched[0]);
    EXPECT_EQ(77u, len);
}

TEST(NvmRead, DwordAndByteList)
{
    FakeHost host(plain());
    put_be32(host.nvram, 4, 0x80A0B0C0);
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_read_cmd, {"read", "6"}));
    EXPECT_EQ(std::to_string(int32_t(0x80A0B0C0)), host.result());
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_read_cmd, {"read", "5", "3"}));
    EXPECT_EQ("5: 160 176 192", host.result());
    EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_read_cmd, {"read"}));
    EXPECT_NE(std::string::npos, host.result().find("addr ?nbytes?"));

    // A read that fails inside the list is an error, never a list of undefined bytes.
    host.fail_read_at = 8;
    EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_read_cmd, {"read", "4", "8"}));
    EXPECT_EQ("Bad device or address", host.result());
    EXPECT_EQ(4u, host.last_error);
}

TEST(NvmWrite, ValueAndByteListsRoundTrip)
{
    FakeHost host(plain());
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_write_cmd, {"write", "0", "0x11223344"}));
    EXPECT_EQ(0x11223344u, host.be32(0));

    for (int i = 0; i < 8; ++i)
        host.nvram[0x40 + i] = uint8_t(0xA0 + i);
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_write_cmd, {"write", "0x42", "0x11 0x22 0x33"}));
    EXPECT_EQ((bytes{0xA0, 0xA1, 0x11, 0x22, 0x33, 0xA5, 0xA6, 0xA7}),
              bytes(host.nvram.begin() + 0x40, host.nvram.begin() + 0x48));
    EXPECT_EQ("1", host.result());

    ASSERT_EQ(TCL_OK, host.run(toe_nvm_write_cmd, {"write", "0x80", "0: 1 2 3 4"}));
    EXPECT_EQ(0x01020304u, host.be32(0x80));

    // The list "nvm read" returns writes back unchanged.
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_read_cmd, {"read", "0x41", "6"}));
    const std::string list = host.result();
    for (int i = 0; i < 8; ++i)
        host.nvram[0x40 + i] = 0;
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_write_cmd, {"write", "0x41", list}));
    EXPECT_EQ((bytes{0, 0xA1, 0x11, 0x22, 0x33, 0xA5, 0xA6, 0}),
              bytes(host.nvram.begin() + 0x40, host.nvram.begin() + 0x48));

    struct {
        std::vector<std::string> words;
        uint32_t error;
    } bad[] = {
        {{"write", "0"}, 2},
        {{"write", "zero", "1"}, 18},
        {{"write", "0", "notanumber"}, 18},
    };
    for (auto& b : bad) {
        host.last_error = 0;
        EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_write_cmd, b.words));
        EXPECT_EQ(b.error, host.last_error);
    }
    host.fail_read_at = 0x100;
    host.last_error = 0;
    EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_write_cmd, {"write", "0x100", "1 2"}));
    EXPECT_EQ("Bad device or address", host.result());
    EXPECT_EQ(4u, host.last_error);
}

TEST(NvmShow, ContinuesAndLimits)
{
    FakeHost host(plain());
    Tcl_SetVar2(host.interp, "::sys", "DISP_BYTE", "1", TCL_GLOBAL_ONLY);
    for (int i = 0; i < 16; ++i)
        host.nvram[i] = uint8_t('a' + i);
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_show_cmd, {"show"}));   // right after start: 4 bytes from 4
    EXPECT_EQ("00000000: .. .. .. ..  65 66 67 68 " + std::string(26, ' ') + " " + "    efgh\n",
              fwupg::nvm::test::take_debug_text());
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_show_cmd, {"show"}));
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("ijkl"));

    ASSERT_EQ(TCL_OK, host.run(toe_nvm_show_cmd, {"show", "0", "10000"}));
    const std::string text = fwupg::nvm::test::take_debug_text();
    EXPECT_EQ(0u, text.find("Bytecount exceeded, only 0xcc0 bytes will be displayed\n"));
    EXPECT_NE(std::string::npos, text.find("00000cb0:"));
    EXPECT_EQ(std::string::npos, text.find("00000cc0:"));

    EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_show_cmd, {"show", "1", "2", "3"}));
    EXPECT_EQ(2u, host.last_error);
    host.fail_read_at = 0x3000;
    EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_show_cmd, {"show", "0x3000", "4"}));
    EXPECT_EQ("Bad device or address", host.result());
}

TEST(NvmFill, PatternsAndErrors)
{
    FakeHost host(plain());
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_fill_cmd, {"fill", "0x1006", "5", "inc"}));
    EXPECT_EQ("done", host.result());
    EXPECT_EQ(0u, host.be32(0x1004));
    EXPECT_EQ(1u, host.be32(0x1008));
    EXPECT_EQ(0xFFFFFFFFu, host.be32(0x100C));

    ASSERT_EQ(TCL_OK, host.run(toe_nvm_fill_cmd, {"fill", "0x1100", "8", "addr"}));
    EXPECT_EQ(0x1104u, host.be32(0x1104));
    ASSERT_EQ(TCL_OK, host.run(toe_nvm_fill_cmd, {"fill", "0x1200", "4", "0xfeed"}));
    EXPECT_EQ(0xFEEDu, host.be32(0x1200));

    struct {
        std::vector<std::string> words;
        const char* text;
    } bad[] = {
        {{"fill", "x", "4", "1"}, ": Bad address"},
        {{"fill", "0", "y", "1"}, ": Bad byte_cnt"},
        {{"fill", "0", "4", "zz"}, ": Bad value or pattern"},
    };
    const std::vector<uint8_t> before = host.nvram;
    for (auto& b : bad) {
        EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_fill_cmd, b.words));
        EXPECT_EQ(b.text, host.result());
    }
    host.fail_write_at = 0x2000;
    EXPECT_EQ(TCL_ERROR, host.run(toe_nvm_fill_cmd, {"fill", "0x2000", "4", "1"}));
    EXPECT_EQ("NVM write failed.Fill fails", host.result());
    EXPECT_EQ(before, host.nvram);
}
