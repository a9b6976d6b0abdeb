// Flash, dump and board-option work of one adapter (see device_work.h).
#include "fwupg/device_work.h"

#include <cstdio>
#include <string>

#include "fwupg/bkv9_helper.h"
#include "fwupg/command_exec.h"
#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/event_log.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/oem_interface.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"

namespace fwupg::device {
namespace {

constexpr size_t kShellPathMax = 260;
constexpr size_t kSubjectMax = 520;  // the subject lines stay well inside the event text

// Replaces the event text with the subject and version lines of a PHY or MBI update.
void SetVersionSubject(const char* kind, const Firmware& item)
{
    char text[kSubjectMax];
    std::snprintf(text, sizeof text,
                  "Subject:\n -Firmware Update Operation\n\nFirmware Version Information: \n - Old %s Version : %s "
                  "\n - New %s Version : %s\n\n",
                  kind, item.m_ActiveVersion.c_str(), kind, item.m_ImageVersion.c_str());
    ClearEventText();
    AppendEventText(std::string_view(text));
}

bool NeedsRevisionOption(const Device& d)
{
    return d.Vid() == 0x14E4 && d.Svid() == 0x103C && (d.Ssid() == 0x22FA || d.Ssid() == 0x1916);
}

}  // namespace

const char* EngineOption(int type, std::string_view activeVersion)
{
    switch (type) {
    case FW_BOOTCODE: return "-bc";
    case FW_PXE: return "-mba";
    case FW_ISCSI:
        if (activeVersion.find("ipv4_ipv6") != std::string_view::npos)
            return "-ib_ipv4n6";
        return activeVersion.find("ipv6") != std::string_view::npos ? "-ib_ipv6" : "-ib";
    case FW_UMP: return "-ump";
    case FW_IPMI: return "-ipmi";
    case FW_NCSI: return "-ncsi";
    case FW_ASF: case FW_DASH: case FW_SMASH: return "-mgmt";
    case FW_L2: return "-l2t";
    case FW_FCOE: return "-feb";
    case FW_MFW: return "-mfw1";
    case FW_CCM: return "-ccm";
    case FW_MBI: return "-mbi";
    case FW_PHY: return "-upg";
    default: return nullptr;
    }
}

bool ShellPath(std::string_view path, std::string* out)
{
    out->assign(path);
    for (char& c : *out)
        if (c == '\\')
            c = '/';
    LogDebugMsg(DBG_DEBUG, "oem_do_discovery_with_files():  Formatted path %s.\n", out->c_str());
    return out->size() <= kShellPathMax;
}

uint32_t Upgrade(const Device& device, const std::string& imagePath, bool force, std::string_view itemType)
{
    static const char* const kFn = "Device::Upgrade";
    LogDebugMsg(DBG_DEBUG, "%s(): %s ", kFn, imagePath.c_str());
    SelectNic(device.m_PhyNicInfo, device.m_NicInfo);
    // The checks, the update's line and the board's option line run under one claim.
    const yx::ClaimScope claim(device.ApiHandle());
    const Firmware* chosen = nullptr;
    for (const Firmware& item : device.m_Firmwares) {
        if (!itemType.empty() && item.m_TypeName != itemType)
            continue;
        if (EngineOption(item.m_Type, item.m_ActiveVersion) && device.IsCompatible(imagePath, item.m_Type)) {
            chosen = &item;
            break;
        }
    }
    if (!chosen) {
        LogDebugMsg(DBG_DEBUG, "%s(): no %s item of this adapter takes %s.", kFn,
                    itemType.empty() ? "firmware" : std::string(itemType).c_str(), imagePath.c_str());
        return RET_FW_IMAGE_INVALID;
    }
    SelectNic(device.m_PhyNicInfo, device.m_NicInfo);  // the checks may have selected another function
    const uint32_t family = device.Family();
    if (family != 4 && family != 5 && family != 6)
        return RET_DEVICE_NOT_SUPPORTED;
    std::string file;
    if (!ShellPath(imagePath, &file))
        return RET_FW_IMAGE_INVALID;
    const char* option = EngineOption(chosen->m_Type, chosen->m_ActiveVersion);
    uint32_t result;
    if (chosen->m_Type == FW_PHY) {
        if (family != 5 && family != 6)
            return RET_DEVICE_NOT_SUPPORTED;
        SetVersionSubject("PHY", *chosen);
        result = command::FwPhyUpgKv9(option, file.c_str());
    } else {
        if (chosen->m_Type == FW_MBI)
            SetVersionSubject("MBI", *chosen);
        LogDebugMsg(DBG_DEBUG, "%s(): Image:%s FW:%s", kFn, file.c_str(), chosen->m_ActiveVersion.c_str());
        result = command::FwUpgKv9(force, option, file.c_str());
    }
    // The board's option belongs to the update: when it cannot be stored (its change undone), the
    // update has not completed and must not be reported as a success.
    if ((result == RET_SUCCESSFUL || result == RET_REBOOT_REQUIRED) && NeedsRevisionOption(device) &&
        command::FwCfgKv9(16, 3) != RET_REBOOT_REQUIRED) {
        LogDebugMsg(DBG_DEBUG, "%s(): the board option 16=3 could not be stored.", kFn);
        result = RET_OPERATION_FAILED;
    }
    if (result != RET_SUCCESSFUL && result != RET_REBOOT_REQUIRED && g_bLogEvents) {
        BuildEventText(result);
        LogSystemEventMsg(kEventTypeInformation);
    }
    return result;
}

uint32_t DumpNVM(const Device& device, const std::string& dumpPath)
{
    static const char* const kFn = "Device::DumpNVM";
    LogDebugMsg(DBG_DEBUG, "%s(): %s ", kFn, dumpPath.c_str());
    SelectNic(device.m_PhyNicInfo, device.m_NicInfo);
    const uint32_t family = device.Family();
    if (family != 5 && family != 6)
        return RET_DEVICE_NOT_SUPPORTED;
    std::string file;
    if (!ShellPath(dumpPath, &file))
        return RET_INVALID_DUMP_FILE;
    LogDebugMsg(DBG_DEBUG, "%s(): Passing params to ProcessCommand() : szDumpImage:%s", kFn, "FwDumpKv9");
    if (!g_TclInterp)
        return RET_INITIALIZE_FAILED;
    return command::FwDumpKv9(file.c_str());
}

bool SetOptionsForVindoAdapter(const Device& d)
{
    static const char* const kFn = "Device::SetOptionsForVindoAdapter";
    if (!(d.Vid() == 0x1077 && d.Svid() == 0x1590 && (d.Did() == 0x16A1 || d.Did() == 0x16A4) &&
          (d.Ssid() == 0x00EC || d.Ssid() == 0x22ED)))
        return false;
    SelectNic(d.m_PhyNicInfo, d.m_NicInfo);
    const yx::ClaimScope claim(d.ApiHandle());  // both option lines under one claim
    HostOps ops;
    BuildHostOps(&ops, g_TclInterp, 0);
    SetSelectedNIC(&ops);
    LogDebugMsg(DBG_DEBUG, "%s(): Vindo Adapters detected function_no(%u) common_nvm_is_4port(%d).", kFn,
                d.Function(), 0);
    LogDebugMsg(DBG_DEBUG, "%s(): Enabling CFG_MBA_OPTION on Vindo Adapter.", kFn);
    command::FwCfgKv9(4, 1);
    LogDebugMsg(DBG_DEBUG, "%s(): Enabling CFG_FORCE_EXP_ROM_ADV_OPTION on Vindo Adapter.", kFn);
    command::FwCfgKv9(0x20000000, 1);
    LogDebugMsg(DBG_DEBUG, "%s(): Done setting options on Vindo Adapter.", kFn);
    return true;
}

}  // namespace fwupg::device
