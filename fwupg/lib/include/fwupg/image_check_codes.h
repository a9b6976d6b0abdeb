// Error codes of the image-file checks and the firmware package reader, as they reach the
// compatibility check and the shell's last error.
#pragma once

#include <cstdint>

namespace fwupg::imgcode {

inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kFileRead = 13;          // file size or read failed
inline constexpr uint32_t kChipMask = 16;          // chip mask excludes this chip; no package row
inline constexpr uint32_t kNvmSize = 19;           // size differs from the NVRAM size
inline constexpr uint32_t kPciIds = 22;            // PCI ids differ
inline constexpr uint32_t kUnknownFormat = 26;     // format not known for this family
inline constexpr uint32_t kNotOnAdapter = 30;      // image kind not on the adapter; no such package image
inline constexpr uint32_t kNoMemory = 34;
inline constexpr uint32_t kHeaderVersion = 35;     // unknown record header version
inline constexpr uint32_t kMedia = 48;             // media or PHY mismatch
inline constexpr uint32_t kWrongFamily = 60;
inline constexpr uint32_t kNoSuchFile = 63;
inline constexpr uint32_t kNotIscsiOrL2t = 67;
inline constexpr uint32_t kNotUmp = 68;
inline constexpr uint32_t kNotMba = 69;
inline constexpr uint32_t kNotBootOrMfw = 75;
inline constexpr uint32_t kNotIpmi = 76;
inline constexpr uint32_t kNotFullImage = 77;
inline constexpr uint32_t kUnknownOption = 78;     // unknown option, no directory type; bad package header
inline constexpr uint32_t kMbaPresence = 81;
inline constexpr uint32_t kUmpPresence = 82;
inline constexpr uint32_t kIpmiPresence = 83;
inline constexpr uint32_t kIscsiPresence = 84;
inline constexpr uint32_t kNcsiIncomplete = 96;
inline constexpr uint32_t kNotPhy = 98;
inline constexpr uint32_t kNotL2t = 104;
inline constexpr uint32_t kNcsiPresence = 114;
inline constexpr uint32_t kNotFcoe = 115;
inline constexpr uint32_t kFcoePresence = 116;
inline constexpr uint32_t kNotCcm = 121;
inline constexpr uint32_t kCcmPresence = 123;
inline constexpr uint32_t kBadPackage = 126;       // package invalid, or wrong family for one
inline constexpr uint32_t kPackageLayout = 127;    // package header length or layout does not add up

// What a code says about the file, for the debug log.
const char* Text(uint32_t code);

}  // namespace fwupg::imgcode
