// The adapter access helper: the front end's one point of contact with the selected adapter below
// the engines. It publishes the adapter's facts in the Tcl array ::toe (SetSelectedNIC), serves
// the NVRAM slots of the host record through the management library with a read cache, and holds
// the driver-version gate, the ::toe integer reader and the board table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <yxmapi/yxmapi.h>

#include "fwupg/host_ops.h"

struct Tcl_Interp;

// Status codes of the adapter access helper.
enum Bkv9Status : uint32_t {
    BKV9_OK = 0,
    BKV9_READ_FAILED = 4,        // NVRAM or register read failed
    BKV9_FILE_ERROR = 13,        // image file cannot be opened or read
    BKV9_UNKNOWN_ADAPTER = 16,   // unknown family or media type
    BKV9_WRITE_FAILED = 18,      // NVRAM write failed
    BKV9_NO_MEMORY = 34,
    BKV9_NO_ACCESS = 41,         // the driver gives no access to the chip
    BKV9_END_OF_FILE = 47,
    BKV9_DUMP_READ_FAILED = 59,
    BKV9_DUMP_WRITE_FAILED = 80,
};

class Bkv9Helper {
public:
    static constexpr size_t kImageFileNameSize = 520;

    Bkv9Helper() = default;
    virtual ~Bkv9Helper() = default;
    Bkv9Helper(const Bkv9Helper&) = delete;
    Bkv9Helper& operator=(const Bkv9Helper&) = delete;

    // HostOps slots 5-8. The device index is ignored: they act on the selected adapter. Each
    // failure is also stored as the last error. A swap flag reverses the bytes of each whole dword.
    uint32_t NvmReadDword(uint32_t devIndex, uint32_t offset, uint32_t* out, uint8_t swap);
    uint32_t NvmWriteDword(uint32_t devIndex, uint32_t offset, uint32_t value, uint8_t swap);
    // Reads `length` bytes; a length that is not a multiple of 4 gets its tail from the dword
    // that covers it.
    uint32_t NvmReadBlock(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap);
    // Writes `length` bytes. With the swap flag the whole dwords of the caller's buffer are
    // byte-reversed in place and stay so (the legacy engine relies on it); a tail of 1-3 bytes is
    // written unswapped by read-modify-write of the dword that covers it, so no byte outside the
    // range is read from the buffer or changed in NVRAM.
    uint32_t NvmWriteBlock(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap);

    // HostOps slot 1: ::toe(<name>) as an integer; 1 with a message in the result when missing or
    // not a number.
    static int GetToeInt(Tcl_Interp* interp, const char* name, int* out);
    // Board number of a PCI device id; an id that is not listed is returned unchanged.
    static uint32_t BoardFromDeviceId(uint32_t deviceId);

    // Family-specific facts (steps of SetSelectedNIC).
    uint32_t SetToeVars57710(HostOps* ops);
    uint32_t SetToeVarsE4(HostOps* ops);

    // The NVRAM image file that stands in for the adapter (reads from it, writes ignored). Nothing
    // in the library names one; offline tools and tests may.
    bool SetImageFileName(const std::string& path);
    const char* ImageFileName() const { return m_imageFile; }

    uint32_t DeviceIndex() const { return m_devIndex; }

private:
    uint32_t NvmApiRead(uint32_t handle, uint32_t offset, uint32_t* buf, uint32_t dwords);
    uint32_t NvmApiWrite(uint32_t handle, uint32_t offset, const uint32_t* buf, uint32_t dwords);
    uint32_t DumpFileTransfer(uint32_t offset, void* buf, uint32_t dwords, bool write);
    uint32_t FileNvmRead(uint32_t offset, uint32_t* out, uint8_t swap);
    uint32_t FileNvmReadBlock(uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap);

    uint32_t m_devIndex = 0;
    char m_imageFile[kImageFileNameSize] = {};
};

extern Bkv9Helper g_Bkv9Helper;

// Publishes the selected adapter's facts in the interpreter of `ops` (slot 0): 0, 4 (register read
// failed), 16 (unknown family or media type). May change the record's devIndex.
uint32_t SetSelectedNIC(HostOps* ops);

// Whether the adapter's driver is recent enough to update its firmware (prints why not).
bool _CanUpgradeFW(const yxmapi::PhyNicInfo& nic);
// Whether the management library is at least 7.6.14 (prints a warning when not).
bool CheckApiVersion();
// Number of virtual functions per physical function shown by the configuration display: always 0.
uint32_t get_vfs_per_pf();
// Prints to standard output and hands the same text to the debug channel.
void ConsolePrint(int severity, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

namespace fwupg {
// Removes the 8 spare bytes after each 256-byte page of a paged NVRAM image, in place; returns the
// stripped length.
size_t StripPageSpares(uint8_t* buf, size_t length);
// The PHY type of a legacy adapter from registers 0x808 and 0x8EC and its port: "COPPER",
// "SERDES", or null when unknown.
const char* LegacyPhyType(uint32_t reg808, uint32_t reg8EC, uint32_t port);
// The two-character chip revision of a chip id.
std::string ChipRevision(uint32_t chipId, uint32_t family);
}  // namespace fwupg
