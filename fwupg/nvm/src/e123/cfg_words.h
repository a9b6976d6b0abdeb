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

// Partition modes of a configuration record. Multi-function mode: 0 single function, 1 switch
// independent, 2 the form the caller's mode argument 1 names when the force-SF field is 0. AFEX:
// a NIV block is set up and the force-SF field is not 1.
inline int mf_mode(const uint8_t* record, uint32_t mode_arg)
{
    if (!((get(record, 860) >> 8) & 1))
        return 0;
    const uint32_t sf = get_field(record, 460, 8, 3);
    if (sf == 0)
        return mode_arg == 1 ? 2 : 0;
    return sf != 1 ? 1 : 0;
}

inline bool afex_mode(const uint8_t* record) { return get(record, 924) != 0 && get_field(record, 460, 8, 3) != 1; }

}  // namespace fwupg::nvm::cfgw
