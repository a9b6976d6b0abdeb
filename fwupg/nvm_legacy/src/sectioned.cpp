// Sectioned boot images: a little-endian header (magic 0x45901011, a sixth-section switch, then
// offset / SRAM address / length of each section) in front of the section data, and their
// conversion into the memory image the chip loads from NVRAM.
#include <cstring>
#include <new>

#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/prog_image.h"
#include "toe_context.h"

namespace {

struct section {
    uint32_t offset;   // of its data in the file; 0 = absent
    uint32_t sram;
    uint32_t length;
};

struct sectioned_header {
    int count;         // 5, or 6 when the switch word is set
    section s[6];
};

// The header is 76 bytes with five sections; with the switch word set it is 88 bytes and has a
// sixth. Without the switch the bytes where a sixth descriptor would stand are already image data,
// so they are never read as one.
bool read_header(const uint8_t* buf, uint32_t length, sectioned_header* h)
{
    if (!buf || length < 8 || toe::load_le32(buf) != TOE_SECTIONED_MAGIC)
        return false;
    h->count = toe::load_le32(buf + 4) != 0 ? 6 : 5;
    if (length < 16u + 12u * uint32_t(h->count))
        return false;
    for (int k = 0; k < h->count; ++k) {
        const uint8_t* d = buf + 16 + 12 * k;
        h->s[k] = {toe::load_le32(d), toe::load_le32(d + 4), toe::load_le32(d + 8)};
    }
    return true;
}

uint32_t memory_length(const sectioned_header& h)
{
    const uint32_t base = h.s[0].sram;
    uint64_t end = 0;
    for (int k = 0; k < h.count; ++k) {
        const uint64_t e = uint64_t(h.s[k].sram) + h.s[k].length;
        if (e > end)
            end = e;
    }
    return end > base && end - base <= 0xFFFFFFFFu ? uint32_t(end - base) : 0;
}

}  // namespace

uint32_t toe_image_sram_length(const uint8_t* buf, uint32_t length)
{
    sectioned_header h;
    return read_header(buf, length, &h) ? memory_length(h) : 0;
}

toe_sectioned_status toe_sectioned_to_memory(const uint8_t* buf, uint32_t length, uint64_t max_length,
                                             toe_memory_image* out)
{
    if (!buf || length < 4 || toe::load_le32(buf) != TOE_SECTIONED_MAGIC)
        return toe_sectioned_status::not_sectioned;
    sectioned_header h;
    if (!read_header(buf, length, &h))
        return toe_sectioned_status::cut_off;
    const uint32_t mem_len = memory_length(h);
    if (mem_len == 0)
        return toe_sectioned_status::cut_off;
    if (mem_len > max_length)
        return toe_sectioned_status::too_large;
    const uint64_t room = ((uint64_t(mem_len) + 3) & ~uint64_t(3)) + 4;
    uint8_t* data = new (std::nothrow) uint8_t[room];
    if (!data)
        return toe_sectioned_status::no_memory;
    std::memset(data, 0, room);
    const uint32_t base = h.s[0].sram;
    for (int k = 0; k < h.count; ++k) {
        const section& s = h.s[k];
        // Sections below the base or without data count toward the length but are not copied.
        if (s.sram < base || s.offset == 0)
            continue;
        // The destination lies inside the memory image by the length's construction; the source
        // must lie inside the file.
        if (uint64_t(s.offset) + s.length > length) {
            delete[] data;
            return toe_sectioned_status::cut_off;
        }
        std::memcpy(data + (s.sram - base), buf + s.offset, s.length);
    }
    delete[] out->data;
    out->data = data;
    out->length = mem_len;
    out->sram_base = base;
    return toe_sectioned_status::ok;
}
