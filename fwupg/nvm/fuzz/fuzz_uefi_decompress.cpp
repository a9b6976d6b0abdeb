// The UEFI decoder of both variants on arbitrary streams: a destination of the header's size
// (kept small, so that the fuzzer spends its time decoding rather than allocating).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fwupg/nvm/e4/uefi_decompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1u << 20)
        return 0;
    uint32_t out_size = 0, scratch_size = 0;
    if (efi_get_info(data, uint32_t(size), &out_size, &scratch_size) != 0 || out_size > (1u << 20))
        return 0;
    std::vector<uint8_t> out(out_size ? out_size : 1), scratch(scratch_size);
    efi_decompress(data, uint32_t(size), out.data(), out_size, scratch.data(), scratch_size);
    tiano_decompress(data, uint32_t(size), out.data(), out_size, scratch.data(), scratch_size);
    return 0;
}
