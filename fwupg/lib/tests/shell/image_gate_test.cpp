// The shell over the library's own image-file checks: files they reject never reach the engine,
// with the checks' codes, and a backup that is not a full NVRAM image of the adapter is never
// programmed back.
#include <fstream>

#include "fwupg/session_state.h"
#include "shell_fixture.h"

using namespace shelltest;
using Words = std::vector<std::string>;

namespace {

// The upgrade's own checks pass; the others are the library's.
uint32_t LibraryChecksExceptUpgrade(Tcl_Interp* interp, fwupg::shell::ImageUse use, const char* path, uint32_t type,
                                    std::vector<uint8_t>* bytes)
{
    if (use == fwupg::shell::ImageUse::Upgrade) return 0;
    return fwupg::shell::LibraryImageCheck(interp, use, path, type, bytes);
}

class LibraryImageChecksTest : public ShellTest {
protected:
    std::string Junk(const std::string& name)
    {
        std::string path = root.file(name);
        std::ofstream(path, std::ios::binary) << std::string(64, '\x11');
        return path;
    }
    bool EngineReached() const
    {
        for (const std::string& slot : facade.slots())  // the board check only reads
            if (slot.rfind("nvm_", 0) == 0 && slot != "nvm_board_check_57710") return true;
        return false;
    }
};

}  // namespace

TEST_F(LibraryImageChecksTest, RejectedImagesStopTheUpgradeWithTheChecksCode)
{
    Start(5);
    fwupg::shell::g_pImageCheck = fwupg::shell::LibraryImageCheck;
    const std::string junk = Junk("junk image.bin");
    const std::pair<const char*, uint32_t> cases[] = {{"-fixmac", 78}, {"-mbi", 126}};
    for (const auto& [option, code] : cases) {
        SCOPED_TRACE(option);
        g_uUpgRetCode = 0;
        EXPECT_EQ(Eval(std::string("upgrade ") + option + " {" + junk + "} backup.bin"), TCL_ERROR);
        EXPECT_EQ(g_uUpgRetCode, code);
        EXPECT_FALSE(EngineReached()) << facade.slots().front();
    }
    // A PHY file that is not a PHY image is not written.
    g_uUpgRetCode = 0;
    EXPECT_EQ(Eval("phy -upg {" + junk + "}"), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 98u);
    EXPECT_EQ(Count(journal, 131), 0u);
}

TEST_F(LibraryImageChecksTest, ABackupThatIsNotAFullImageOfTheAdapterIsNotProgrammedBack)
{
    Start(5);
    fwupg::shell::g_pImageCheck = LibraryChecksExceptUpgrade;
    const std::string image = Junk("image.bin");
    facade.hooks["nvm_dump_57710"] = [](const FacadeCall& call) {
        std::ofstream(call.words.back(), std::ios::binary) << std::string(100, '\x22');
        return 0;
    };
    facade.hooks["nvm_upgrade_57710"] = [](const FacadeCall&) {
        g_uUpgRetCode = 70;
        return 1;
    };
    EXPECT_EQ(Eval("upgrade -mba {" + image + "} backup.bin"), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 140u);
    EXPECT_EQ(facade.last("nvm_prg_57710"), nullptr);
    EXPECT_EQ(g_bResetRequested, 1);
}
