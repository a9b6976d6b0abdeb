// Version texts by image type, version parsing and the header routines of boot ROM and CCM images.
#include "fwupg/nvm_legacy/versions.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

bool name_is(const char* name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (std::strcmp(name, n) == 0)
            return true;
    return false;
}

// Words of the image: from the buffer as they lie (checked against its length), or from NVRAM as
// host values of the big-endian words.
struct image_source {
    const HostOps& ops;
    uint32_t dev;
    const uint8_t* buf;
    uint32_t buf_len;
    uint32_t nvm_offset;
    bool word(uint32_t pos, uint32_t* out) const
    {
        if (buf) {
            if (uint64_t(pos) + 4 > buf_len)
                return false;
            *out = toe::load_le32(buf + pos);
            return true;
        }
        return toe::read_dword(ops, dev, nvm_offset + pos, out) == 0;
    }
};

void put_text(char* text, size_t size, const std::string& s)
{
    const size_t n = s.size() < size ? s.size() : size - 1;
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
}

std::string ipmi_version(uint32_t v)
{
    char out[32];
    const unsigned letter = (v >> 8) & 0xFF;
    if (letter)
        std::snprintf(out, sizeof out, "%u.%02u%c", v >> 24, (v >> 16) & 0xFF, char(0x60 + letter));
    else
        std::snprintf(out, sizeof out, "%u.%02u", v >> 24, (v >> 16) & 0xFF);
    return out;
}

// Where the memory image starts inside an image file: after a wrapped record header and a
// sectioned header when present. False when the headers do not fit the buffer.
bool memory_image_start(const uint8_t* buf, uint32_t len, uint32_t* start)
{
    uint32_t pos = 0;
    if (len >= 8 && toe::load_le32(buf) == fwupg::kWrappedMagic)
        pos = toe::load_le32(buf + 4) == 1 ? 16 : 20;
    if (uint64_t(pos) + 8 <= len && toe::load_le32(buf + pos) == TOE_SECTIONED_MAGIC)
        pos += toe::load_le32(buf + pos + 4) == 1 ? 88 : 76;
    *start = pos;
    return pos <= len;
}

// The 16-byte group that holds the version text of the image kinds that point at a "vA.B.C"
// string through their word at 4, and where in it the text begins.
bool pointed_group(const image_source& src, uint8_t (&bytes)[16], uint32_t* first)
{
    uint32_t v = 0;
    if (!src.word(4, &v))
        return false;
    for (uint32_t i = 0; i < 4; ++i) {
        uint32_t w = 0;
        if (!src.word((v & 0xFFFC) + 4 * i, &w))
            return false;
        toe::store_le32(bytes + 4 * i, w);
    }
    *first = v & 3;
    return true;
}

// The shown text: the printable characters from the start, at most 12.
bool pointed_text(const image_source& src, std::string& out)
{
    uint8_t bytes[16];
    uint32_t first = 0;
    if (!pointed_group(src, bytes, &first))
        return false;
    for (uint32_t i = first; i < 16 && out.size() < 12 && std::isprint(bytes[i]); ++i)
        out += char(bytes[i]);
    return true;
}

// The 16-byte version text at memory-image byte 16, and for IPMI images its version word.
bool header_text(const image_source& src, const char* name, std::string& out)
{
    image_source at = src;
    if (src.buf) {
        uint32_t start = 0;
        if (!memory_image_start(src.buf, src.buf_len, &start))
            return false;
        at.buf = src.buf + start;
        at.buf_len = src.buf_len - start;
    }
    uint8_t bytes[17] = {};
    uint32_t words[4] = {};
    for (uint32_t i = 0; i < 4; ++i) {
        if (!at.word(16 + 4 * i, &words[i]))
            return false;
        toe::store_be32(bytes + 4 * i, words[i]);
    }
    out.assign(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), 16));
    if (name_is(name, {"IPMI_INIT", "IPMI_SERV"})) {
        const size_t blank = out.find(' ');
        out = (blank == std::string::npos ? std::string() : out.substr(0, blank + 1)) + ipmi_version(words[3]);
    }
    return true;
}

bool mba_text(const HostOps& ops, const image_source& src, std::string& out)
{
    uint32_t revs[8];
    const char* names[8] = {};
    if (toe_option_rom_versions(ops, revs, src.buf, src.buf_len, src.nvm_offset, names, src.dev) != 0)
        return false;
    char item[64];
    for (int i = 0; i < 8; ++i) {
        if (!revs[i])
            continue;
        std::snprintf(item, sizeof item, "%s %u.%u.%u;", names[i] ? names[i] : "", (revs[i] & 0xFF000) >> 12,
                      (revs[i] & 0xF00) >> 8, revs[i] & 0xFF);
        out += item;
    }
    if (!out.empty())
        out.pop_back();
    return true;
}

}  // namespace

void toe_nvm_image_versions(HostOps ops, const uint8_t* buf, uint32_t buf_len, uint32_t nvm_offset,
                            const char* name, char* text, size_t text_size)
{
    if (!text || text_size == 0)
        return;
    text[0] = '\0';
    uint32_t dev = 0;
    if (!name || !toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return;
    const image_source src{ops, dev, buf, buf_len, nvm_offset};
    std::string out;
    bool ok = true;
    uint32_t v = 0;
    char tmp[32];
    if (std::strcmp(name, "MBA") == 0) {
        ok = mba_text(ops, src, out);
    } else if (name_is(name, {"ISCSI_B", "ISB_CPRG", "FCOE_B", "FEB_CPRG", "CCM"})) {
        ok = pointed_text(src, out);
    } else if (name_is(name, {"ISB_CFG", "ISB_CFG2", "FEB_CFG", "FEB_CFG2"})) {
        if ((ok = src.word(0, &v))) {
            std::snprintf(tmp, sizeof tmp, "v%u.%u", v >> 24, (v >> 16) & 0xFF);
            out = tmp;
        }
    } else if (std::strcmp(name, "USR_BLK") == 0) {
    } else if (std::strcmp(name, "IPMI_CFG") == 0) {
        if ((ok = src.word(0, &v))) {
            std::snprintf(tmp, sizeof tmp, "%u", toe::bswap32(v) & 0xF);
            out = tmp;
        }
    } else {
        ok = header_text(src, name, out);
    }
    if (!ok) {
        toe::set_error(ops, toe::ERR_READ);
        return;
    }
    put_text(text, text_size, out);
}

int toe_image_pointed_version(HostOps ops, uint32_t dev, const uint8_t* buf, uint32_t limit, uint32_t nvm_offset,
                              char (&text)[17])
{
    text[0] = '\0';
    image_source src{ops, dev, buf, limit, nvm_offset};
    uint32_t v = 0;
    if (limit < 8)
        return 2;
    if (!src.word(4, &v))
        return 1;
    if (uint64_t(v & 0xFFFC) + 16 > limit)
        return 2;
    uint8_t bytes[16];
    uint32_t first = 0;
    if (!pointed_group(src, bytes, &first))
        return 1;
    const size_t n = strnlen(reinterpret_cast<const char*>(bytes + first), 16 - first);
    std::memcpy(text, bytes + first, n);
    text[n] = '\0';
    return 0;
}

int toe_nvm_print_versions(const char* text)
{
    if (!text)
        return 1;
    int printed = 0;
    const char* p = text;
    for (const char* semi; printed < 8 && (semi = std::strchr(p, ';')) != nullptr; p = semi + 1) {
        const std::string item(p, semi);
        fwupg_dbg_printf(printed == 0 ? "%20s\n" : "%74s\n", item.c_str());
        ++printed;
    }
    if (printed < 8 && *p)
        fwupg_dbg_printf(printed == 0 ? "%20s\n" : "%74s\n", p);
    return 1;
}

uint32_t toe_nvm_image_dword28(HostOps ops, uint32_t nvm_offset)
{
    uint32_t dev = 0, v = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0 || toe::read_dword(ops, dev, nvm_offset + 28, &v) != 0)
        return 0xFFFFFFFFu;
    return v;
}

uint32_t toe_parse_version(const char* text, const char* prefix, uint32_t* out)
{
    if (!text || !prefix || !out)
        return 0xFFFFFFFFu;
    const std::string copy(text, strnlen(text, 79));
    const size_t at = copy.find(prefix);
    if (at == std::string::npos)
        return 0xFFFFFFFFu;
    const std::string rest = copy.substr(at + std::strlen(prefix));
    uint32_t part[3] = {};
    size_t i = 0;
    for (int k = 0; k < 3; ++k) {
        const size_t start = i;
        while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i])))
            part[k] = part[k] * 10 + uint32_t(rest[i++] - '0');
        if (i == start)
            return 0xFFFFFFFFu;
        if (k < 2) {
            if (i >= rest.size() || rest[i] != '.')
                return 0xFFFFFFFFu;
            ++i;
        }
    }
    *out = part[0] << 24 | (part[1] & 0xFF) << 16 | (part[2] & 0xFFFF);
    return 0;
}

int toe_rom_patch_pci_ids(uint8_t* buf, uint32_t length, uint16_t vendor_id, uint16_t device_id)
{
    static const uint16_t known[] = {0x164A, 0x164C, 0x164D, 0x1639, 0x16AC, 0x16AA, 0x163A, 0x163B};
    uint32_t pos = 0;
    bool last = false;
    while (pos < length && !last) {
        uint8_t* rom = buf + pos;
        const uint32_t room = length - pos;
        if (room < 0x1A || rom[0] != 0x55 || rom[1] != 0xAA) {
            fwupg_dbg_printf("Error: Invalid Expansion ROM (incorrect header signature).\n");
            return -1;
        }
        const uint32_t d = toe::load_le16(rom + 0x18);
        if (d == 0) {
            fwupg_dbg_printf("Error: ROM hdr exists, but no ROM image\n");
            return -1;
        }
        const uint32_t size = uint32_t(rom[2]) * 512;
        if (uint64_t(d) + 0x18 > room || size > room) {
            fwupg_dbg_printf("Error: Invalid Expansion ROM (incorrect header signature).\n");
            return -1;
        }
        uint8_t* pcir = rom + d;
        const uint16_t vid = toe::load_le16(pcir + 4), did = toe::load_le16(pcir + 6);
        bool listed = false;
        for (uint16_t k : known)
            listed |= k == did;
        if (vid != 0x14E4 || !listed) {
            fwupg_dbg_printf("Error: Unknown image with DID 0x%04x & VID 0x%04x\n", did, vid);
            return -1;
        }
        const uint8_t code_type = pcir[20];
        last = (pcir[21] & 0x80) != 0;
        if (vid != vendor_id || did != device_id) {
            fwupg_dbg_printf("Updating PCI ROM (type %d) header with Vendor ID = 0x%04x Device ID = 0x%04x\n",
                             code_type, vendor_id, device_id);
            pcir[4] = uint8_t(vendor_id);
            pcir[5] = uint8_t(vendor_id >> 8);
            pcir[6] = uint8_t(device_id);
            pcir[7] = uint8_t(device_id >> 8);
            if (code_type == 0 && size > 7) {
                uint8_t sum = 0;
                rom[7] = 0;
                for (uint32_t i = 0; i < size; ++i)
                    sum = uint8_t(sum + rom[i]);
                rom[7] = uint8_t(-sum);
            }
        }
        const uint32_t step = uint32_t(toe::load_le16(pcir + 16)) * 512;
        if (step == 0)
            break;   // an image of no length cannot lead to a next one
        pos += step;
    }
    return 0;
}

int ccm_is_embedded(const uint8_t* buf, uint32_t length)
{
    if (!buf || length < 10)
        return 0;
    const uint32_t p = toe::load_le16(buf + 8);
    if (uint64_t(p) + 36 > length || !(toe::load_le16(buf + p) & 0x100))
        return 0;
    const uint32_t q = p + toe::load_le16(buf + p + 34);
    if (uint64_t(q) + 2 > length)
        return 0;
    const uint32_t dirs = toe::load_le16(buf + q);
    if (dirs > 1)
        fwupg_dbg_printf("ccm_is_embedded: assert(dirs(%d) > 1)\n", int(dirs));
    return dirs != 0 ? 1 : 0;
}
