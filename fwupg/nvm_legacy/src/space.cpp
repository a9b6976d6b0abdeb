// Room for images: the room check, the packing allocator and the fit check of an image file.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr uint32_t KEEP_EVERY_IMAGE = 0xFFFFFFFFu;   // a directory type no entry has

// One image that lies in NVRAM: the boot code (index -1) or a directory entry.
struct placed_image {
    int index;
    uint32_t offset;
    uint32_t length;
};

// The boot code and the directory entries, except those of `dir_type`. False on a read failure.
bool list_images(const HostOps& ops, uint32_t dev, uint32_t dir_type, std::vector<placed_image>& out)
{
    out.clear();
    if (dir_type != TOE_DIR_TYPE_BC1) {
        uint32_t count = 0, flash = 0;
        if (toe::read_dword(ops, dev, 8, &count) != 0 || toe::read_dword(ops, dev, 12, &flash) != 0)
            return false;
        out.push_back({-1, nvm_flash_to_linear_addr(ops, dev, flash, 0), count * 4});
    }
    for (int i = 0; i < int(TOE_DIR_ENTRIES); ++i) {
        uint32_t offset = 0, length = 0, type = 0;
        if (toe_nvm_read_dir_entry(ops, i, &offset, &length, nullptr, &type, nullptr) != 0)
            return false;
        if (type != dir_type)
            out.push_back({i, offset, length});
    }
    return true;
}

// True when [start, start + length) meets an image other than `except`.
bool overlaps_other(const std::vector<placed_image>& images, const placed_image* except, uint32_t start,
                    uint32_t length)
{
    for (const placed_image& im : images) {
        if (&im == except || im.length == 0)
            continue;
        if (uint64_t(im.offset) < uint64_t(start) + length && uint64_t(im.offset) + im.length > start)
            return true;
    }
    return false;
}

// Moves an image down to `to` and records its new place. False on any failure; the directory
// entry (or bootstrap record) then still names the old place.
bool move_image(const HostOps& ops, uint32_t dev, const placed_image& im, uint32_t to)
{
    std::vector<uint8_t> copy;
    try {
        copy.resize(im.length);
    } catch (const std::bad_alloc&) {
        fwupg_dbg_printf("memory allocation error\n");
        return false;
    }
    fwupg_dbg_printf("Moving image size %08X from offset %08X to %08X\n", im.length, im.offset, to);
    fwupg_dbg_printf("Reading data from %08X...\n", im.offset);
    if (toe::read_block(ops, dev, im.offset, im.length, copy.data()) != 0)
        return false;
    fwupg_dbg_printf("Writing data to %08X...\n", to);
    if (toe::write_block(ops, dev, to, im.length, copy.data()) != 0)
        return false;
    fwupg_dbg_printf("Updating directory...\n");
    if (im.index < 0) {
        uint32_t sram = 0, count = 0;
        if (toe::read_dword(ops, dev, 4, &sram) != 0 || toe::read_dword(ops, dev, 8, &count) != 0)
            return false;
        return toe_nvm_write_bootstrap(ops, sram, count * 4, to) == 0;
    }
    uint32_t length = 0, sram = 0, type = 0, cpu = 0;
    return toe_nvm_read_dir_entry(ops, im.index, nullptr, &length, &sram, &type, &cpu) == 0 &&
           toe_nvm_write_dir_entry(ops, im.index, to, length, sram, type, cpu) == 0;
}

// While the directory is held the NVRAM's directory still names the images it named, and the held
// entries name the new ones: an image goes only where it meets none of them, and nothing is moved.
// 0 and the lowest such offset; 1 when no gap is large enough or a read failed.
int gap_beside_held(const HostOps& ops, uint32_t dev, uint64_t needed, uint64_t nvm_size, uint32_t* nvm_offset)
{
    std::vector<placed_image> images;
    uint32_t stored[TOE_DIR_REGION_LEN / 4];
    if (!list_images(ops, dev, KEEP_EVERY_IMAGE, images) ||
        toe::read_block(ops, dev, TOE_DIR_OFFSET, TOE_DIR_REGION_LEN, reinterpret_cast<uint8_t*>(stored)) != 0)
        return 1;
    for (int i = 0; i < int(TOE_DIR_ENTRIES); ++i)
        images.push_back({i, stored[3 * i + 2], stored[3 * i + 1] & TOE_FLAGS_LEN_MASK});
    std::vector<uint64_t> starts{TOE_IMAGES_START};
    for (const placed_image& im : images)
        if (im.length != 0)
            starts.push_back(uint64_t(im.offset) + im.length);
    std::sort(starts.begin(), starts.end());
    for (const uint64_t at : starts) {
        if (at < TOE_IMAGES_START || at + needed > nvm_size)
            continue;
        if (!overlaps_other(images, nullptr, uint32_t(at), uint32_t(needed))) {
            *nvm_offset = uint32_t(at);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int toe_nvm_space_available(HostOps ops, uint32_t dir_type, uint32_t bytes_needed)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev))
        return 0;
    if (toe_nvm_check_dev(dev) != 0)
        return 1;
    uint64_t total = uint64_t(bytes_needed) + TOE_IMAGES_START;
    if (dir_type != TOE_DIR_TYPE_BC1) {
        uint32_t count = 0;
        if (toe::read_dword(ops, dev, 8, &count) != 0)
            return 0;   // unknown contents: never claim room
        total += uint64_t(count) * 4;
    }
    for (uint32_t i = 0; i < TOE_DIR_ENTRIES; ++i) {
        uint32_t flags = 0;
        if (toe::read_dword(ops, dev, TOE_DIR_OFFSET + 12 * i + 4, &flags) != 0)
            return 0;
        if ((flags & TOE_FLAGS_TYPE_MASK) != dir_type)
            total += flags & TOE_FLAGS_LEN_MASK;
    }
    return total <= uint64_t(toe_nvm_size(ops.interp)) ? 1 : 0;
}

int toe_nvm_alloc_space(HostOps ops, uint32_t dir_type, uint32_t length, uint32_t* nvm_offset)
{
    const uint64_t needed = uint64_t(length) + 4;
    const uint64_t nvm_size = uint64_t(toe_nvm_size(ops.interp));
    if (needed <= 0xFFFFFFFFu && toe_nvm_dir_held()) {
        uint32_t dev = 0;
        if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
            return 1;
        if (gap_beside_held(ops, dev, needed, nvm_size, nvm_offset) == 0)
            return 0;
        // No room beside them all: the held entries go to the NVRAM, and the image is placed (and
        // the others packed) as without a hold.
        if (toe_nvm_publish_dir(ops) != 0)
            return 1;
    }
    if (needed > 0xFFFFFFFFu || !toe_nvm_space_available(ops, dir_type, uint32_t(needed))) {
        *nvm_offset = 0xFFFFFFFFu;
        return 1;
    }
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return 1;
    std::vector<placed_image> images;
    uint64_t position = TOE_IMAGES_START;
    while (position < nvm_size) {
        if (!list_images(ops, dev, dir_type, images))
            return 1;
        const placed_image* best = nullptr;
        uint64_t best_offset = nvm_size;
        for (const placed_image& im : images) {
            if (im.length == 0 || im.offset < position || im.offset > best_offset)
                continue;
            best = &im;   // ties go to the later candidate
            best_offset = im.offset;
            if (im.offset == position)
                break;
        }
        if (best_offset - position >= needed) {
            // Images overlapping the gap from below would be overwritten: refuse instead.
            if (overlaps_other(images, nullptr, uint32_t(position), uint32_t(needed)))
                return 1;
            *nvm_offset = uint32_t(position);
            return 0;
        }
        if (!best)
            return 1;   // no gap is large enough and nothing lies above: no room
        if (best->offset != position) {
            if (overlaps_other(images, best, uint32_t(position), best->length) ||
                !move_image(ops, dev, *best, uint32_t(position)))
                return 1;
        }
        position += best->length;
    }
    return 1;
}

int toe_nvm_image_file_fits(HostOps ops, const uint8_t* buf, uint32_t length, const char* option,
                            const uint32_t* skip_tags, int* fits)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return 1;
    *fits = 0;
    uint64_t new_size[TOE_IMAGE_ROWS] = {}, cur_size[TOE_IMAGE_ROWS] = {};
    auto stored_size = [](uint32_t sram_len, uint32_t data_len) {
        // The image as programmed plus its CRC word, in whole dwords.
        const uint64_t s = uint64_t(sram_len ? sram_len : data_len) + 4;
        return (s + 3) & ~uint64_t(3);
    };
    bool newer_ncsi = false;
    size_t pos = 0;
    while (pos < length) {
        wrapped_image_header hdr;
        const int hsize = toe_wrapped_header_at(buf, length, pos, &hdr);
        if (hsize == 0) {
            if (pos != 0)
                break;   // bytes after the last record are not an image
            const int row = toe_image_by_option(option);
            if (row < 0)
                return 1;
            new_size[row] = stored_size(toe_image_sram_length(buf, length), length);
            break;
        }
        if (hsize < 0 || hdr.length > length - pos - size_t(hsize))
            return 0;   // unknown version or cut-off record: the file does not fit
        const uint8_t* data = buf + pos + hsize;
        if (hdr.version == 2 && hdr.tag == toe_tag_word('n', 'c', 'c', 'm') && pos + 140 <= length &&
            toe::load_le32(buf + pos + 136) > 0x1000605u)
            newer_ncsi = true;
        const int row = toe_image_by_tag(hdr.tag);
        if (row >= 0)
            new_size[row] = stored_size(toe_image_sram_length(data, hdr.length), hdr.length);
        pos += size_t(hsize) + hdr.length;
    }
    if (option && std::strcmp(option, "-ipmi") == 0)
        new_size[TOE_IMG_IPMI_CFG] = 556;
    for (const uint32_t* t = skip_tags; t && *t; ++t) {
        for (int r = 0; r < TOE_IMAGE_ROWS; ++r) {
            if (toe_tag_word(g_toe_image_table[r].tag) == *t) {
                new_size[r] = 0;
            } else if (newer_ncsi && toe_tag_word(g_toe_image_table[r].tag) == toe_tag_word('n', 'c', 'l', 'x')) {
                new_size[r] = 0;
                newer_ncsi = false;
            }
        }
    }
    uint32_t count = 0;
    if (toe::read_dword(ops, dev, 8, &count) != 0)
        return 1;
    cur_size[TOE_IMG_BC1] = uint64_t(count) * 4;
    for (int r = 1; r < TOE_IMAGE_ROWS; ++r) {
        int index = 0;
        uint32_t bytes = 0;
        if (toe_nvm_find_dir_entry(ops, g_toe_image_table[r].dir_type, &index) == 0 &&
            toe_nvm_read_dir_entry(ops, index, nullptr, &bytes, nullptr, nullptr, nullptr) == 0)
            cur_size[r] = bytes;
    }
    uint64_t total = TOE_IMAGES_START;
    for (int r = 0; r < TOE_IMAGE_ROWS; ++r)
        total += new_size[r] ? new_size[r] : cur_size[r];
    *fits = total <= uint64_t(toe_nvm_size(ops.interp)) ? 1 : 0;
    return 0;
}
