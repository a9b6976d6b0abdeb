// What an adapter does with a flash or dump request: flash one image file as the first firmware
// item of the adapter that the file fits, dump the adapter's NVRAM into a file, and set the board
// options some boards need after an update. Each operation selects its adapter afresh and runs one
// shell command line through the command builders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class Device;

namespace fwupg::device {

// Firmware type indexes of an adapter's firmware list.
enum FirmwareType : int {
    FW_BOOTCODE = 0, FW_PXE = 1, FW_ISCSI = 2, FW_UMP = 3, FW_IPMI = 4, FW_NCSI = 5, FW_ASF = 6,
    FW_DASH = 7, FW_L2 = 8, FW_FCOE = 9, FW_MFW = 10, FW_SMASH = 11, FW_CCM = 12, FW_MBI = 13,
    FW_PHY = 14,
};

// The engine's upgrade option of a firmware type; iSCSI follows the item's active version text.
// Null for a type without one.
const char* EngineOption(int type, std::string_view activeVersion);

// The path as the shell takes it: every "\" turned into "/". False when it is longer than the
// shell's 260 bytes (refused rather than cut, which would name another file).
bool ShellPath(std::string_view path, std::string* out);

// Flashes `imagePath` onto the adapter as its first firmware item that takes the file; with
// `itemType` (a type name of the report, e.g. "PHY") only items of that type are tried, so a file
// of another kind is refused. 103 when no item takes the file, 104 for a family the engines do
// not take, else the command builder's code. A success on the boards that need it is followed by
// "cfg 16=3"; a failure while events are logged is reported to the event log.
uint32_t Upgrade(const Device& device, const std::string& imagePath, bool force, std::string_view itemType = {});

// Dumps the adapter's NVRAM into `dumpPath`: 104 for families other than 5 and 6, 105 without an
// interpreter, else the dump builder's code.
uint32_t DumpNVM(const Device& device, const std::string& dumpPath);

// On the boards that need them, "cfg 4=1" and "cfg 536870912=1"; true when it ran them.
bool SetOptionsForVindoAdapter(const Device& device);

}  // namespace fwupg::device
