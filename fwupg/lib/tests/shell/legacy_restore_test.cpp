// The NVRAM backup of a legacy upgrade with the legacy engine's own dump and program commands:
// an upgrade that fails after writing is undone by programming the backup back
// ("_prg -raw 0 <file>"), and the line ends with code 138.
#include <cstdio>
#include <cstring>

#include "fwupg/command_exec.h"
#include "fwupg/engine_procs.h"
#include "fwupg/session_state.h"
#include "shell_fixture.h"
#include "testkit/legacy_describe.h"
#include "testkit/legacy_image.h"

using namespace shelltest;

namespace {

// Runs an engine command procedure with the words and record a facade operation was given.
int RunEngine(int (*proc)(HostOps, int, Tcl_Obj* const[]), const FacadeCall& call)
{
    std::vector<Tcl_Obj*> objv;
    for (const std::string& w : call.words) {
        objv.push_back(Tcl_NewStringObj(w.c_str(), -1));
        Tcl_IncrRefCount(objv.back());
    }
    const int rc = proc(call.ops, int(objv.size()), objv.data());
    for (Tcl_Obj* o : objv) Tcl_DecrRefCount(o);
    return rc;
}

// A 5709 board of the adapter's ids and NVRAM size with the described images (kit description
// lines), put on the machine; its bytes are returned.
testkit::legacy::bytes PutLegacyBoard(const std::string& root, const sim::AdapterDef& adapter, const std::string& images)
{
    char ids[80];
    std::snprintf(ids, sizeof ids, "ids=0x%X 0x%X 0x%X 0x%X\n", adapter.vid, adapter.did, adapter.svid, adapter.ssid);
    const testkit::legacy::bytes board = testkit::legacy::build_described(testkit::legacy::parse_description(
        "board=5709\nsize=" + std::to_string(adapter.nvram_size()) + "\n" + ids + images));
    sim::set_nvram(root, adapter.name, board);
    return board;
}

class LegacyRestoreTest : public ShellTest {};

}  // namespace

// The boards: one with boot code, and one whose bootstrap names none (its backup is programmed
// back as it is).
class LegacyRestoreBoards : public LegacyRestoreTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LegacyRestoreBoards, AFailedUpgradeIsUndoneFromTheBackup)
{
    sim::AdapterDef desc = sim::make_adapter(4, 1);
    Start(desc);
    const testkit::legacy::bytes before = PutLegacyBoard(root.path, adapter, GetParam());

    facade.hooks["nvm_dump"] = [](const FacadeCall& call) { return RunEngine(toe_nvm_dump_cmd, call); };
    facade.hooks["nvm_prg"] = [](const FacadeCall& call) { return RunEngine(toe_nvm_prg_cmd, call); };
    // The upgrade writes half of a new boot agent over the old one, then fails.
    bool written = false;
    facade.hooks["nvm_upgrade"] = [&written](const FacadeCall& call) {
        std::vector<uint8_t> half(0x400, 0xA5);
        written = call.ops.nvmWriteBlock(0, 0x800, uint32_t(half.size()), half.data(), 0) == 0;
        call.ops.setLastError(18);
        return 1;
    };

    const std::string image = root.file("mba.bin");
    std::FILE* f = std::fopen(image.c_str(), "w");
    std::fputs("image", f);
    std::fclose(f);
    const std::string backup = "NVMDump#_" + adapter.mac + ".BIN";
    std::memset(g_CommandBuffer, 0, sizeof g_CommandBuffer);
    std::snprintf(g_CommandBuffer, sizeof g_CommandBuffer, "upgrade -mba {%s} {%s}", image.c_str(), backup.c_str());
    g_uUpgRetCode = 0;
    ProcessCommand();

    EXPECT_TRUE(written);
    EXPECT_EQ(g_uUpgRetCode, uint32_t(CMD_RESTORED));
    EXPECT_EQ(facade.slots(), (std::vector<std::string>{"nvm_crc_check", "nvm_dump", "nvm_upgrade", "nvm_prg"}))
        << "the board check, the backup, the upgrade and the restore";
    EXPECT_EQ(sim::read_nvram(root.path, adapter.name), before);
    EXPECT_EQ(testkit::legacy::verify_nvram(sim::read_nvram(root.path, adapter.name)), "");
}

INSTANTIATE_TEST_SUITE_P(Boards, LegacyRestoreBoards,
                         ::testing::Values("image=BC1 1.2.3\nimage=MBA 7.10.3\nimage=UMP 1.1.4\n",
                                           "image=MBA 7.10.3\nimage=UMP 1.1.4\n"),
                         [](const auto& info) { return info.index == 0 ? "WithBootCode" : "WithoutBootCode"; });

// A backed-up change ("cfg -vpdv0", "_prg") whose engine throws after it wrote: the backup is
// programmed back and the line ends with the restore's code, not the exception's.
TEST_F(LegacyRestoreTest, AChangeThatThrowsAfterWritingEndsWithTheRestoreCode)
{
    struct Case {
        const char* what;
        const char* slot;
        std::string line;
    };
    const Case cases[] = {
        {"cfg", "set_nvm_cfg", "cfg -vpdv0 1.2.3"},
        {"_prg", "nvm_prg", "_prg -raw 0 {image.bin}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(sim::make_adapter(4, 1));
        const testkit::legacy::bytes before = PutLegacyBoard(root.path, adapter, "image=BC1 1.2.3\nimage=MBA 7.10.3\n");

        facade.hooks["nvm_dump"] = [](const FacadeCall& call) { return RunEngine(toe_nvm_dump_cmd, call); };
        bool thrown = false;
        auto writeThenThrow = [&thrown](const FacadeCall& call) -> int {
            thrown = true;
            std::vector<uint8_t> junk(0x400, 0xA5);
            call.ops.nvmWriteBlock(0, 0x800, uint32_t(junk.size()), junk.data(), 0);
            throw ExceptionClass{70};
        };
        // The change's own program call throws; the restore's runs the engine.
        facade.hooks["nvm_prg"] = [&](const FacadeCall& call) {
            if (!thrown && std::string(c.slot) == "nvm_prg") return writeThenThrow(call);
            return RunEngine(toe_nvm_prg_cmd, call);
        };
        if (std::string(c.slot) == "set_nvm_cfg") facade.hooks["set_nvm_cfg"] = writeThenThrow;

        std::memset(g_CommandBuffer, 0, sizeof g_CommandBuffer);
        std::snprintf(g_CommandBuffer, sizeof g_CommandBuffer, "%s", c.line.c_str());
        g_uUpgRetCode = 0;
        ProcessCommand();

        EXPECT_TRUE(thrown);
        EXPECT_EQ(g_uUpgRetCode, uint32_t(CMD_RESTORED));
        EXPECT_EQ(sim::read_nvram(root.path, adapter.name), before);
        facade.hooks.clear();
        TearDown();
    }
}
