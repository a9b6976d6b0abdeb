// Command execution: every operation on an adapter is one shell command line written into the
// command buffer by a builder and run by ProcessCommand, which claims the selected adapter,
// publishes its facts to the engines, evaluates the line and then always evaluates "q" (release,
// and reset or ask for a reboot). The last error left in g_uUpgRetCode is mapped to a ReturnCode.
//
// Lines are built as Tcl lists, so a path with blanks, "[", "$" or "\" stays one word and runs
// nothing; a line that does not fit the buffer is refused, never cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The one command line in flight (always terminated).
inline constexpr size_t kCommandBufferSize = 520;
extern char g_CommandBuffer[kCommandBufferSize];

// Last-error values the command execution reads or sets.
enum CommandCode : uint32_t {
    CMD_OK = 0,
    CMD_FAILED = 1,            // a command line failed without naming a reason
    CMD_BAD_ARGUMENTS = 2,
    CMD_CLAIM_FAILED = 14,
    CMD_ALREADY_INSTALLED = 35,
    CMD_REBOOT_PENDING = 95,   // success; a reboot or reset is still needed
    CMD_INVALID_MBI = 126,
    CMD_RESTORED = 138,        // upgrade failed, previous firmware restored
    CMD_BACKUP_MISMATCH = 139, // backup fingerprint changed; nothing restored
    CMD_RESTORE_FAILED = 140,
    CMD_MBI_DOWNGRADE_BLOCKED = 142,
    CMD_WORK_FILES_FAILED = 150,  // a work file (backup, fingerprint, images) could not be written
    CMD_WORK_FILE_UNSAFE = 151,   // a link or other non-regular file stands at a work file's name
    CMD_BACKUP_BUSY = 152,        // another run holds the backup of this adapter
};

// The library's own exception: its first field is a 32-bit code.
struct ExceptionClass {
    uint32_t code;
};

// Clears the session marks (not g_bNvmWritten), claims the selected adapter, publishes ::toe,
// evaluates g_CommandBuffer in g_TclInterp and then "q". A failed claim keeps code 14 and skips the
// line (nothing may be written without the claim); "q" still runs. A line that fails without
// setting a code gets CMD_FAILED. No exception leaves it.
void ProcessCommand();

namespace fwupg::command {

// The builders: each needs the interpreter of the current call and the selected adapter, and
// returns a ReturnCode.
// "upgrade [-F] <option> <image> [NVMDump#_<MAC>.BIN]" (no backup on the E4 family):
// 104 driver too old, 105 no interpreter, else 1 success, 14 restored, 2 already installed,
// 103 invalid MBI, 110 restore failed, 111 backup fingerprint changed, 3 downgrade blocked, 9 work
// files cannot be written safely, 4 another run holds the backup, 7.
uint32_t FwUpgKv9(bool force, const char* option, const char* imagePath);
// The backup file of the selected adapter's upgrade lines: "NVMDump#_<MAC>.BIN" in the working
// folder.
std::string UpgradeBackupPath();
// "cfg <option>=<value>": 105, 1, 7.
uint32_t FwCfgKv9(int32_t option, int32_t value);
// "phy <option> <file>": 104, 105, 1, 7.
uint32_t FwPhyUpgKv9(const char* option, const char* filePath);
// "_dump <file>": 105, 0, 7.
uint32_t FwDumpKv9(const char* filePath);

// The code mappings of the builders.
uint32_t MapUpgradeCode(uint32_t code);
uint32_t MapSuccessCode(uint32_t code, uint32_t success);

}  // namespace fwupg::command
