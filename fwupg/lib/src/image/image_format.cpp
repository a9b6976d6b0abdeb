// What kind of image a file is: the per-type checks of Validate, the directory type a file would
// occupy (isValidImageFormat), and the content checks of boot ROMs, NCSI bundles and full NVRAM
// images. Every read is bounded by the loaded size.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "fwupg/expansion_rom.h"
#include "fwupg/fw_image.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/image_check_codes.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/selected_nic.h"
#include "image_tags.h"
#include "platform/byte_order.h"

namespace fwupg {

namespace {

bool OneOf(uint32_t v, std::initializer_list<uint32_t> set)
{
    for (uint32_t s : set)
        if (v == s) return true;
    return false;
}

constexpr uint16_t kRomSignature = 0xAA55;
constexpr uint32_t kRomPcirPointer = 0x18;

}  // namespace

bool FwImage::WordAt(uint64_t byteOffset, uint32_t* out) const
{
    if (!data_ || byteOffset + 4 > size_) return false;
    *out = platform::load_le32(data_ + byteOffset);
    return true;
}

bool FwImage::U16At(uint64_t byteOffset, uint16_t* out) const
{
    if (!data_ || byteOffset + 2 > size_) return false;
    *out = platform::load_le16(data_ + byteOffset);
    return true;
}

bool FwImage::Dword(size_t index, uint32_t* out) const
{
    return WordAt(uint64_t(index) * 4, out);
}

// A wrapped file: the magic, and the whole first record header within the file.
bool FwImage::HasMagic() const
{
    uint32_t magic = 0;
    return fileSize_ >= kWrappedHeaderSize && Dword(0, &magic) && magic == kWrappedMagic;
}

uint32_t FwImage::Tag() const
{
    uint32_t tag = 0;
    return Dword(2, &tag) ? tag : 0;
}

bool FwImage::Validate()
{
    struct stat st;
    if (path_.empty() || stat(path_.c_str(), &st) != 0) return Fail(imgcode::kNoSuchFile);
    if (imageType_ > kImgUnknown) return true;

    const uint32_t family = SelectedFamily();
    uint32_t dirType = 0;
    switch (imageType_) {
    case kImgBootCode:
        if (isValidImageFormat(&dirType) && OneOf(Tag(), {kTagBc1, kTagBc2, kTagL2rx})) return true;
        return Fail(imgcode::kNotBootOrMfw);
    case kImgMba:
        return MbaRomCheck() || Fail(imgcode::kNotMba);
    case kImgIpmi:
        if (isValidImageFormat(&dirType) && OneOf(dirType, {0x70000000u, 0x80000000u, 0x90000000u})) return true;
        return Fail(imgcode::kNotIpmi);
    case kImgUmp:
        return UmpCheck() || Fail(imgcode::kNotUmp);
    case kImgNcsi:
        return NcsiBundleCheck() || Fail(imgcode::kNcsiIncomplete);
    case kImgIscsi:
        if (isValidImageFormat(&dirType) && OneOf(dirType, {0xD0000000u, 0xC0000000u, 0xB0000000u})) return true;
        return Fail(imgcode::kNotIscsiOrL2t);
    case kImgFullNvm:
        return FullImageCheck() || Fail(imgcode::kNotFullImage);
    case kImgUpg:
        return HasMagic() || Fail(imgcode::kNotPhy);
    case kImgL2t:
        return (HasMagic() && Tag() == kTagL2t) || Fail(imgcode::kNotL2t);
    case kImgMfw:
        if (isValidImageFormat(&dirType) && (family != 5 || OneOf(Tag(), {kTagMfw1, kTagMfw2}))) return true;
        return Fail(imgcode::kNotBootOrMfw);
    case kImgFeb:
        if (isValidImageFormat(&dirType) && OneOf(dirType, {0x20000001u, 0x10000001u, 0x40000001u})) return true;
        return Fail(imgcode::kNotFcoe);
    case kImgCcm:
        if (isValidImageFormat(&dirType) && (family == 4   ? dirType == 0x40000001u
                                             : family == 5 ? dirType == 0x90800003u
                                                           : true))
            return true;
        return Fail(imgcode::kNotCcm);
    case kImgMbi:
        return isMBIValidForDevice() || Fail(imgcode::kBadPackage);
    case kImgUnknown:
        return Fail(imgcode::kUnknownFormat);
    default:
        return true;
    }
}

bool FwImage::LookupLegacyOption(const char* option, uint32_t* dirType)
{
    // The first row whose option text equals the one asked for.
    for (const toe_image_row& row : g_toe_image_table) {
        if (std::strcmp(row.option, option) == 0) {
            *dirType = row.dir_type;
            return true;
        }
    }
    return Fail(imgcode::kUnknownFormat);
}

bool FwImage::LookupByOption(const char* option, uint32_t* dirType)
{
    if (SelectedFamily() == 4) return LookupLegacyOption(option, dirType);
    return gpIFwUpgKv9->lookup_image_type(Host(), option, 0, dirType) == 1 || Fail(imgcode::kUnknownFormat);
}

bool FwImage::LookupByTag(uint32_t tag, uint32_t* dirType)
{
    if (SelectedFamily() == 4) {
        const int row = toe_image_by_tag(tag);
        if (row < 0) return Fail(imgcode::kUnknownFormat);
        *dirType = g_toe_image_table[row].dir_type;
        return true;
    }
    return gpIFwUpgKv9->lookup_image_type(Host(), nullptr, tag, dirType) == 1 || Fail(imgcode::kUnknownFormat);
}

bool FwImage::isValidImageFormat(uint32_t* dirType)
{
    uint32_t scratch = 0;
    if (!dirType) dirType = &scratch;
    const uint32_t family = SelectedFamily();
    if (family == 6) {
        if (OneOf(imageType_, {kImgMba, kImgMbi, kImgInitHw})) {
            *dirType = imageType_;
            return true;
        }
        uint32_t version = 0;
        if (HasMagic() && Dword(1, &version) && (version == 1 || version == 2)) return Fail(imgcode::kUnknownFormat);
        *dirType = 0;
        return true;
    }
    if (family != 4 && family != 5) return Fail(imgcode::kUnknownFormat);

    if (HasMagic()) {
        uint32_t tag = 0;
        if (!Dword(2, &tag)) return Fail(imgcode::kUnknownFormat);
        return LookupByTag(tag, dirType);
    }
    switch (imageType_) {
    case kImgMba:
        if (!MbaRomCheck()) return Fail(imgcode::kNotMba);
        return LookupByOption("-mba", dirType);
    case kImgUmp:
        if (!UmpCheck()) return Fail(imgcode::kNotUmp);
        return LookupByOption("-ump", dirType);
    case kImgMpn:
        return LookupByOption("-m_pn", dirType);
    case kImgVpd:
        return LookupByOption("-vpd", dirType);
    case kImgBootCode: case kImgIpmi: case kImgNcsi: case kImgIscsi: case kImgUpg:
    case kImgL2t: case kImgMfw: case kImgFeb: case kImgCcm:
        return Fail(imgcode::kUnknownFormat);
    default:
        return LookupByOption("", dirType);
    }
}

// A PCI expansion ROM whose first image is a boot agent for one of the known devices, or an EFI
// image of the vendor, and whose chain is whole with every x86 image summing to 0 (a flipped byte
// would otherwise be written and sealed with a fresh CRC).
bool FwImage::MbaRomCheck() const
{
    uint16_t signature = 0, pcir = 0, vendor = 0, device = 0;
    if (!U16At(0, &signature) || signature != kRomSignature) return false;
    if (!U16At(kRomPcirPointer, &pcir)) return false;
    if (!U16At(uint64_t(pcir) + 4, &vendor) || !U16At(uint64_t(pcir) + 6, &device)) return false;
    if (uint64_t(pcir) + 0x14 >= size_) return false;
    const uint8_t codeType = data_[pcir + 0x14];
    if (vendor != 0x14E4 && vendor != 0x1077) return false;
    bool known = false;
    switch (codeType) {
    case 0:
        known = OneOf(device, {0x164A, 0x168A, 0x168E, 0x163D, 0x168D, 0x16A1, 0x16A2, 0x16A5, 0x16AE, 0x16A4,
                               0x163E, 0x164C, 0x164E, 0x1634, 0x1644, 0x1656, 0x165C, 0x165E, 0x1664, 0x1666});
        break;
    case 1:
        known = device == 0x163A || device == 0x164E;
        break;
    case 3:
        known = true;
        break;
    default:
        break;
    }
    return known && RomChainSumsHold(data_, fileSize_);
}

bool FwImage::UmpCheck()
{
    char text[1024] = {};
    gpIFwUpgKv9->image_version_string(Host(), data_, size_, 0xFFFFFFFFu, "UMP", text, sizeof text);
    text[sizeof text - 1] = '\0';
    return std::strstr(text, "UMP") != nullptr;
}

// Walks the records of an NCSI bundle. Every record must start with the magic and lie inside the
// file; the walk uses 64-bit offsets, so a length cannot wrap it back. A record counts when its
// chip mask is non-zero (anyMask) or shares a bit with `chipMask`.
FwImage::NcsiScan FwImage::ScanNcsi(uint32_t chipMask, bool anyMask) const
{
    NcsiScan scan;
    // Records are read from the loaded bytes, any version taken; the scan is whole when it reaches
    // the end of the file itself, and fails when it stops before.
    WrappedReader reader(data_, size_, /*check_version=*/false);
    WrappedRecord rec;
    while (reader.offset() < fileSize_ && reader.next(&rec)) {
        const uint32_t tag = rec.header.tag;
        const uint32_t mask = rec.header.compat & 0x00FF0000u;
        const bool counts = anyMask ? mask != 0 : (mask & chipMask) != 0;
        if (counts) {
            scan.cm = scan.cm || tag == kTagNccm;
            scan.lx = scan.lx || tag == kTagNclx;
            scan.le = scan.le || tag == kTagNcle;
        }
    }
    if (reader.offset() < fileSize_) return scan;

    // The bundle's version: "NCSI a.b.c" in the 12 bytes at 124 (each dword stored big-endian);
    // from major 6 on the version word is at 140, before at 136.
    constexpr size_t kTextAt = 124, kOldVersionAt = 136, kNewVersionAt = 140;
    if (uint64_t(kNewVersionAt) + 4 > size_) return scan;
    char text[13] = {};
    for (size_t i = 0; i < 12; ++i) text[i] = static_cast<char>(data_[kTextAt + (i & ~size_t(3)) + 3 - (i & 3)]);
    unsigned major = 0, minor = 0, build = 0;
    const bool parsed = std::sscanf(text, "NCSI %u.%u.%u", &major, &minor, &build) == 3;
    uint32_t version = 0;
    WordAt(parsed && major >= 6 ? kNewVersionAt : kOldVersionAt, &version);
    scan.newFormat = version > 0x01000605u;
    scan.ok = true;
    return scan;
}

bool FwImage::NcsiBundleCheck()
{
    const NcsiScan scan = ScanNcsi(0, true);
    if (!scan.ok) return false;
    return scan.newFormat ? scan.cm : scan.cm && (scan.lx || scan.le);
}

// A full NVRAM image (already de-paged and word-swapped) for the selected chip and port.
bool FwImage::FullImageCheck()
{
    uint32_t magic = 0;
    if (!Dword(0, &magic) || magic != kWrappedMagic) return false;
    const uint32_t chip = SelectedChipId() >> 12;
    const uint32_t port = g_CurNicInfo.get(yxmapi::nic::kPort);
    auto bothZero = [this](size_t a, size_t b) {
        uint32_t x = 0, y = 0;
        return !Dword(a, &x) || !Dword(b, &y) || (x == 0 && y == 0);  // missing words count as zero
    };
    if ((chip == 0x5706 || chip == 0x5708) && bothZero(65, 66)) return false;
    if (chip == 0x5709 && port == 0 && bothZero(85, 86)) return false;
    if (chip == 0x5709 && port == 1 && bothZero(106, 107)) return false;

    uint32_t offset = 0;
    if (gpIFwUpgKv9->get_port_cfg_word_offset(Host(), 1, &offset) != 0) return false;
    if (SelectedFamily() == 5) {
        uint32_t a = 0, b = 0;
        if (!WordAt(offset, &a) || !WordAt(uint64_t(offset) + 4, &b) || (a == 0 && b == 0)) return false;
    }
    return true;
}

}  // namespace fwupg
