// Whether a backup file holds the NVRAM of the selected adapter: as many bytes as its NVRAM, and a
// configuration block carrying the adapter's MAC address and PCI device id. Words stand big-endian
// in NVRAM order, as the dump writes them.
//
// E1-E3: a port part of 400 bytes at 300 + 400 x port (path 0) or 2068 + 400 x port (path 1) starts
// with the word (vendor id << 16) | device id; the MAC address is in its words at +16 (upper two
// bytes in the low half) and +20: the port's first function's, from which the further functions of
// multi-function modes count theirs.
// Legacy family: the function's hardware block at 0x134 (first) or 0x188 (second) starts with the
// MAC address in the same form; the device id is the low half of the word at +0x20 of that block
// (two-function boards) or of the word at 0x104 (one-function boards).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "fwupg/selected_nic.h"
#include "platform/byte_order.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

bool Be32(const std::string& bytes, size_t at, uint32_t* value)
{
    if (at + 4 > bytes.size()) return false;
    *value = platform::load_be32(reinterpret_cast<const uint8_t*>(bytes.data() + at));
    return true;
}

// The adapter's MAC address text as 48 bits; false unless it holds 12 hexadecimal digits.
bool MacOfText(std::string_view text, uint64_t* mac)
{
    uint64_t value = 0;
    int digits = 0;
    for (char c : text) {
        if (c == '\0') break;
        if (c == ':' || c == '-' || c == '.') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)) || ++digits > 12) return false;
        value = value << 4 | static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                               : std::tolower(c) - 'a' + 10);
    }
    *mac = value;
    return digits == 12;
}

bool MacAt(const std::string& bytes, size_t at, uint64_t mac)
{
    uint32_t high = 0, low = 0;
    return Be32(bytes, at, &high) && Be32(bytes, at + 4, &low) &&
           (uint64_t{high & 0xFFFF} << 32 | low) == mac;
}

// A port part's MAC address is that of its first function; in multi-function modes the further
// functions of the port take it plus 4 x (f >> 1) (two ports a path) or 8 x (f >> 2) (four), added
// to its low word: functions 2-7 are at +4, +8 or +12 of the port's address.
bool PortOfFunctionMac(const std::string& bytes, size_t at, uint64_t mac)
{
    uint32_t high = 0, low = 0;
    if (!Be32(bytes, at, &high) || !Be32(bytes, at + 4, &low) || (high & 0xFFFF) != mac >> 32) return false;
    const uint32_t step = static_cast<uint32_t>(mac) - low;
    return step == 0 || step == 4 || step == 8 || step == 12;
}

bool DidAt(const std::string& bytes, size_t at, uint32_t did)
{
    uint32_t word = 0;
    return Be32(bytes, at, &word) && (word & 0xFFFF) == did;
}

}  // namespace

std::string SelectedAdapterIdentity()
{
    char did[16];
    std::snprintf(did, sizeof did, " %04X", static_cast<unsigned>(g_CurPhyNic.get(yxmapi::phy::kDid)));
    return std::string(g_CurPhyNic.get(yxmapi::phy::kMac)) + did;
}

bool BackupCarriesSelectedAdapter(const std::string& bytes)
{
    const uint32_t size = g_CurNicInfo.get(yxmapi::nic::kFlashWord) & yxmapi::nic::kFlashSizeMask;
    if (size == 0 || bytes.size() != size) return false;
    uint64_t mac = 0;
    if (!MacOfText(g_CurPhyNic.get(yxmapi::phy::kMac), &mac)) return false;
    const uint32_t did = g_CurPhyNic.get(yxmapi::phy::kDid) & 0xFFFF;
    switch (SelectedFamily()) {
    case yxmapi::kFamily57710:
        for (size_t part : {300u, 700u, 2068u, 2468u})
            if (DidAt(bytes, part, did) && PortOfFunctionMac(bytes, part + 16, mac)) return true;
        return false;
    case yxmapi::kFamilyLegacy:
        for (size_t block : {0x134u, 0x188u})
            if (MacAt(bytes, block, mac) && (DidAt(bytes, block + 0x20, did) || DidAt(bytes, 0x104, did)))
                return true;
        return false;
    default:
        return false;
    }
}

}  // namespace fwupg::shell
