// MBA images: the expansion-ROM chain walk, the UEFI version of an EFI driver, and the
// component-by-component version check. Every field comes from outside (an image file or NVRAM),
// so each read is bounded by the image and by the ROM image it belongs to.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/versions.h"
#include "fwupg/nvm/e4/uefi_decompress.h"

namespace fwupg::nvm::e4 {

const char* const kMbaSlotNames[kMbaSlots] = {"legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE",
                                              "EFI x86",    "EFI IPF",       "EFI EBC",   "EFI x64"};

namespace {

constexpr uint32_t kMaxRomImages = 8;
constexpr uint32_t kRomUnit = 512;
constexpr uint16_t kRomSignature = 0xAA55;
constexpr uint32_t kEfiSignature = 0x0EF1;
constexpr uint16_t kMz = 0x5A4D;
constexpr uint32_t kPeSignature = 0x00004550;

// EFI machine types in slot order 4-7.
constexpr uint16_t kEfiMachines[] = {0x14C, 0x200, 0xEBC, 0x8664};

// Little-endian fields of a buffer, bounded.
struct Bytes {
    const uint8_t* p;
    uint32_t n;
    bool u16(uint32_t at, uint32_t* out) const
    {
        if (uint64_t(at) + 2 > n)
            return false;
        *out = uint32_t(p[at]) | uint32_t(p[at + 1]) << 8;
        return true;
    }
    bool u32(uint32_t at, uint32_t* out) const
    {
        if (uint64_t(at) + 4 > n)
            return false;
        *out = uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 | uint32_t(p[at + 3]) << 24;
        return true;
    }
};

// The PE image version, or -1 when the image is not a PE32/PE32+ image.
int pe_version(Bytes pe, uint32_t* out)
{
    uint32_t mz = 0, lfanew = 0, sig = 0, magic = 0, major = 0, minor = 0;
    if (!pe.u16(0, &mz) || mz != kMz || !pe.u32(0x3C, &lfanew) || !pe.u32(lfanew, &sig) || sig != kPeSignature)
        return -1;
    const uint64_t opt = uint64_t(lfanew) + 24;
    if (opt + 48 > pe.n || !pe.u16(uint32_t(opt), &magic) || (magic != 0x10B && magic != 0x20B))
        return -1;
    pe.u16(uint32_t(opt + 44), &major);
    pe.u16(uint32_t(opt + 46), &minor);
    *out = (major << 16) + minor;
    return 0;
}

std::string version_parts(uint32_t v, bool four)
{
    char text[32];
    if (!four)
        std::snprintf(text, sizeof text, "%d.%d.%d", int((v & 0xFF000) >> 12), int((v & 0xF00) >> 8), int(v & 0xFF));
    else
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", int((v & 0xF0000) >> 16), int((v & 0xF000) >> 12),
                      int((v & 0xF00) >> 8), int(v & 0xFF));
    return text;
}

}  // namespace

int e4_efi_image_version(const ImageRef& image, uint32_t at, uint32_t length, uint32_t* out)
{
    if (!out)
        return -1;
    if (!image.from_buffer) {
        uint32_t word = 0;
        if (nvm_cfg_word(kNvmCfg1, kCfgUefiVersion, &word) == 0 && word != 0) {
            *out = word;
            return 0;
        }
    }
    if (uint64_t(at) + length > image.size) {
        fwupg_dbg_printf("invalid EFI image\n");
        return -1;
    }
    BufferPtr copy;
    const uint8_t* rom = nullptr;
    if (image.from_buffer) {
        rom = image.data + at;
    } else {
        copy.reset(static_cast<uint8_t*>(std::malloc(length ? length : 1)));
        if (!copy) {
            fwupg_dbg_printf("Can't allocate memory!\n");
            return -1;
        }
        if (image.read(at, copy.get(), length) != 0)
            return -1;
        rom = copy.get();
    }
    const Bytes r{rom, length};
    uint32_t sig = 0, efi_sig = 0, compression = 0, efi_offset = 0;
    if (!r.u16(0, &sig) || sig != kRomSignature || !r.u32(4, &efi_sig) || efi_sig != kEfiSignature ||
        !r.u16(0x0C, &compression) || !r.u16(0x16, &efi_offset) || efi_offset >= length) {
        fwupg_dbg_printf("invalid EFI image\n");
        return -1;
    }
    // The driver runs from its offset to the end of this ROM image, never beyond.
    const Bytes driver{rom + efi_offset, length - efi_offset};
    BufferPtr expanded;
    Bytes pe = driver;
    if (compression != 0) {
        void* dst = nullptr;
        uint32_t dst_size = 0;
        if (uefi_decompress_alloc(driver.p, driver.n, &dst, &dst_size, 1) != UEFI_DECOMPRESS_OK) {
            fwupg_dbg_printf("Failed to uncompress EFI!\n");
            return -1;
        }
        expanded.reset(static_cast<uint8_t*>(dst));
        pe = Bytes{expanded.get(), dst_size};
    }
    uint32_t version = 0;
    if (pe_version(pe, &version) != 0) {
        fwupg_dbg_printf("invalid EFI image\n");
        return -1;
    }
    *out = version;
    if (image.from_buffer)
        version_state().last_uefi = version;
    return 0;
}

int e4_mba_component_versions(const ImageRef& image, uint32_t versions[kMbaSlots])
{
    for (int i = 0; i < kMbaSlots; ++i)
        versions[i] = 0;
    // The versions to remember are those of the data being programmed, or none: a walk of the
    // NVRAM's image leaves them alone.
    if (image.from_buffer) {
        version_state().last_uefi = 0;
        version_state().last_pci30_revision = 0;
    }
    uint32_t p = 0;
    for (uint32_t n = 0; n < kMaxRomImages; ++n) {
        uint32_t w = 0, code_type = 0, indicator = 0, units = 0, revision = 0, struct_rev = 0, clp = 0;
        uint8_t pcir_bytes[0x1C];
        if (image.read_u32(p + 0x18, &w) != 0)
            return -1;
        const uint32_t pcir = p + (w & 0xFF);
        if (image.read(pcir, pcir_bytes, sizeof pcir_bytes) != 0)
            return -1;
        const Bytes pc{pcir_bytes, sizeof pcir_bytes};
        code_type = pcir_bytes[0x14];
        indicator = pcir_bytes[0x15];
        struct_rev = pcir_bytes[0x0C];
        pc.u16(0x10, &units);
        pc.u16(0x12, &revision);
        pc.u16(0x1A, &clp);
        const uint32_t rom_length = units * kRomUnit;
        // A ROM image must have a length and end inside the MBA image.
        if (rom_length == 0 || uint64_t(p) + rom_length > image.size)
            return -1;
        if (code_type == 0) {
            if (struct_rev == 0) {
                versions[0] = revision;
            } else if (struct_rev == 3) {
                versions[clp ? 1 : 2] = revision;
                if (image.from_buffer)
                    version_state().last_pci30_revision = revision;
            } else {
                versions[0] = versions[1] = versions[2] = 0;
            }
        } else if (code_type == 1) {
            versions[3] = revision;
        } else if (code_type == 3) {
            for (int i = 4; i < kMbaSlots; ++i)
                versions[i] = 0;
            uint32_t efi = 0, machine = 0;
            if (e4_efi_image_version(image, p, rom_length, &efi) != 0 || efi == 0)
                efi = revision;
            if (image.read_u32(p + 8, &machine) != 0)
                return -1;
            machine >>= 16;
            int slot = -1;
            for (int i = 0; i < 4; ++i)
                if (kEfiMachines[i] == machine)
                    slot = 4 + i;
            if (slot < 0)
                fwupg_dbg_printf("invalid EFI type\n");
            else
                versions[slot] = efi;
        }
        if (indicator & 0x80)
            break;
        p += rom_length;
    }
    return 0;
}

std::string mba_version_text(const uint32_t versions[kMbaSlots])
{
    std::string text;
    for (int i = 0; i < kMbaSlots; ++i)
        if (versions[i] != 0)
            text += std::string(kMbaSlotNames[i]) + " " + version_parts(versions[i], versions[i] > 0xFFFF) + ";";
    if (!text.empty())
        text.pop_back();
    return text;
}

int e4_mba_version_check(const ImageRef& nvm_image, const uint8_t* data, uint32_t length)
{
    VersionState& st = version_state();
    if (e4_mba_component_versions(ImageRef::buffer(data, length), st.new_mba) != 0 ||
        e4_mba_component_versions(nvm_image, st.nvm_mba) != 0) {
        fwupg_dbg_printf("MBA upgrade error.\n");
        return -1;
    }
    int equal = 0, noted = -1;
    for (int i = 0; i < kMbaSlots; ++i) {
        const uint32_t now = st.new_mba[i], old = st.nvm_mba[i];
        if (now == old) {
            ++equal;
            if (noted < 0 && now != 0)
                noted = i;
            continue;
        }
        if (now > old)
            continue;
        if (now == 0) {
            fwupg_dbg_printf("This \"nvm upgrade\" operation involves removal of %s.\n", kMbaSlotNames[i]);
        } else {
            fwupg_dbg_printf("Given version (%s) is older than NVRAM version(%s). Upgrade aborted for image %s.\n",
                             version_parts(now, now > 0xFFFF).c_str(), version_parts(old, now > 0xFFFF).c_str(),
                             kMbaSlotNames[i]);
        }
        fwupg_dbg_printf("Please use \"-F\" option to force downgrade.\n");
        return -1;
    }
    if (equal == kMbaSlots) {
        const int s = noted < 0 ? 0 : noted;
        const bool four = st.new_mba[s] > 0xFFFF;
        fwupg_dbg_printf("Given version (%s) is same as NVRAM version(%s). Upgrade aborted for image %s.\n",
                         version_parts(st.new_mba[s], four).c_str(), version_parts(st.nvm_mba[s], four).c_str(),
                         kMbaSlotNames[s]);
        fwupg_dbg_printf("Please use \"-F\" option to force upgrade.\n");
        return -1;
    }
    return 0;
}

}  // namespace fwupg::nvm::e4
