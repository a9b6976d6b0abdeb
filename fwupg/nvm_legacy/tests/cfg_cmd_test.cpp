// The cfg and rescfg editors and the user block command on simulated legacy adapters: argument
// sessions, a scripted interactive session, and what is written (or not) in each case.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/formats/vpd.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "legacy_board.h"
#include "testkit/legacy_reader.h"

using namespace testkit::legacy;

namespace {

int g_resets = 0;
// The front end's evaluation slot: "_reset" only marks the adapter; other scripts run.
int eval(Tcl_Interp* interp, const char* script)
{
    Tcl_ResetResult(interp);
    if (std::strcmp(script, "_reset") == 0) {
        ++g_resets;
        return TCL_OK;
    }
    return Tcl_EvalEx(interp, script, -1, 0);
}

struct Board : DescribedBoard {
    explicit Board(const std::string& text) : DescribedBoard(text) {}
    int run(int (*cmd)(HostOps, int, Tcl_Obj* const[]), const std::vector<std::string>& words)
    {
        HostOps ops = host.ops();
        ops.tclEval = eval;
        fwupg::HostOpsScope scope(&ops);
        std::vector<Tcl_Obj*> objv;
        for (const std::string& w : words) {
            objv.push_back(Tcl_NewStringObj(w.c_str(), -1));
            Tcl_IncrRefCount(objv.back());
        }
        Tcl_ResetResult(host.interp);
        g_resets = 0;
        host.writes = 0;
        host.write_offsets.clear();
        host.write_lengths.clear();
        fwupg::nvm::test::take_debug_text();
        const int rc = cmd(ops, int(objv.size()), objv.data());
        for (Tcl_Obj* o : objv)
            Tcl_DecrRefCount(o);
        return rc;
    }
    bool wrote(uint32_t from, uint32_t to) const
    {
        for (uint32_t off : host.write_offsets)
            if (off >= from && off < to)
                return true;
        return false;
    }
    uint32_t wol() const { return (host.be32(0x214) >> 24) & 1; }
    uint16_t pending_tasks(uint32_t byte) const { return uint16_t(host.be32(0x200 + byte)); }
};

constexpr const char* PLAIN = "board=5709\nsize=0x10000\n";

}  // namespace

TEST(RescfgCmd, ArgumentSessions)
{
    Board b(PLAIN);
    const uint16_t start = b.pending_tasks(60);
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_rescfg_cmd, {"rescfg", "1="}));
    EXPECT_EQ(std::to_string(start), b.host.result());
    EXPECT_EQ("Config not saved.\n", fwupg::nvm::test::take_debug_text());
    EXPECT_EQ(0, b.host.writes);

    ASSERT_EQ(TCL_OK, b.run(toe_nvm_rescfg_cmd, {"rescfg", "1=64"}));
    EXPECT_EQ(64, b.pending_tasks(60));
    EXPECT_EQ("Config saved.\n", fwupg::nvm::test::take_debug_text());
    EXPECT_EQ("", verify_nvram(b.host.nvram));

    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_rescfg_cmd, {"rescfg", "2=5"}));
    EXPECT_EQ("Invalid value (2=5): ", b.host.result());

    ASSERT_EQ(TCL_OK, b.run(toe_nvm_rescfg_cmd, {"rescfg", "default", "1=5"}));
    EXPECT_EQ(0x20, b.pending_tasks(60));

    // The second port of a dual-function board edits its own field set.
    b.host.set_toe("PORT0", "0");
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_rescfg_cmd, {"rescfg", "0=7", "save"}));
    EXPECT_EQ(7, b.pending_tasks(176));
    EXPECT_EQ(0x20, b.pending_tasks(60));

    // A block that could not be written is not saved.
    b.host.fail_write_at = 0x200;
    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_rescfg_cmd, {"rescfg", "1=9"}));
    EXPECT_EQ(18u, b.host.last_error);
    EXPECT_EQ("Config not saved.\n", fwupg::nvm::test::take_debug_text());
}

TEST(RescfgCmd, ScriptedInteractiveSession)
{
    Board b(PLAIN);
    {
        ScriptedStdin keys("1=\n1=12\n3=1\n\nsave\n");
        ASSERT_EQ(TCL_OK, b.run(toe_nvm_rescfg_cmd, {"rescfg"})) << b.host.result();
    }
    EXPECT_EQ(12, b.pending_tasks(60));
    EXPECT_EQ("", b.host.result());
    const std::string out = fwupg::nvm::test::take_debug_text();
    EXPECT_NE(std::string::npos, out.find("Invalid value (3=1): Press any key to continue...")) << out;
    EXPECT_EQ(out.size() - std::strlen("Config saved.\n"), out.rfind("Config saved.\n")) << out;
    EXPECT_EQ("", verify_nvram(b.host.nvram));
}

TEST(CfgCmd, ArgumentSessions)
{
    Board b(PLAIN);
    b.host.set_toe("VAUX_PRESET", "1");
    // Defaults alone are not saved.
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "default"}));
    EXPECT_EQ(0, b.host.writes);

    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "17=1", "17="}));
    EXPECT_EQ("1", b.host.result());
    EXPECT_EQ(1u, b.wol());
    EXPECT_EQ(1, g_resets);
    EXPECT_FALSE(b.wrote(VPD, VPD + 256));   // the VPD is left alone unless a VPD option changed
    EXPECT_EQ("", verify_nvram(b.host.nvram));

    // A power option asks for a power cycle instead of a reset.
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "2=10:0:0:100"}));
    EXPECT_EQ(0, g_resets);
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find(
                                     "Warning: Please power-cycle (NOT just reboot) the system\n"
                                     "         for the data change to take effect.\n"));

    // Scripts in brackets and values in braces; a failing script changes nothing.
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "17=[expr {1 - 1}]"}));
    EXPECT_EQ(0u, b.wol());
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "17={1}"}));
    EXPECT_EQ(1u, b.wol());
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "17=[no_such_command]", "cancel"}));
    EXPECT_EQ(1u, b.wol());
    EXPECT_EQ(0, b.host.writes);

    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_cfg_cmd, {"cfg", "17=7"}));
    EXPECT_EQ(0u, std::string(b.host.result()).find("Invalid value (17=7): "));
    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_cfg_cmd, {"cfg", "dump"}));
    EXPECT_EQ("Error, config dump file name missing.", b.host.result());
    TempDir dir;
    const std::string dump = dir.file("cfg.txt");
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "dump", dump, "17="}));
    EXPECT_EQ("1", b.host.result());   // the file name is consumed, the words after it go on
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("cfg info dumped to file " + dump + ".\n"));
    const bytes text = TempDir::read(dump);
    EXPECT_NE(std::string::npos, std::string(text.begin(), text.end()).find("nvm cfg")) << dump;
    EXPECT_EQ(0, b.host.writes);

    // Defaults and save write all four parts, the VPD with its defaults.
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "default", "save"}));
    EXPECT_TRUE(b.wrote(VPD, VPD + 256));
    EXPECT_EQ("", verify_nvram(b.host.nvram));
    toe_cfg_record rec{};
    ASSERT_EQ(0, toe_nvm_read_cfg(b.host.ops(), &rec));
    vpd_info want{};
    vpd_set_defaults(&want, 95);
    EXPECT_STREQ(want.pn, rec.vpd.pn);

    // A failed write is not saved and asks for no reset.
    b.host.fail_write_at = 0x214;
    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_cfg_cmd, {"cfg", "17=1"}));
    EXPECT_EQ(18u, b.host.last_error);
    EXPECT_EQ(0, g_resets);
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("Error, new config updates not saved.\n"));
}

// Saving writes of each block only the words that change, with the block's CRC word in the same
// write, and nothing of a block that holds its values already.
TEST(CfgCmd, SaveWritesOnlyWhatChanges)
{
    Board b(PLAIN);
    b.host.set_toe("VAUX_PRESET", "1");
    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "17=1"})) << b.host.result();
    EXPECT_EQ(1u, b.wol());
    EXPECT_EQ(std::vector<uint32_t>{0x214}, b.host.write_offsets) << "the WoL word of FEAT_INFO";
    EXPECT_EQ(std::vector<uint32_t>{0x300 - 0x214}, b.host.write_lengths) << "through its CRC word";
    EXPECT_EQ("", verify_nvram(b.host.nvram));

    ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg", "17=1"})) << b.host.result();
    EXPECT_EQ(0, b.host.writes) << "the board holds the setting";
}

TEST(CfgCmd, ScriptedInteractiveSession)
{
    Board b(PLAIN);
    b.host.set_toe("VAUX_PRESET", "1");
    {
        ScriptedStdin keys("q17=\nq17=1\nqsa\n");   // "q" ends each menu at its first page
        ASSERT_EQ(TCL_OK, b.run(toe_nvm_cfg_cmd, {"cfg"})) << b.host.result();
    }
    EXPECT_EQ(1u, b.wol());
    EXPECT_EQ(1, g_resets);
    const std::string out = fwupg::nvm::test::take_debug_text();
    EXPECT_NE(std::string::npos, out.find("17: ")) << out;   // the menu before each line
    EXPECT_EQ(out.size() - std::strlen("Config saved.\n"), out.rfind("Config saved.\n"));
    EXPECT_EQ("", b.host.result());   // queries are dropped in interactive mode

    // End of input fails the session without writing.
    {
        ScriptedStdin keys("q17=0\nq");
        EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_cfg_cmd, {"cfg"}));
    }
    EXPECT_EQ("Error reading input.", b.host.result());
    EXPECT_EQ(0, b.host.writes);
    EXPECT_EQ(1u, b.wol());
}

TEST(UsrblkCmd, CreateGrowAndRefusals)
{
    Board b("board=5708\nsize=0x10000\nimage=USR_BLK x size=60\n");
    const auto old = find_image(b.host.nvram, "USR_BLK");
    ASSERT_TRUE(old);
    ASSERT_EQ(64u, old->length);
    const bytes data(b.host.nvram.begin() + old->offset, b.host.nvram.begin() + old->offset + 60);

    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_usrblk_cmd, {"usrblk", "6"}));
    EXPECT_EQ("Byte count must be a multiple of four bytes.", b.host.result());
    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_usrblk_cmd, {"usrblk", "32"}));
    EXPECT_EQ("A bigger user block exists.", b.host.result());
    EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_usrblk_cmd, {"usrblk", "-4"}));
    EXPECT_EQ(0, b.host.writes);

    ASSERT_EQ(TCL_OK, b.run(toe_nvm_usrblk_cmd, {"usrblk", "128"})) << b.host.result();
    const auto grown = find_image(b.host.nvram, "USR_BLK");
    ASSERT_TRUE(grown);
    EXPECT_EQ(132u, grown->length);
    bytes want = data;
    want.resize(128, 0);
    EXPECT_EQ(want, bytes(b.host.nvram.begin() + grown->offset, b.host.nvram.begin() + grown->offset + 128));
    EXPECT_EQ("", verify_nvram(b.host.nvram));

    Board fresh("board=5708\nsize=0x10000\n");
    ASSERT_EQ(TCL_OK, fresh.run(toe_nvm_usrblk_cmd, {"usrblk", "16"}));
    const auto made = find_image(fresh.host.nvram, "USR_BLK");
    ASSERT_TRUE(made);
    EXPECT_EQ(bytes(16, 0), bytes(fresh.host.nvram.begin() + made->offset, fresh.host.nvram.begin() + made->offset + 16));
}

// Growing the user block with the power gone after each of the writes a successful grow makes:
// every cut leaves the old block listed, whole and valid; the grown block appears only whole.
// A grow with no room beside the old block is refused without a write.
TEST(UsrblkCmd, AFailedGrowKeepsTheOldBlock)
{
    const std::string text = "board=5708\nsize=0x10000\nimage=USR_BLK x size=60\n";
    Board probe(text);
    const auto old = find_image(probe.host.nvram, "USR_BLK");
    ASSERT_TRUE(old);
    const bytes data(probe.host.nvram.begin() + old->offset, probe.host.nvram.begin() + old->offset + 60);
    ASSERT_EQ(TCL_OK, probe.run(toe_nvm_usrblk_cmd, {"usrblk", "128"})) << probe.host.result();
    const int writes = probe.host.writes;
    ASSERT_GE(writes, 2);  // the block, then the directory

    for (int cut = 0; cut < writes; ++cut) {
        SCOPED_TRACE(cut);
        Board b(text);
        b.host.cut_after_writes = cut;
        EXPECT_EQ(TCL_ERROR, b.run(toe_nvm_usrblk_cmd, {"usrblk", "128"}));
        EXPECT_EQ("NVM write failed.Error writing NVRAM.", b.host.result());
        const auto kept = find_image(b.host.nvram, "USR_BLK");
        ASSERT_TRUE(kept);
        EXPECT_EQ(old->offset, kept->offset);
        EXPECT_EQ(64u, kept->length);
        EXPECT_EQ(data, bytes(b.host.nvram.begin() + kept->offset, b.host.nvram.begin() + kept->offset + 60));
        EXPECT_EQ("", verify_nvram(b.host.nvram));
    }

    Board tight(text);
    const bytes before = tight.host.nvram;
    EXPECT_EQ(TCL_ERROR, tight.run(toe_nvm_usrblk_cmd, {"usrblk", std::to_string(0x10000 - 0x400)}));
    EXPECT_EQ("Not enough space in NVM.", tight.host.result());
    EXPECT_EQ(0, tight.host.writes);
    EXPECT_EQ(before, tight.host.nvram);
}
