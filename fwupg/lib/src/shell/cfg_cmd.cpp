// "cfg": sets one NVRAM configuration option (option=value), the VPD V0 version text or the VPD
// YB bytes through the configuration engine of the adapter's family.
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/cfg_request.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "fwupg/shell_commands.h"
#include "shell_internal.h"

namespace {

using namespace fwupg;

constexpr uint64_t kFlagNumbered = 0x4000;
constexpr uint64_t kFlagVpdV0 = 0x2000000;
constexpr uint64_t kFlagVpdYb = 0x8000000;
constexpr size_t kVpdV0MaxLength = 256;
constexpr size_t kVpdYbMaxBytes = 128;  // the YB field of the VPD record

// Reads a whole text as a 32-bit number by C rules (decimal, 0x hexadecimal, 0 octal; a leading
// "-" wraps as the unsigned conversion does). False for empty text, junk or a value beyond 32 bits.
bool ParseNumber(const std::string& text, uint32_t* out)
{
    if (text.empty()) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    if (begin[0] == '-') {
        long long v = std::strtoll(begin, &end, 0);
        if (errno || *end || end == begin || v < INT32_MIN) return false;
        *out = static_cast<uint32_t>(static_cast<int32_t>(v));
        return true;
    }
    unsigned long long v = std::strtoull(begin, &end, 0);
    if (errno || *end || end == begin || v > UINT32_MAX || std::strchr(begin, '-')) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

// "option=value": the option before the first "=", the value behind the last.
bool ParseAssignment(const std::string& word, uint32_t* option, uint32_t* value)
{
    size_t first = word.find('=');
    size_t last = word.rfind('=');
    if (first == std::string::npos) return false;
    return ParseNumber(word.substr(0, first), option) && ParseNumber(word.substr(last + 1), value);
}

// Boards whose engine takes options 4 and 0x20000000 as flag options.
bool FlagOptionBoard()
{
    using namespace yxmapi;
    const uint32_t did = g_CurPhyNic.get(phy::kDid);
    const uint32_t ssid = g_CurPhyNic.get(phy::kSsid);
    return g_CurPhyNic.get(phy::kVid) == 0x1077 && g_CurPhyNic.get(phy::kSvid) == 0x1590 &&
           (did == 0x16A1 || did == 0x16A4) && (ssid == 0x00EC || ssid == 0x22ED);
}

bool ValidVpdV0(const std::string& text)
{
    if (text.size() > kVpdV0MaxLength) return false;
    size_t dots = 0;
    for (char c : text) dots += c == '.';
    return dots == 2 || dots == 3;
}

// Hexadecimal byte words split at blanks, tabs, CR and LF: a count byte then the low bytes.
bool ParseVpdYb(const std::string& text, std::vector<uint8_t>* bytes)
{
    bytes->assign(1, 0);
    size_t pos = 0;
    while (true) {
        pos = text.find_first_not_of(" \t\r\n", pos);
        if (pos == std::string::npos) break;
        size_t end = text.find_first_of(" \t\r\n", pos);
        std::string token = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        unsigned int v = 0;
        if (std::sscanf(token.c_str(), "%x", &v) != 1) return false;
        if (bytes->size() > kVpdYbMaxBytes) return false;
        bytes->push_back(static_cast<uint8_t>(v));
        if (end == std::string::npos) break;
        pos = end;
    }
    (*bytes)[0] = static_cast<uint8_t>(bytes->size() - 1);
    return true;
}

// An E1-E3 option change writes several blocks (each path's configuration and feature blocks, the
// VPD copy, configuration images). One that fails after it began writing would leave the paths
// disagreeing or a block whose CRC fails, so the change runs with the NVRAM backup, programmed
// back when the change fails after a write. A legacy VPD change writes one record, but that record
// shares the first flash sector with the directory and the boot code's start, which a power loss
// during an erasing write takes with it; its backup lets the next change program them back. Chips
// whose NVRAM the dump does not serve (device 0x16A4 boards, for one) take the change as before,
// without a backup.

int NvmCfg(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    static const char* const kName = "FWUPG_NvmCfg_Cmd";
    g_bNoReset = 0;
    const std::vector<std::string> args = shell::Words(objc, objv);
    if (args.size() < 2) {
        LogDebugString("FWUPG_NvmCfg_Cmd(): 'cfg' command without any parameter");
        return shell::Fail(CMD_BAD_ARGUMENTS);
    }
    size_t at = 1;
    if (args[at] == "-noreset") {
        if (args.size() < 3) {
            LogDebugString("FWUPG_NvmCfg_Cmd(): Param error");
            return shell::Fail(CMD_BAD_ARGUMENTS);
        }
        g_bNoReset = 1;
        ++at;
    }
    const std::string& param = args[at];
    const bool v0 = param == "-vpdv0";
    const bool yb = param == "-vpdyb";
    if (!v0 && !yb) LogDebugString("FWUPG_NvmCfg_Cmd(): Unrecognized parameter: %s.", param.c_str());

    const uint32_t family = SelectedFamily();
    if (family != yxmapi::kFamilyLegacy && family != yxmapi::kFamily57710 && family != yxmapi::kFamilyE4)
        return shell::Fail(60);
    if ((v0 || yb) && at + 1 >= args.size()) {
        LogDebugString("FWUPG_NvmCfg_Cmd(): Missing parameter - VPDV0 string required");
        return shell::Fail(CMD_BAD_ARGUMENTS);
    }

    cfg_request request;
    std::memset(&request, 0, sizeof request);
    std::string v0Text;
    std::vector<uint8_t> ybBytes;
    if (v0) {
        v0Text = args[at + 1];
        if (!ValidVpdV0(v0Text)) {
            LogDebugString("FWUPG_NvmCfg_Cmd(): Invalid VPD-V0 String ! format should be x.x.x or x.x.x.x");
            return shell::Fail(CMD_BAD_ARGUMENTS);
        }
        request.option_flag = kFlagVpdV0;
        request.data = v0Text.data();
    } else if (yb) {
        if (!ParseVpdYb(args[at + 1], &ybBytes)) {
            LogDebugString("FWUPG_NvmCfg_Cmd(): Invalid VPD-YB String");
            return shell::Fail(CMD_BAD_ARGUMENTS);
        }
        request.option_flag = kFlagVpdYb;
        request.data = ybBytes.data();
    } else {
        uint32_t option = 0, value = 0;
        if (!ParseAssignment(param, &option, &value)) {
            LogDebugString("FWUPG_NvmCfg_Cmd(): Param error");
            return shell::Fail(CMD_BAD_ARGUMENTS);
        }
        request.option_flag = kFlagNumbered;
        request.option_num = option;
        request.value = value;
        if (FlagOptionBoard() && (option == 4 || option == 0x20000000)) request.option_flag = option;
    }

    HostOps ops = shell::CommandHostOps(interp, cd);
    const char* v0Shown = v0 ? v0Text.c_str() : "";
    int result = 0;
    const char* slot = "";
    if (family == yxmapi::kFamilyE4) {
        slot = "set_nvm_cfg_e4";
        LogDebugString("%s() calling gpIFwUpgKv9->%s() with VPDV0=%s.", kName, slot, v0Shown);
        result = gpIFwUpgKv9->set_nvm_cfg_e4(ops, &request);
    } else if (family == yxmapi::kFamily57710) {
        slot = "set_nvm_cfg_57710";
        LogDebugString("%s() calling gpIFwUpgKv9->%s() with VPDV0=%s.", kName, slot, v0Shown);
        result =
            shell::ChangeWithBackup(interp, kName, [&] { return gpIFwUpgKv9->set_nvm_cfg_57710(ops, &request); });
    } else {
        slot = "set_nvm_cfg";
        LogDebugString("%s() calling gpIFwUpgKv9->%s() with VPDV0=%s.", kName, slot, v0Shown);
        // Numbered options write nothing on this family (the engine supports none): no backup.
        if (v0 || yb)
            result = shell::ChangeWithBackup(interp, kName, [&] { return gpIFwUpgKv9->set_nvm_cfg(ops, &request); });
        else
            result = gpIFwUpgKv9->set_nvm_cfg(ops, &request);
    }
    LogDebugString("%s() gpIFwUpgKv9->%s() returned %d.", kName, slot, result);
    return result ? TCL_ERROR : TCL_OK;
}

}  // namespace

int FWUPG_NvmCfg_Cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return shell::GuardCommand("FWUPG_NvmCfg_Cmd", [&] { return NvmCfg(cd, interp, objc, objv); });
}
