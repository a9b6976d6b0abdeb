// Whole-NVRAM files in paged form: after every page of data a few spare words 0x57105710 (stored
// little-endian). Small parts use 256-byte pages with two spare words, parts from 2 MiB on
// 512-byte pages with four; stripping uses the geometry the file was written with.
#include <cstring>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/file_io.h"
#include "fwupg/nvm/formats/page_spares.h"
#include "platform/byte_order.h"

namespace fwupg::nvm {

namespace {

bool spares_at(const uint8_t* data, uint32_t length, uint32_t at, uint32_t words)
{
    if (uint64_t(at) + 4ull * words > length)
        return false;
    for (uint32_t i = 0; i < words; ++i)
        if (platform::load_le32(data + at + 4 * i) != kPageFiller)
            return false;
    return true;
}

}  // namespace

uint32_t page_data_bytes(uint32_t nvm_size) { return (nvm_size & ~4095u) >= 0x200000 ? 512 : 256; }

uint64_t paged_size(uint64_t data, uint32_t nvm_size)
{
    const uint32_t page = page_data_bytes(nvm_size);
    return data + data / page * (page / 32);
}

uint32_t detect_page_data_bytes(const uint8_t* data, uint32_t length, uint32_t nvm_size)
{
    if (data && spares_at(data, length, 256, 2))
        return 256;
    if (data && spares_at(data, length, 512, 4))
        return 512;
    return page_data_bytes(nvm_size);
}

bool is_paged_file(const uint8_t* data, uint32_t length, uint64_t file_size, uint32_t nvm_size)
{
    if (nvm_size && file_size == uint64_t(nvm_size) + uint64_t(nvm_size) / 256 * 8)
        return true;
    return data && (spares_at(data, length, 256, 2) || spares_at(data, length, 512, 4));
}

}  // namespace fwupg::nvm

using namespace fwupg::nvm;

extern "C" {

int Append8bytes(Tcl_Interp* interp, uint8_t* buffer, uint32_t length, uint32_t* count)
{
    if (!buffer || !count)
        return 1;
    const uint32_t page = page_data_bytes(common_nvm_get_nvm_size());
    const uint32_t spare_words = page / 128;
    const uint32_t data = *count;
    if (data > length || paged_size(data, common_nvm_get_nvm_size()) > length) {
        if (interp)
            Tcl_AppendResult(interp, "Append8bytes: the buffer has no room for the page spares.", nullptr);
        return 1;
    }
    std::vector<uint8_t> copy;
    try {
        copy.assign(buffer, buffer + data);
    } catch (...) {
        if (interp)
            Tcl_AppendResult(interp, "Append8bytes: No more host memory.", nullptr);
        return 1;
    }
    uint32_t in = 0, out = 0;
    while (data - in >= page) {
        std::memcpy(buffer + out, copy.data() + in, page);
        in += page;
        out += page;
        for (uint32_t w = 0; w < spare_words; ++w, out += 4) {
            buffer[out] = uint8_t(kPageFiller);
            buffer[out + 1] = uint8_t(kPageFiller >> 8);
            buffer[out + 2] = uint8_t(kPageFiller >> 16);
            buffer[out + 3] = uint8_t(kPageFiller >> 24);
        }
    }
    std::memcpy(buffer + out, copy.data() + in, data - in);
    *count = out + (data - in);
    return 0;
}

int Strip8bytes(Tcl_Interp*, uint8_t* buffer, uint32_t length, uint32_t* count)
{
    if (!buffer || !count)
        return 1;
    const uint32_t page = detect_page_data_bytes(buffer, length, common_nvm_get_nvm_size());
    const uint32_t spare_words = page / 128;
    // The output never overtakes the input, so the work is done in place.
    uint32_t in = 0, out = 0;
    while (length - in >= page) {
        std::memmove(buffer + out, buffer + in, page);
        in += page;
        out += page;
        for (uint32_t w = 0; w < spare_words && length - in >= 4; ++w) {
            if (platform::load_le32(buffer + in) != kPageFiller)
                break;
            in += 4;
        }
    }
    std::memmove(buffer + out, buffer + in, length - in);
    *count = out + (length - in);
    return 0;
}

}  // extern "C"
