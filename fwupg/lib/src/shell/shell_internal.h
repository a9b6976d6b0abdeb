// Helpers shared by the shell's command procedures.
#pragma once

#include <tcl.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "fwupg/command_exec.h"
#include "fwupg/debug_log.h"
#include "fwupg/host_ops.h"
#include "fwupg/session_state.h"

namespace fwupg::shell {

// Sets the last error and returns TCL_ERROR.
inline int Fail(uint32_t code)
{
    g_uUpgRetCode = code;
    return TCL_ERROR;
}

// The words of a command as narrow texts.
std::vector<std::string> Words(int objc, Tcl_Obj* const objv[]);

// The host record a command hands to the facade.
HostOps CommandHostOps(Tcl_Interp* interp, ClientData clientData);

// Runs a command body so that no exception leaves the command procedure: an ExceptionClass sets
// its code, anything else the generic failure code, and the command returns TCL_ERROR.
template <class Body>
int GuardCommand(const char* name, Body&& body) noexcept
{
    try {
        return body();
    } catch (const ExceptionClass& e) {
        LogDebugString("%s() caught exception [%u].\n", name, e.code);
        g_uUpgRetCode = e.code ? e.code : CMD_FAILED;
    } catch (const std::exception& e) {
        LogDebugString("%s() caught exception [%s].\n", name, e.what());
        g_uUpgRetCode = CMD_FAILED;
    } catch (...) {
        LogDebugString("%s() caught an unknown exception.\n", name);
        g_uUpgRetCode = CMD_FAILED;
    }
    return TCL_ERROR;
}

// Files of the NVRAM backup taken before an upgrade.
// Makes an existing file writable and removes it; false when it still exists afterwards.
bool RemoveFileIfPresent(const std::string& path);
// The whole file, or false when it cannot be opened, sized or read completely.
bool ReadFileToBuffer(const std::string& path, std::string* bytes);
// SHA-256 of the whole file as lower-case hex text; false when the file cannot be read whole.
bool FingerprintFile(const std::string& path, std::string* hex);
// Checks the backup against the adapter and programs it back with "_prg 0 <file>".
int DoRestoreWithDumpFile(Tcl_Interp* interp, const std::string& backup);
// Takes the NVRAM backup of a change: "_dump <file>", then the file's fingerprint into `key`.
// TCL_OK when both are there; a failed dump leaves its code, an unreadable backup gives 13.
int TakeBackup(Tcl_Interp* interp, const char* caller, const std::string& backup, std::string* key);
// Fingerprints the backup again and, when it is unchanged, programs it back: 138 restored,
// 139 fingerprint changed (nothing restored), 140 restore failed. A reset is asked for in each
// case. Returns the restore's Tcl result, or `lineResult` when nothing was programmed.
int RestoreBackup(Tcl_Interp* interp, const char* caller, const std::string& backup, const std::string& key,
                  int lineResult);
// Removes the backup file on every way out of a command.
struct BackupCleanup {
    std::string path;
    ~BackupCleanup()
    {
        if (!path.empty()) RemoveFileIfPresent(path);
    }
};
// Evaluates "crc -no_print".
int CheckCRConMBIUprgade(Tcl_Interp* interp);

}  // namespace fwupg::shell
