#include "fwupg/nvm_legacy/addressing.h"

#include <cstring>
#include <new>
#include <vector>

#include "toe_context.h"

namespace {
constexpr uint32_t PAGE = 264, DATA = 256;

bool translate(const HostOps& ops, int force)
{
    return force || toe::toe_var(ops, "NVM_TYPE") == "BUFFERED";
}

bool scratch_copy(const HostOps& ops, const uint8_t* buf, uint32_t n, std::vector<uint8_t>& copy, const char* who)
{
    try {
        copy.assign(buf, buf + n);
        return true;
    } catch (const std::bad_alloc&) {
        toe::set_error(ops, toe::ERR_NO_MEMORY);
        toe::append_result(ops, who);
        return false;
    }
}
}  // namespace

uint32_t nvm_linear_to_flash_addr(const HostOps& ops, uint32_t, uint32_t addr, int force)
{
    return translate(ops, force) ? ((addr / PAGE) << 9) + addr % PAGE : addr;
}

uint32_t nvm_flash_to_linear_addr(const HostOps& ops, uint32_t, uint32_t addr, int force)
{
    return translate(ops, force) ? (addr >> 9) * PAGE + (addr & 0x1FF) : addr;
}

int Append8bytes(const HostOps& ops, uint8_t* buf, uint32_t capacity, uint32_t* length)
{
    const uint32_t n = *length;
    const uint64_t needed = uint64_t(n) + 8ull * (n / DATA);
    if (n > capacity || needed > capacity) {
        // The converted image would not fit the caller's buffer; refuse before touching it.
        toe::set_error(ops, toe::ERR_BAD_ARGS);
        toe::append_result(ops, "Append8bytes: buffer too small.");
        return 1;
    }
    std::vector<uint8_t> copy;
    if (!scratch_copy(ops, buf, n, copy, "Append8bytes: No more host memory."))
        return 1;
    uint32_t out = 0;
    for (uint32_t p = 0; p < n; p += DATA) {
        if (p + DATA <= n) {
            std::memcpy(buf + out, copy.data() + p, DATA);
            toe::store_le32(buf + out + DATA, TOE_PAGE_FILL_WORD);
            toe::store_le32(buf + out + DATA + 4, TOE_PAGE_FILL_WORD);
            out += PAGE;
        } else {
            std::memcpy(buf + out, copy.data() + p, n - p);
            out += n - p;
        }
    }
    *length = out;
    return 0;
}

int Strip8bytes(const HostOps& ops, uint8_t* buf, uint32_t length, uint32_t* out_length)
{
    std::vector<uint8_t> copy;
    if (!scratch_copy(ops, buf, length, copy, "Strip8bytes: No more host memory."))
        return 1;
    uint32_t out = 0;
    for (uint32_t p = 0; p < length;) {
        if (p + DATA <= length) {
            std::memcpy(buf + out, copy.data() + p, DATA);
            out += DATA;
            p += DATA;
            for (int k = 0; k < 2; ++k)
                if (p + 4 <= length && toe::load_le32(copy.data() + p) == TOE_PAGE_FILL_WORD)
                    p += 4;
        } else {
            std::memcpy(buf + out, copy.data() + p, length - p);
            out += length - p;
            break;
        }
    }
    *out_length = out;
    return 0;
}

uint32_t nvm_buf_get_dword(int swap, const uint8_t* buf, uint32_t offset)
{
    return swap ? toe::load_be32(buf + offset) : toe::load_le32(buf + offset);
}

void nvm_buf_put_dword(int swap, uint8_t* buf, uint32_t offset, uint32_t value)
{
    if (swap)
        toe::store_be32(buf + offset, value);
    else
        toe::store_le32(buf + offset, value);
}
