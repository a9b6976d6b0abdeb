// Discovery of an adapter through the backup a cut update left behind (see leftover_backup.h).
#include "fwupg/leftover_backup.h"

#include <tcl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fwupg/bkv9_helper.h"
#include "fwupg/command_exec.h"
#include "fwupg/debug_log.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "../shell/backup_registry.h"
#include "../shell/shell_internal.h"

namespace fwupg {
namespace {

// The leftover backup that the selected adapter's next upgrade line programs back, or empty. The
// same conditions as that repair: a backup file under the update's name in this folder, or one
// registered for the adapter in another folder, that this call did not take itself and that
// belongs to the adapter, while the NVRAM fails the board check (which only reads).
std::string LeftoverToProgramBack()
{
    static const char* const kFn = "LeftoverBackupView";
    std::vector<std::string> places;
    if (access(command::UpgradeBackupPath().c_str(), F_OK) == 0) places.push_back(command::UpgradeBackupPath());
    const std::string own = shell::BackupFullPath(command::UpgradeBackupPath());
    for (const std::string& other : shell::RegisteredBackupsOfSelectedAdapter())
        if (other != own) places.push_back(other);
    for (const std::string& path : places) {
        if (shell::IsKeptBackup(path)) continue;
        if (!shell::BackupBelongsHere(path)) {
            LogDebugMsg(DBG_DEBUG, "%s(): %s does not belong to this adapter; the adapter is listed as it is.", kFn,
                        path.c_str());
            continue;
        }
        if (!shell::BoardFailsCheck(g_TclInterp)) return {};
        LogDebugMsg(DBG_DEBUG, "%s(): the NVRAM fails its check and %s will be programmed back: the adapter is "
                    "listed as the backup holds it.", kFn, path.c_str());
        return path;
    }
    return {};
}

}  // namespace

LeftoverBackupView::LeftoverBackupView(const yxmapi::PhyNicInfo& phy, const yxmapi::NicInfoEx& nic)
{
    // Only the legacy family lists one item per image of its directory; the other families list
    // the whole NVRAM as one package, whose update rewrites every image whatever the directory
    // shows.
    if (phy.get(yxmapi::phy::kFamily) != yxmapi::kFamilyLegacy || !g_TclInterp) return;
    SelectNic(phy, nic);
    HostOps ops;
    BuildHostOps(&ops, g_TclInterp, 0);
    SetSelectedNIC(&ops);
    const std::string path = LeftoverToProgramBack();
    if (path.empty()) return;
    m_previous = g_Bkv9Helper.ImageFileName();
    m_active = g_Bkv9Helper.SetImageFileName(path);
}

LeftoverBackupView::~LeftoverBackupView()
{
    if (m_active) g_Bkv9Helper.SetImageFileName(m_previous);
}

std::string LeftoverBackupInView()
{
    return g_Bkv9Helper.ImageFileName();
}

namespace {

// The version text of one image as the engine's "dir <image>" gives it, and the image's offset.
std::string DirVersion(const char* image, uint32_t* offset)
{
    HostOps ops;
    BuildHostOps(&ops, g_TclInterp, 0);
    Tcl_Obj* words[] = {Tcl_NewStringObj("dir", -1), Tcl_NewStringObj(image, -1)};
    for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
    const uint32_t code = g_uUpgRetCode;
    Tcl_ResetResult(g_TclInterp);
    std::string version;
    if (gpIFwUpgKv9->nvm_dir(ops, 2, words) == TCL_OK) {
        // { name sram offset bytes processor version }
        Tcl_Obj* list = Tcl_GetObjResult(g_TclInterp);
        int count = 0;
        Tcl_Obj** items = nullptr;
        int at = 0;
        if (Tcl_ListObjGetElements(nullptr, list, &count, &items) == TCL_OK && count == 6 &&
            Tcl_GetIntFromObj(nullptr, items[2], &at) == TCL_OK) {
            version = Tcl_GetString(items[5]);
            if (offset) *offset = static_cast<uint32_t>(at);
        }
    }
    for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
    Tcl_ResetResult(g_TclInterp);
    g_uUpgRetCode = code;
    return version;
}

}  // namespace

LegacyFirmwareTexts ReadLegacyFirmwareTexts()
{
    LegacyFirmwareTexts t;
    if (!g_TclInterp) return t;
    t.bootcode = DirVersion("BC1", nullptr);
    // The boot agent by its first ROM image ("<kind> a.b.c"), as the adapter reports it.
    t.pxe = DirVersion("MBA", nullptr);
    if (const size_t end = t.pxe.find(';'); end != std::string::npos) t.pxe.resize(end);
    uint32_t iscsiAt = 0;
    t.iscsi = DirVersion("ISCSI_B", &iscsiAt);
    if (!t.iscsi.empty()) {
        // The IP layout of the iSCSI boot image comes first: it chooses the image's upgrade option.
        uint32_t mark = 0;
        if (g_Bkv9Helper.NvmReadDword(0, iscsiAt + 12, &mark, 1) != BKV9_OK) mark = 0;
        mark &= 0xFFFF;
        t.iscsi = (mark == 0x86DD ? "ipv6 " : mark == 0xC0B0 ? "ipv4_ipv6 " : "ipv4 ") + t.iscsi;
    }
    t.ump = DirVersion("UMP", nullptr);
    t.ipmi = DirVersion("IPMI_INIT", nullptr);
    t.ncsi = DirVersion("NCSI_CMN", nullptr);
    t.ccm = DirVersion("CCM", nullptr);
    return t;
}

}  // namespace fwupg
