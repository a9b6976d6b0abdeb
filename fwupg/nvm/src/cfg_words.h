// Word and bit-field access to the configuration record (host byte order, byte offsets).
#pragma once

#include <cstdint>
#include <cstring>

namespace fwupg::nvm::cfgw {

inline uint32_t get(const uint8_t* record, uint32_t offset)
{
    uint32_t v;
    std::memcpy(&v, record + offset, 4);
    return v;
}

inline void put(uint8_t* record, uint32_t offset, uint32_t value) { std::memcpy(record + offset, &value, 4); }

inline uint32_t mask_of(uint32_t width) { return width >= 32 ? ~0u : ((1u << width) - 1); }

inline uint32_t get_field(const uint8_t* record, uint32_t offset, uint32_t shift, uint32_t width)
{
    return (get(record, offset) >> shift) & mask_of(width);
}

inline void put_field(uint8_t* record, uint32_t offset, uint32_t shift, uint32_t width, uint32_t value)
{
    uint32_t m = mask_of(width) << shift;
    put(record, offset, (get(record, offset) & ~m) | ((value << shift) & m));
}

inline void put_bit(uint8_t* record, uint32_t offset, uint32_t bit, bool on) { put_field(record, offset, bit, 1, on); }

}  // namespace fwupg::nvm::cfgw
