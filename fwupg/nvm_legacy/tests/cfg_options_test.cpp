// The configuration option editor: per-board rules of the setter, where options are offered, the
// menus byte for byte with their paging fed from a scripted standard input, and the dump of the
// options over the kit's boards, read back through its own command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "fake_host.h"
#include "fwupg/nvm_legacy/cfg_options.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

namespace {

struct board_setup {
    int board;
    const char* phy;
    const char* vaux = "0";
    const char* chip_rev = "B1";
};

struct session {
    FakeHost host;
    HostOps ops;
    explicit session(const board_setup& b) : host(make(b.board)), ops(host.ops())
    {
        host.set_toe("PHY_TYPE", b.phy);
        host.set_toe("VAUX_PRESET", b.vaux);
        host.set_toe("CHIP_REV", b.chip_rev);
    }
    static adapter make(int board)
    {
        adapter a;
        a.board = board;
        return a;
    }
};

// A label as the menu prints it: its last line padded to `width`, then ": ".
std::string pad(const std::string& text, size_t width = 52)
{
    const size_t last = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
    std::string s = text;
    if (s.size() - last < width)
        s.append(width - (s.size() - last), ' ');
    return s + ": ";
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(CfgOptions, SetterRules)
{
    static const std::string n48(48, 'n');
    struct {
        board_setup b;
        int option;
        const char* value;
        void (*prepare)(toe_cfg_record&);
        int rc;
        const char* shown;    // after the call; null: not checked
        const char* raw;
        const char* message;
    } cases[] = {
        {{5706, "COPPER"}, 13, "9", nullptr, 1, "MacMode", "0", ""},
        {{5709, "COPPER"}, 13, "9", nullptr, 0, "PhyMode7", "9", ""},
        {{5706, "COPPER"}, 14, "0", [](toe_cfg_record& r) { r.f14 = 1, r.f36 = 1, r.f48 = 1; }, 1, "LOM", "1",
         "Disable option 36 first. Disable option 48 first. Aborted. "},
        {{5706, "COPPER"}, 14, "0", [](toe_cfg_record& r) { r.f14 = 1, r.f48 = 1; }, 1, "LOM", "1",
         "Disable option 48 first. Aborted. "},
        {{5706, "COPPER"}, 14, "2", nullptr, 1, "NIC", "0", ""},
        {{5706, "COPPER"}, 44, "0x3", nullptr, 1, "0x00", "0x00", ""},
        {{5706, "COPPER"}, 44, "0x40", nullptr, 0, "0x40", "0x40", ""},
        {{5706, "COPPER"}, 44, "40", nullptr, 1, "0x00", "0x00", ""},
        {{5706, "COPPER"}, 44, "0x100", nullptr, 0, "0x10", "0x10", ""},
        {{5706, "COPPER"}, 49, "19", nullptr, 0, "AN w/Forced_1G", "19", ""},
        {{5706, "COPPER"}, 49, "2", nullptr, 1, "Autoneg", "0", ""},
        {{5706, "COPPER"}, 49, "20", nullptr, 0, "AN w/Forced_2.5G", "20", ""},
        {{5709, "COPPER"}, 67, "0x200000", nullptr, 1, "0x000000", "0x000000", ""},
        {{5709, "COPPER"}, 67, "0x1FFFFF", nullptr, 0, "0x1FFFFF", "0x1FFFFF", ""},
        {{5709, "COPPER"}, 8, n48.c_str(), nullptr, 1, "", "\"\"", ""},
        {{5709, "COPPER"}, 9, "ABCDEFGHIJKLMNOPQRST", nullptr, 0, "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP", ""},
        {{5709, "COPPER"}, 12, "14e4xyz", nullptr, 0, "14e4", "14e4", ""},
        {{5709, "COPPER"}, 58, "\"\"", [](toe_cfg_record& r) { std::strcpy(r.vpd.v0, "V0"); }, 0, "", "\"\"", ""},
        {{5709, "COPPER"}, 58, "{}", [](toe_cfg_record& r) { std::strcpy(r.vpd.v0, "V0"); }, 0, "", "\"\"", ""},
        {{5709, "COPPER"}, 58, "a\"b", nullptr, 0, "a\"b", "a\"b", ""},
        {{5709, "COPPER"}, 23, "5", [](toe_cfg_record& r) { r.f23 = 5; }, 1, "Unknown(5)", "5", ""},
        {{5709, "COPPER"}, 23, "7", nullptr, 0, "None", "7", ""},
        {{5709, "COPPER"}, 79, "2", nullptr, 0, "3_5dB", "2", ""},
        {{5709, "COPPER"}, 79, "4", nullptr, 1, "HW", "0", ""},
        {{5709, "SERDES"}, 22, "8", nullptr, 1, "Auto", "0", ""},
        {{5709, "SERDES"}, 22, "8", [](toe_cfg_record& r) { r.f40 = 1; }, 0, "2.5GFD", "8", ""},
        {{5709, "SERDES"}, 22, "3", nullptr, 1, "Auto", "0", ""},
        {{5709, "SERDES"}, 22, "6", nullptr, 0, "1000FD", "6", ""},
        {{5709, "COPPER"}, 22, "8", nullptr, 1, "Auto", "0", ""},
        {{5709, "COPPER"}, 22, "5", nullptr, 0, "1000HD", "5", ""},
        {{5706, "COPPER", "0"}, 17, "1", nullptr, 1, "Disabled", "0", ""},
        {{5706, "COPPER", "1"}, 17, "1", nullptr, 0, "Enabled", "1", ""},
        {{5706, "SERDES", "1"}, 17, "1", nullptr, 1, "Disabled", "0", ""},
        {{5706, "SERDES", "1"}, 17, "1", [](toe_cfg_record& r) { r.f14 = 1; }, 0, "Enabled", "1", ""},
        {{5706, "COPPER"}, 36, "1", nullptr, 1, "Disabled", "0", "Set option 14 to LOM first, aborted. "},
        {{5706, "COPPER"}, 48, "1", [](toe_cfg_record& r) { r.f14 = 1; }, 0, "Enabled", "1", ""},
        {{5716, "COPPER"}, 33, "00:10:18:00:00:01", nullptr, 1, "N/A for 5716", "N/A for 5716", "N/A for 5716"},
        {{5709, "COPPER"}, 33, "00:10:18:00:00:01", nullptr, 0, "00:10:18:00:00:01", "00:10:18:00:00:01", ""},
        {{5709, "COPPER"}, 1, "00:10:18", nullptr, 1, "00:00:00:00:00:00", "00:00:00:00:00:00", ""},
        {{5706, "COPPER"}, 2, "10:0:0:100", nullptr, 0, "10:0:0:100", "10:0:0:100", ""},
        {{5706, "COPPER"}, 2, "10:0:0", nullptr, 1, "0:0:0:0", "0:0:0:0", ""},
        {{5706, "COPPER"}, 4, "12345", nullptr, 0, "1234", "1234", ""},
        {{5706, "COPPER"}, 4, "zz", nullptr, 1, "0000", "0000", ""},
        {{5706, "COPPER"}, 35, "0x12345", nullptr, 0, "9029", "9029", ""},
        {{5706, "COPPER"}, 35, "abc", [](toe_cfg_record& r) { r.f35 = 7; }, 0, "7", "7", ""},
        {{5709, "COPPER"}, 62, "1", nullptr, 1, "None", "0", ""},
        {{5709, "COPPER"}, 62, "2", nullptr, 0, "Func1", "2", ""},
        {{5709, "COPPER"}, 65, "4", [](toe_cfg_record& r) { r.f65 = 4; }, 1, "Unknown(4)", "4", ""},
        {{5709, "COPPER"}, 63, "6", nullptr, 0, "NCSI(0)/UMP(1)", "6", ""},
        {{5708, "COPPER"}, 38, "0", nullptr, 0, "Disabled", "0", ""},
        {{5708, "COPPER"}, 53, "DEADBEEF", nullptr, 0, "DEADBEEF", "DEADBEEF", ""},
        {{5706, "COPPER"}, 25, "-1", nullptr, 1, "0", "0", ""},
        {{5706, "COPPER"}, 25, "4294967299", nullptr, 1, "0", "0", ""},
        {{5706, "COPPER"}, 25, "12abc", nullptr, 0, "12", "12", ""},
        {{5706, "COPPER"}, 15, "1", nullptr, 1, "Copper", "0", ""},
    };
    for (const auto& c : cases) {
        session s(c.b);
        toe_cfg_record rec{};
        if (c.prepare)
            c.prepare(rec);
        std::string message = "stale";
        const std::string what = std::to_string(c.b.board) + " " + c.b.phy + " " + std::to_string(c.option) + "=" + c.value;
        EXPECT_EQ(c.rc, toe_cfg_option_set(s.ops, &rec, c.option, c.value, &message)) << what;
        EXPECT_EQ(c.message, message) << what;
        EXPECT_STREQ(c.shown, toe_cfg_option_text(s.ops, &rec, c.option, false)) << what;
        EXPECT_STREQ(c.raw, toe_cfg_option_text(s.ops, &rec, c.option, true)) << what;
    }
}

TEST(CfgOptions, StoredValues)
{
    session s({5709, "COPPER"});
    toe_cfg_record rec{};
    EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, 79, "2", nullptr));
    EXPECT_EQ(0xA0000000u, rec.f79);
    EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, 44, "0x40", nullptr));
    EXPECT_EQ(64, rec.f44);
    EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, 2, "10:1:2:100", nullptr));
    EXPECT_EQ(100, rec.f2[0]) << "D0 is the last number";
    EXPECT_EQ(10, rec.f2[3]);
    EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, 8, std::string(47, 'n').c_str(), nullptr));
    EXPECT_EQ(std::string(47, 'n'), rec.vpd.product_name);
    EXPECT_EQ(nullptr, toe_cfg_option_text(s.ops, &rec, 31, false));
    EXPECT_EQ(nullptr, toe_cfg_option_text(s.ops, &rec, 82, false));
    EXPECT_EQ(nullptr, toe_cfg_option_text(s.ops, &rec, 0, true));
    EXPECT_STREQ("Magic", (rec.f19 = 1, toe_cfg_option_text(s.ops, &rec, 19, false))) << "hidden but shown";

    // Every default passes its own checks.
    for (int n = 1; n < TOE_CFG_OPTIONS; ++n) {
        if (toe_cfg_option_offered(s.ops, n, true, nullptr)) {
            EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, n, g_toe_cfg_defaults[n], nullptr)) << n;
        }
    }
    EXPECT_STREQ("Zorevuvi KV9 Ethernet Controller", rec.vpd.product_name);
    EXPECT_EQ(3, rec.f16);
    EXPECT_EQ(5, rec.f25);
    EXPECT_EQ(1, rec.f13);
    EXPECT_EQ(0x164A, rec.f5);
    EXPECT_EQ(0x0A, rec.f3[3]);
    EXPECT_STREQ("0", rec.vpd.v0);
}

TEST(CfgOptions, WhereOffered)
{
    struct {
        board_setup b;
        int option;
        bool interactive;
        bool offered;
    } cases[] = {
        {{57728, "SERDES"}, 41, true, false}, {{57728, "SERDES"}, 46, true, false},
        {{57728, "SERDES"}, 59, true, false}, {{5706, "COPPER"}, 59, true, true},
        {{5709, "SERDES"}, 41, true, true},   {{5709, "COPPER"}, 41, true, false},
        {{5708, "COPPER", "0", "A0"}, 42, true, false}, {{5708, "COPPER", "0", "B1"}, 42, true, true},
        {{5706, "COPPER"}, 42, true, false},  {{5708, "COPPER", "0", "A0"}, 43, true, false},
        {{5708, "COPPER", "0", "A1"}, 57, true, true},   // device index 0
        {{5709, "COPPER"}, 57, true, false},  {{5706, "COPPER"}, 1, true, true},
        {{5706, "COPPER"}, 1, false, false},  {{5706, "COPPER"}, 77, false, false},
        {{5706, "COPPER"}, 33, false, false}, {{5716, "COPPER"}, 33, true, false},
        {{5716, "FIBER"}, 60, true, true},    {{5716, "SERDES"}, 60, true, false},
        {{5708, "SERDES"}, 60, true, true},   {{5706, "SERDES"}, 60, true, false},
        {{5708, "SERDES"}, 50, true, true},   {{5708, "FIBER"}, 50, true, false},
        {{5709, "COPPER"}, 75, true, true},   {{57728, "COPPER"}, 75, true, false},
        {{5709, "COPPER"}, 81, true, false},  {{5706, "COPPER"}, 15, true, false},
        {{5706, "COPPER"}, 0, true, false},   {{5706, "COPPER"}, 82, true, false},
    };
    for (const auto& c : cases) {
        session s(c.b);
        EXPECT_EQ(c.offered, toe_cfg_option_offered(s.ops, c.option, c.interactive, nullptr))
            << c.b.board << " " << c.b.phy << " " << c.b.chip_rev << " option " << c.option;
    }
    session keep({5709, "COPPER"});
    keep.host.set_toe("SVID", "0x1137");
    EXPECT_TRUE(toe_cfg_option_offered(keep.ops, 81, true, nullptr));
    Tcl_UnsetVar2(keep.host.interp, "::toe", "DEV", TCL_GLOBAL_ONLY);
    EXPECT_FALSE(toe_cfg_option_offered(keep.ops, 81, true, nullptr));
    toe_cfg_record rec{};
    EXPECT_EQ(1, toe_cfg_option_set(keep.ops, &rec, 25, "3", nullptr));
}

namespace {

toe_cfg_record menu_record()
{
    toe_cfg_record r{};
    const uint8_t mac[6] = {0x00, 0x10, 0x18, 0x01, 0x02, 0x03};
    std::memcpy(r.f1, mac, 6);
    const uint8_t dissipated[4] = {100, 0, 0, 10}, consumed[4] = {24, 0, 0, 4};
    std::memcpy(r.f2, dissipated, 4);
    std::memcpy(r.f3, consumed, 4);
    r.f4 = r.f6 = 0x14E4;
    r.f5 = r.f7 = 0x164A;
    std::strcpy(r.vpd.product_name, "Test Adapter");
    std::strcpy(r.vpd.pn, "PN-1");
    std::strcpy(r.vpd.ec, "EC-1");
    std::strcpy(r.vpd.sn, "SN-0001");
    std::strcpy(r.vpd.mn, "14e4");
    r.f13 = 2;
    r.f14 = 1;
    r.f16 = 3;
    r.f18 = 6;
    return r;
}

std::string menu(session& s, const toe_cfg_record& rec, const std::string& keys)
{
    ScriptedStdin in(keys);
    fwupg::HostOpsScope scope(&s.ops);
    fwupg::nvm::test::take_debug_text();
    toe_cfg_menu(s.ops, &rec);
    return fwupg::nvm::test::take_debug_text();
}

const char* const PAUSE = "Press 'q' for choices, or any key to continue... (paused)\n";
const char* const CHOICE = "Choice (<option>=<value>, default, save, dump <file>, cancel): ";

}  // namespace

// The first page of a 5706's menu: 17 options make 19 lines (two labels break), so the pause
// follows option 18; 'q' ends the list.
TEST(CfgMenu, FirstPageAndQuit)
{
    session s({5706, "COPPER"});
    const std::string expected =
        " 1: " + pad("[P] MAC Address") + "00:10:18:01:02:03\n" +
        " 2: " + pad("[P] NIC Power Dissipated (D3:D2:D1:D0)") + "10:0:0:100\n" +
        " 3: " + pad("[P] NIC Power Consumed (D3:D2:D1:D0)") + "4:0:0:24\n" +
        " 4: " + pad("[P] Vendor ID") + "14E4\n" +
        " 5: " + pad("[P] Vendor Device ID") + "164A\n" +
        " 6: " + pad("[P] Subsystem Vendor ID") + "14E4\n" +
        " 7: " + pad("[P] Subsystem Device ID") + "164A\n" +
        " 8: " + pad("[S] Product Name") + "Test Adapter\n" +
        " 9: " + pad("[S] Part Number") + "PN-1\n" +
        "10: " + pad("[S] Engineering Change") + "EC-1\n" +
        "11: " + pad("[S] Serial Number") + "SN-0001\n" +
        "12: " + pad("[S] Manufacturing ID") + "14e4\n" +
        "13: " + pad("[P] Led Mode { MacMode(0), PhyMode1(1), \n        PhyMode2(2),..., PhyMode7(7) }", 56) +
        "PhyMode2(2)\n" +
        "14: " + pad("[S] Design Type: {NIC(0), LOM(1)}") + "LOM\n" +
        "16: " + pad("[P] BAR size: {Disabled(0), 64K(1), 128K(2), \n        ...1M(5),...16M(9), ...64M(11), ...1G(15)}", 56) +
        "256k\n" +
        "17: " + pad("[P] Magic Packet WoL { Disable(0), Enable(1) }") + "Disabled\n" +
        "18: " + pad("[P] WoL link speed { Auto(0), ...1000FD(6) }") + "1000FD\n" +
        PAUSE + CHOICE;
    EXPECT_EQ(expected, menu(s, menu_record(), "q"));
}

// Any other key goes on; the pauses fall where the line count passes 18 again, and the list ends
// with the last offered option.
TEST(CfgMenu, PagesToTheEnd)
{
    session s({5706, "COPPER"});
    const std::string text = menu(s, menu_record(), "xy");
    size_t pauses = 0;
    for (size_t at = text.find(PAUSE); at != std::string::npos; at = text.find(PAUSE, at + 1))
        ++pauses;
    EXPECT_EQ(2u, pauses);
    EXPECT_NE(std::string::npos, text.find(std::string("1000FD\n") + PAUSE + "21: "));
    EXPECT_NE(std::string::npos, text.find(std::string("(paused)\n44: ")));
    const std::string tail = "80: " + pad("[P] MBA Boot Retry Count: {0, 1,...6, 7(Indefinite)}") + "0\n" + CHOICE;
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
    EXPECT_EQ(std::string::npos, text.find("\n37: ")) << "5708 and later only";

    // The 5709 group shows its own LED-mode label.
    session g({5709, "COPPER"});
    toe_cfg_record rec = menu_record();
    rec.f13 = 9;
    EXPECT_NE(std::string::npos,
              menu(g, rec, "q").find("13: [P] Led Mode { MacMode(0), PhyMode1(1), PhyMode2(2),\n"
                                     "        ..., PhyMode11(14) } (Refer to 5709 manual \n" +
                                     pad("        for value)", 56) + "PhyMode7(9)\n"));
}

TEST(CfgMenu, ReservedMenuAndUnknownDevice)
{
    session s({5709, "COPPER"});
    fwupg::nvm::test::take_debug_text();
    toe_rescfg_menu(s.ops, 32);
    std::string label = "ISCSI number of pending tasks";
    label.append(52 - label.size(), ' ');
    EXPECT_EQ(" 1: " + label + ":32\nChoice (<option>=<value>, default, save, cancel): ",
              fwupg::nvm::test::take_debug_text());
    Tcl_UnsetVar2(s.host.interp, "::toe", "DEV", TCL_GLOBAL_ONLY);
    toe_cfg_record rec{};
    toe_cfg_menu(s.ops, &rec);
    EXPECT_EQ("", fwupg::nvm::test::take_debug_text());
}

// The dump over each of the kit's boards: comment lines for every shown option (broken labels stay
// comments), then one command line that, run again, gives every editable option its value back;
// the addresses are only in the comments.
TEST(CfgDump, RoundTripOverTheKitsBoards)
{
    const auto dir = std::filesystem::temp_directory_path() / ("cfg_dump_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    for (int board : {5706, 5708, 5709, 5716, 57728}) {
        session s({board, "COPPER"});
        toe_cfg_record rec{};
        ASSERT_EQ(0, toe_nvm_read_cfg(s.ops, &rec)) << board;
        std::strcpy(rec.vpd.v0, "say \"hi\"");
        const std::string path = (dir / (std::to_string(board) + ".txt")).string();
        char message[160] = "";
        ASSERT_EQ(0, toe_nvm_cfg_dump(s.ops, path.c_str(), &rec, message, sizeof message)) << board;
        const std::string text = read_file(path);

        const size_t cmd = text.find("nvm cfg \\\n");
        ASSERT_NE(std::string::npos, cmd) << board;
        std::istringstream comments(text.substr(0, cmd));
        for (std::string line; std::getline(comments, line);)
            EXPECT_EQ("# ", line.substr(0, 2)) << board << ": " << line;
        EXPECT_EQ(0u, text.find("#  1: " + pad("[P] MAC Address"))) << board;
        EXPECT_NE(std::string::npos, text.find("# 13: [P] Led Mode { MacMode(0), PhyMode1(1), \n#         PhyMode2(2)"));
        EXPECT_NE(std::string::npos, text.find("        \"58=say \\\"hi\\\"\"\\\n")) << board;
        for (const char* address : {"\"1=", "\"33=", "\"77="})
            EXPECT_EQ(std::string::npos, text.find(address)) << board << " " << address;

        // Run the command line: a proc named nvm collects its words.
        Tcl_Interp* interp = Tcl_CreateInterp();
        ASSERT_EQ(TCL_OK, Tcl_Eval(interp, "proc nvm {args} { set ::words $args }")) << board;
        ASSERT_EQ(TCL_OK, Tcl_Eval(interp, text.substr(cmd).c_str())) << board << Tcl_GetStringResult(interp);
        Tcl_Obj* words = Tcl_GetVar2Ex(interp, "::words", nullptr, TCL_GLOBAL_ONLY);
        int count = 0;
        Tcl_Obj** items = nullptr;
        ASSERT_EQ(TCL_OK, Tcl_ListObjGetElements(interp, words, &count, &items));
        toe_cfg_record back{};
        ASSERT_GT(count, 1);
        EXPECT_STREQ("cfg", Tcl_GetString(items[0]));
        for (int i = 1; i < count; ++i) {
            const std::string word = Tcl_GetString(items[i]);
            const size_t eq = word.find('=');
            ASSERT_NE(std::string::npos, eq) << word;
            EXPECT_EQ(0, toe_cfg_option_set(s.ops, &back, std::atoi(word.c_str()), word.c_str() + eq + 1, nullptr))
                << board << " " << word;
        }
        Tcl_DeleteInterp(interp);
        for (int n = 1; n < TOE_CFG_OPTIONS; ++n) {
            if (!toe_cfg_option_offered(s.ops, n, false, nullptr))
                continue;
            const std::string want = toe_cfg_option_text(s.ops, &rec, n, true);
            EXPECT_EQ(want, toe_cfg_option_text(s.ops, &back, n, true)) << board << " option " << n;
        }
    }
    char message[8];
    EXPECT_EQ(1, toe_nvm_cfg_dump(session({5706, "COPPER"}).ops, dir.c_str(), nullptr, message, sizeof message));
    EXPECT_STREQ("Failed ", message) << "cut to the message area";
    std::filesystem::remove_all(dir);
}

// Enabling a Vaux option prints its warning on the Tcl standard output; a refusal prints nothing.
TEST(CfgOptions, LomWarningsGoToTheTclStandardOutput)
{
    session s({5706, "COPPER"});
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    Tcl_Channel out = Tcl_MakeFileChannel(reinterpret_cast<ClientData>(intptr_t(fds[1])), TCL_WRITABLE);
    Tcl_Channel previous = Tcl_GetStdChannel(TCL_STDOUT);
    Tcl_SetStdChannel(out, TCL_STDOUT);
    toe_cfg_record rec{};
    EXPECT_EQ(1, toe_cfg_option_set(s.ops, &rec, 36, "1", nullptr));
    rec.f14 = 1;
    EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, 36, "1", nullptr));
    EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, 48, "1", nullptr));
    EXPECT_EQ(0, toe_cfg_option_set(s.ops, &rec, 48, "0", nullptr));
    Tcl_SetStdChannel(previous, TCL_STDOUT);
    Tcl_Close(nullptr, out);   // closes the write end
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, size_t(n));
    close(fds[0]);
    EXPECT_EQ("Warning: make sure the system supports LOM Vaux current overdraw\n\n"
              "Warning: make sure the system allows gigabit link on Vaux\n\n",
              text);
}
