// Gives every image of a PCI option-ROM chain the adapter's vendor and device id.
#include "fwupg/nvm/formats/rom_patch.h"

#include <cstdint>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"

using fwupg::nvm::load_u16;
using fwupg::nvm::store_u16;

namespace {

constexpr uint16_t kKnownDids[] = {0x164E, 0x164F, 0x1650, 0x1662, 0x1663, 0x1651, 0x1652,
                                   0x168A, 0x168E, 0x16A5, 0x16A4, 0x16AB, 0x16A1, 0x16A2,
                                   0x168D, 0x16AE, 0x163D, 0x163E, 0x163F};

bool known_did(uint16_t did)
{
    for (uint16_t d : kKnownDids)
        if (d == did)
            return true;
    return false;
}

}  // namespace

extern "C" int common_nvm_patch_rom_ids(uint8_t* image, uint32_t length, uint16_t vendor_id,
                                        uint16_t device_id)
{
    if (!image)
        return -1;
    uint64_t off = 0;
    for (;;) {
        // Image header: signature at 0, size byte at 2, checksum byte at 7, PCIR pointer at 0x18.
        if (off + 0x1A > length || load_u16(image + off) != 0xAA55) {
            fwupg_dbg_printf("Error: Invalid Expansion ROM (incorrect header signature).\n");
            return -1;
        }
        uint8_t* img = image + off;
        uint16_t pcir = load_u16(img + 0x18);
        if (pcir == 0) {
            fwupg_dbg_printf("Error: ROM hdr exists, but no ROM image\n");
            return -1;
        }
        if (off + pcir + 22 > length) {
            fwupg_dbg_printf("Error: Invalid Expansion ROM (PCI data structure out of range).\n");
            return -1;
        }
        uint8_t* pd = img + pcir;
        uint16_t vid = load_u16(pd + 4);
        uint16_t did = load_u16(pd + 6);
        uint16_t units = load_u16(pd + 16);
        uint8_t code_type = pd[20];
        bool last = (pd[21] & 0x80) != 0;
        if ((vid != 0x14E4 && vid != 0x1077) || !known_did(did)) {
            fwupg_dbg_printf("Error: Unknown image with DID 0x%04x & VID 0x%04x\n", did, vid);
            return -1;
        }
        uint64_t image_len = uint64_t(units) * 512;
        uint64_t sum_len = uint64_t(img[2]) * 512;
        if (image_len == 0 || off + image_len > length || off + sum_len > length) {
            fwupg_dbg_printf("Error: Invalid Expansion ROM (image length out of range).\n");
            return -1;
        }
        if (vid != vendor_id || did != device_id) {
            fwupg_dbg_printf("Updating PCI ROM header with Vendor ID = 0x%04x Device ID = 0x%04x\n",
                             vendor_id, device_id);
            store_u16(pd + 4, vendor_id);
            store_u16(pd + 6, device_id);
            if (code_type == 0) {
                img[7] = 0;
                uint8_t sum = 0;
                for (uint64_t i = 0; i < sum_len; ++i)
                    sum = uint8_t(sum + img[i]);
                img[7] = uint8_t(-sum);
            }
        }
        if (last)
            return 0;
        off += image_len;
        if (off >= length) {
            fwupg_dbg_printf("Error: Invalid Expansion ROM (incorrect header signature).\n");
            return -1;
        }
    }
}
