// Multi-boot image (MBI) package upgrade of E1-E3 and E4 adapters, the MBI and MFW version
// helpers and the shared-configuration bits set after an MFW upgrade. The command's steps are
// common; where the MBI version lives and what runs around the package differs by family (one
// row of MbiFamily each).
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "commands/upgrade_detail.h"
#include "fwupg/engine_procs.h"
#include "fwupg/fw_package.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/base/registers.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "fwupg/nvm/e123/board_fixups.h"
#include "fwupg/nvm/e123/cfg.h"
#include "fwupg/nvm/e123/cfg_editor.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e4/board_fixups.h"
#include "fwupg/nvm/e4/cfg_batch.h"
#include "fwupg/nvm/e4/cfg_editor.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/versions.h"
#include "fwupg/nvm/e4/vpd.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kTypeMdump = 0xD0800003;

void append(Tcl_Interp* interp, const std::string& text)
{
    Tcl_AppendResult(interp, text.c_str(), static_cast<char*>(nullptr));
}

bool file_exists(const char* path)
{
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Where a family keeps its MBI version and what it does before and after the package's commands.
struct MbiFamily {
    int (*read)(uint32_t* version, uint32_t* date);
    unsigned package_shift;                                  // the package version as NVRAM holds it
    void (*before_compare)(Tcl_Interp*, uint32_t* version, uint32_t* date);
    void (*before_commands)(Tcl_Interp*, fwupg::FwPackage&);
    int (*store)(Tcl_Interp*, uint32_t version, uint32_t date);
    // Asked when NVRAM holds a newer version than the package; true refuses the package even with
    // -F (null: never).
    bool (*downgrade_blocked)(Tcl_Interp*, fwupg::FwPackage&);
    // Ends what before_commands began, after the store or a failure (null: nothing to end).
    void (*after_commands)();
};

// Calls the family's after_commands when the command leaves, whichever way.
class AfterCommands {
public:
    explicit AfterCommands(void (*end)()) : end_(end) {}
    ~AfterCommands()
    {
        if (end_) end_();
    }
    AfterCommands(const AfterCommands&) = delete;
    AfterCommands& operator=(const AfterCommands&) = delete;

private:
    void (*end_)();
};

void e123_before_compare(Tcl_Interp* interp, uint32_t* version, uint32_t* date)
{
    common_nvm_clear_primary_mdump();
    if (*version == 0) {
        fwupg_dbg_printf("MBI version and date were not configured. Setting to default.\n");
        common_nvm_set_mbi_version(interp, 0, 0);
        *date = 0;
    }
}

int e4_read(uint32_t* version, uint32_t* date) { return e4_nvm_cfg_mbi_version(version, date, 0, fwupg::nvm::e4::kNvmCfg1); }

void e4_no_compare_step(Tcl_Interp*, uint32_t*, uint32_t*) {}

// The package's configuration images (NVM_CFG1 and DEFAULT_CFG change in several of its steps)
// are gathered in a batch and written once each by the store; a package that fails writes none.
// The versions the board fix-ups write come from this package's images only.
void e4_before_commands(Tcl_Interp* interp, fwupg::FwPackage& package)
{
    fwupg::nvm::e4::forget_remembered_versions();
    common_nvm_mark_mfw_two_step(interp, &package);
    fwupg::nvm::e4::cfg_batch_begin();
}

void e4_after_commands() { fwupg::nvm::e4::cfg_batch_drop(); }

// Both configuration images carry the version; with the board's option fix-ups they go to the
// NVRAM in one write each after every image of the package, NVM_CFG1 (the one the adapter
// reports) last and only after DEFAULT_CFG and META took theirs: a failed store leaves it as the
// adapter had it, older than the package, never at a version the command reports as failed.
// Then the boards that keep the MBI version in VPD V9 get it.
int e4_store(Tcl_Interp*, uint32_t version, uint32_t date)
{
    for (uint32_t type : {fwupg::nvm::e4::kDefaultCfg, fwupg::nvm::e4::kNvmCfg1}) {
        uint32_t v = version, d = date;
        if (e4_nvm_cfg_mbi_version(&v, &d, 1, type) != 0)
            return 1;
    }
    fwupg::nvm::e4::board_fixups_after_mbi();
    if (fwupg::nvm::e4::cfg_batch_commit() != 0)
        return 1;
    if (common_nvm_board_in_mbi_vpd_list(uint16_t(toe_number("VID")), uint16_t(toe_number("SVID")),
                                         uint16_t(toe_number("SSID")))) {
        char text[50];
        common_nvm_mbi_version_str(version, text, sizeof text);
        if (common_nvm_e4_set_vpd_field("V9", text) != 0) {
            fwupg_dbg_printf("Failed to program VPD V9 into Extended VPD.\n");
            return 1;
        }
    }
    return 0;
}

bool e4_downgrade_blocked(Tcl_Interp* interp, fwupg::FwPackage& package)
{
    return e4_mbi_downgrade_blocked(interp, package, uint32_t(toe_number("SSID")));
}

// The package's directory changes (the images of an MFW bundle, the new copy of CFG_SHARED that
// takes the version, the main-directory entries of its other images) are held from the first
// command to the version store and go to the NVRAM as one new copy of the extended directory and
// one write of the main directory that switches everything in; the directories in force keep
// naming the old images, whole, until then.
bool g_e123_batch = false;

void e123_before_commands(Tcl_Interp*, fwupg::FwPackage&)
{
    common_nvm_ext_dir_batch_open();
    g_e123_batch = true;
}

// Publishes the held changes (a failed package too: what it installed completely is listed, as
// after a failed walk). 0, or -1 when publishing failed.
int e123_publish()
{
    if (!g_e123_batch)
        return 0;
    g_e123_batch = false;
    return common_nvm_ext_dir_batch_close();
}

void e123_after_commands() { e123_publish(); }

// The version goes into the held CFG_SHARED; the package succeeds only once the directory that
// lists it is switched in.
int e123_store(Tcl_Interp* interp, uint32_t version, uint32_t date)
{
    const bool stored = common_nvm_set_mbi_version(interp, version, date) == 0;
    return e123_publish() == 0 && stored ? 0 : 1;
}

constexpr MbiFamily kE123{common_nvm_get_mbi_version, 8, e123_before_compare, e123_before_commands, e123_store,
                          nullptr, e123_after_commands};
constexpr MbiFamily kE4{e4_read, 0, e4_no_compare_step, e4_before_commands, e4_store, e4_downgrade_blocked,
                        e4_after_commands};

int mbi_upgrade(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const MbiFamily& family)
{
    if (objc < 3) {
        set_last_error(2);
        Tcl_WrongNumArgs(interp, 1, objv, "[-F] filename");
        return 1;
    }
    const bool force = objc >= 4 && std::strcmp(Tcl_GetString(objv[1]), "-F") == 0;
    const char* path = Tcl_GetString(objc < 4 ? objv[2] : objv[3]);
    if (!path[0]) {
        set_last_error(2);
        return 1;
    }
    if (!file_exists(path)) {
        set_last_error(13);
        append(interp, "File does not exist.");
        return 1;
    }
    fwupg::FwPackage package(path, uint16_t(toe_number("VID")), uint16_t(toe_number("DID")), uint16_t(toe_number("SVID")),
                      uint16_t(toe_number("SSID")));
    if (package.Validate() != 0) {
        // An invalid package (or one with nothing for this adapter) is a failure of its own:
        // without a last error the caller would read the refusal as success.
        set_last_error(126);
        print_severity("Improper file format, Not intended for -mbi option.", 1);
        append(interp, "Improper file format, Not intended for -mbi option\n");
        return 1;
    }
    uint32_t nvm_version = 0, nvm_date = 0;
    if (family.read(&nvm_version, &nvm_date) != 0) {
        append(interp, "Can't read MBI version from nvm.\n");
        print_severity("Can't read MBI version from nvm", 1);
        return 1;
    }
    family.before_compare(interp, &nvm_version, &nvm_date);
    uint32_t pkg_version = 0, pkg_date = 0;
    package.GetVersionAndDate(&pkg_version, &pkg_date);
    pkg_version <<= family.package_shift;
    char nvm_text[50], pkg_text[50];
    common_nvm_mbi_version_str(nvm_version, nvm_text, sizeof nvm_text);
    common_nvm_mbi_version_str(pkg_version, pkg_text, sizeof pkg_text);
    if (family.downgrade_blocked && pkg_version < nvm_version && family.downgrade_blocked(interp, package)) {
        fwupg_dbg_printf("Given version(%s) is older than NVRAM version(%s).\n", pkg_text, nvm_text);
        set_last_error(142);
        return 1;
    }
    if (!force && pkg_version <= nvm_version) {
        char text[200];
        std::snprintf(text, sizeof text,
                      pkg_version == nvm_version
                          ? "Given version(%s) is same as NVRAM version(%s). \nUpgrade aborted for image MBI.\n"
                          : "Given version(%s) is older than NVRAM version(%s). \nUpgrade aborted for image MBI.\n",
                      pkg_text, nvm_text);
        fwupg_dbg_printf("%s", text);
        fwupg_dbg_printf("Please use \"-F\" option to force upgrade.\n");
        set_last_error(35);
        return 1;
    }
    fwupg_dbg_printf("Upgrading MBI from version %s to version %s\n", nvm_text, pkg_text);
    // The command list is built (and the images extracted) first: the E4 gate reorders it.
    const size_t count = package.GetCommandCount();
    if (count == 0 && package.ExtractionFailed()) {
        // Nothing was written: the package's images could not be unpacked into the work folder.
        set_last_error(150);
        append(interp, "Can't write the MBI package's images to the work folder.\n");
        print_severity("Can't write the MBI package's images to the work folder", 1);
        return 1;
    }
    family.before_commands(interp, package);
    const AfterCommands after(family.after_commands);
    size_t evaluated = 0;
    for (size_t i = 0; i < count; ++i) {
        const std::string command = package.GetCommand(i);
        if (command.empty())
            continue;
        if (Tcl_Eval(interp, command.c_str()) != TCL_OK) {
            package.DeleteExtractedFiles();
            return 1;
        }
        ++evaluated;
    }
    package.DeleteExtractedFiles();
    // A package that programmed nothing must not leave its version behind as if it had.
    if (evaluated == 0) {
        set_last_error(35);
        append(interp, "MBI package holds no image for this adapter.\n");
        return 1;
    }
    return family.store(interp, pkg_version, pkg_date);
}

}  // namespace

extern "C" {

int tcl_al_nvm_mbi_upgrade_cmd(HostOps ops, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    try {
        fwupg::HostOpsScope scope(&ops);
        switch (chip_family()) {
        case ChipFamily::E1E3:
            return mbi_upgrade(interp, objc, objv, kE123);
        case ChipFamily::E4:
            return mbi_upgrade(interp, objc, objv, kE4);
        case ChipFamily::Unknown:
            unknown_chip(interp);
            return TCL_ERROR;
        }
        return TCL_ERROR;  // not reached: every family is handled above
    } catch (const std::exception& e) {
        set_last_error(34);
        Tcl_AppendResult(interp, "MBI upgrade aborted: ", e.what(), static_cast<char*>(nullptr));
        return 1;
    } catch (...) {
        set_last_error(34);
        return 1;
    }
}

int common_nvm_get_mbi_version(uint32_t* version, uint32_t* date)
{
    if (!version || !date)
        return -1;
    *version = 0;
    *date = 0;
    uint32_t present = 0, off = 0, len = 0, k = 0;
    if (common_nvm_find_ext_dir_image(&present, kTypeCfgShared, &off, &len, &k) != 0)
        return -1;
    if (!present || len < 80)
        return 0;
    if (common_nvm_read(off + 72, version, 4, 1) != 0 || common_nvm_read(off + 76, date, 4, 1) != 0)
        return -1;
    return 0;
}

const char* common_nvm_mbi_version_str(uint32_t version, char* text, uint32_t size)
{
    // E1-E3 keep the version in the top three bytes, E4 in the low three.
    const unsigned shift = common_nvm_is_e4() ? 0 : 8;
    if (text && size)
        std::snprintf(text, size, "%u.%u.%u", (version >> (shift + 16)) & 0xFF, (version >> (shift + 8)) & 0xFF,
                      (version >> shift) & 0xFF);
    return text;
}

int common_nvm_mark_mfw_two_step(Tcl_Interp* interp, fwupg::FwPackage* package)
{
    constexpr uint32_t kTwoStepFrom = 0x8120C00, kTwoStepNext = 0x8120D00;
    uint32_t off = 0, len = 0;
    std::vector<uint8_t> mfw;
    if (!package || package->ExtractImage("MFW", mfw) != 0 ||
        e4_nvm_find_image(fwupg::nvm::e4::kPk, &off, &len, nullptr) == 0)
        return 0;
    int running = -1;
    uint32_t incoming = 0;
    if (get_running_mfw(interp, &running, nullptr) != 0 ||
        fwupg::nvm::e4::e4_bundle_tim_version(mfw.data(), uint32_t(mfw.size()), &incoming) != 0)
        return 0;
    const uint32_t now = uint32_t(running);
    if ((now < kTwoStepFrom && incoming >= kTwoStepFrom) || (now == kTwoStepFrom && incoming >= kTwoStepNext)) {
        package->OrderMfwAndPk(true);
        return 1;
    }
    return 0;
}

// Version (option 243) and date (option 244) go into the configuration set together, so the
// shared configuration image that keeps them is written once.
int common_nvm_set_mbi_version(Tcl_Interp*, uint32_t version, uint32_t date)
{
    auto set = std::make_unique<CfgSet>();
    if (set->read() != 0 || common_nvm_cfg_set_param(set->record, 243, version) != 0 ||
        common_nvm_cfg_set_param(set->record, 244, date) != 0)
        return -1;
    return set->write() == 0 ? 0 : -1;
}

int common_nvm_read_new_mfw_version(const uint8_t* data, uint32_t length, uint32_t row)
{
    if (!data)
        return -1;
    std::vector<uint8_t> copy(data, data + length);
    return common_nvm_install_ext_image(copy.data(), length, row, 0, 0, 0, 1);
}

int common_nvm_set_mfw_cfg_bits(Tcl_Interp*, int mfw_pair)
{
    auto set = std::make_unique<CfgSet>();
    if (set->read() != 0)
        return -1;
    constexpr uint32_t kWord = 6212;
    uint32_t word = load_u32(set->record + kWord);
    const uint32_t field = (word >> 12) & 3;
    uint32_t reg = 0;
    reg_read(kRegRevidStep, &reg);
    uint32_t next = field;
    if (field == 1)
        next = 3;
    else if (field == 0 && mfw_pair == 1)
        next = (reg & 0xF) == 0 ? 2 : 3;
    word = (word & ~(3u << 12)) | (next << 12);
    store_u32(set->record + kWord, word);
    return set->write() == 0 ? 0 : -1;
}

void common_nvm_clear_primary_mdump()
{
    uint32_t index = 0;
    if (common_nvm_find_dir_entry(kTypeMdump, &index, nullptr) == 0 && index < 16) {
        fwupg_dbg_printf("Deleting MDUMP from Primary directory as it has to be in the extended dir..\n");
        common_nvm_write_dir_entry(index, 0, 0, 0, 0, 0);
    }
}

}  // extern "C"
