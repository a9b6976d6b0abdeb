// The walk of a PCI expansion-ROM chain and the byte sum of its x86 images (see expansion_rom.h).
#include "fwupg/expansion_rom.h"

#include "platform/byte_order.h"

namespace fwupg {

namespace {

constexpr uint16_t kRomSignature = 0xAA55;
constexpr size_t kPcirPointer = 0x18;
constexpr size_t kPcirImageLength = 0x10;
constexpr size_t kPcirCodeType = 0x14;
constexpr size_t kPcirIndicator = 0x15;
constexpr uint8_t kLastImage = 0x80;
constexpr uint8_t kCodeTypeX86 = 0;
constexpr size_t kUnit = 512;

}  // namespace

bool RomChainSumsHold(const uint8_t* data, size_t size)
{
    if (!data) return false;
    size_t at = 0;
    // Every image moves the walk on by at least one unit, so the loop ends within size / 512 steps.
    for (;;) {
        if (size < kPcirPointer + 2 || at > size - (kPcirPointer + 2)) return false;
        const uint8_t* image = data + at;
        if (platform::load_le16(image) != kRomSignature) return false;
        const size_t pcir = platform::load_le16(image + kPcirPointer);
        if (pcir + kPcirIndicator + 1 > size - at) return false;
        const uint8_t* d = image + pcir;
        if (d[kPcirCodeType] == kCodeTypeX86) {
            const size_t bytes = size_t(image[2]) * kUnit;
            if (bytes == 0 || bytes > size - at) return false;
            uint8_t sum = 0;
            for (size_t i = 0; i < bytes; ++i) sum = uint8_t(sum + image[i]);
            if (sum != 0) return false;
        }
        if (d[kPcirIndicator] & kLastImage) return true;
        const size_t length = size_t(platform::load_le16(d + kPcirImageLength)) * kUnit;
        if (length == 0 || length >= size - at) return false;
        at += length;
    }
}

}  // namespace fwupg
