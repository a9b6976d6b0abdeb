// UEFI decompression, EFI 1.1 and Tiano variants.
//
// Every block starts with a 16-bit symbol count and three code-length sets: the extra set (19
// symbols, count in 5 bits, with a 2-bit zero run after the third length), the char&len set (510
// symbols, count in 9 bits, its lengths coded with the extra set) and the position set (count in
// 4 bits for EFI 1.1, 5 for Tiano). Symbols below 256 are literals; symbol s >= 256 copies
// s - 253 bytes from DecodeP + 1 bytes back.
//
// The stream is outside input, so the decoder trusts nothing in it: a count larger than its set,
// a zero run past the set, a length above 16, a code that over- or under-fills the code space
// (which would overflow the lookup table), a symbol value outside its set, a match that starts
// before the output or runs past its end, and a stream that needs more bits than it holds are
// all refused with UEFI_DECOMPRESS_INVALID. All state lives in the caller's scratch area.
#include "fwupg/nvm/e4/uefi_decompress.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr unsigned kNC = 510;          // char&len symbols: 256 literals + 254 match lengths
constexpr unsigned kNT = 19;           // extra symbols (code lengths 0-16 and two run codes)
constexpr unsigned kMaxNP = 31;        // position symbols a 5-bit count can name
constexpr unsigned kNPT = kMaxNP;      // room for the larger of the extra and position sets
constexpr unsigned kCBit = 9;
constexpr unsigned kTBit = 5;
constexpr unsigned kCTableBits = 12;
constexpr unsigned kPTableBits = 8;
constexpr unsigned kMaxCodeLen = 16;
constexpr unsigned kTreeNodes = 2 * kNC - 1;
constexpr unsigned kLiteralLimit = 256;
constexpr unsigned kMatchBias = 253;  // symbol - 253 = match length (3 to 256)

// The code tables live in the caller's scratch area (aligned up inside it); the bit reader and the
// positions live on the stack for one call.
struct Tables {
    uint16_t left[kTreeNodes];
    uint16_t right[kTreeNodes];
    uint16_t c_table[1u << kCTableBits];
    uint16_t pt_table[1u << kPTableBits];
    uint8_t c_len[kNC];
    uint8_t pt_len[kNPT];
};
static_assert(sizeof(Tables) + alignof(std::max_align_t) - 1 <= UEFI_DECOMPRESS_SCRATCH_SIZE,
              "the decoder's tables must fit the caller's scratch at any alignment");

struct Scratch {
    Tables& t;
    const uint8_t* src;
    uint8_t* dst;
    uint32_t comp_size;    // bytes of bit stream
    uint32_t orig_size;
    uint32_t in_pos;       // next stream byte to load
    uint32_t out_pos;
    uint32_t phantom = 0;  // zero bytes loaded past the end of the stream
    uint32_t bit_buf = 0;  // the next 32 bits of the stream, most significant first
    uint32_t sub_bit_buf = 0;  // the byte being shifted in
    uint32_t bit_count = 0;    // bits of sub_bit_buf not yet in bit_buf
    uint32_t block_left = 0;
    uint32_t pbit;
    bool bad = false;
};

// Shifts n (0-32) bits out of bit_buf and loads as many from the stream. Past the end of the
// stream zeros come in; once the decoder has consumed any of them (more zero bytes loaded than
// the 32 + bit_count bits still unread) the stream is corrupt: it was cut short.
void fill_buf(Scratch& s, uint32_t n)
{
    s.bit_buf = uint32_t(uint64_t(s.bit_buf) << n);
    while (n > s.bit_count) {
        n -= s.bit_count;
        s.bit_buf |= uint32_t(uint64_t(s.sub_bit_buf) << n);
        if (s.in_pos < s.comp_size) {
            s.sub_bit_buf = s.src[s.in_pos++];
        } else {
            s.sub_bit_buf = 0;
            ++s.phantom;
        }
        s.bit_count = 8;
    }
    s.bit_count -= n;
    s.bit_buf |= s.sub_bit_buf >> s.bit_count;
    if (uint64_t(s.phantom) * 8 > 32 + s.bit_count)
        s.bad = true;
}

uint32_t get_bits(Scratch& s, uint32_t n)
{
    if (n == 0)
        return 0;
    uint32_t v = s.bit_buf >> (32 - n);
    fill_buf(s, n);
    return v;
}

// Builds the lookup table (table_bits wide) and the overflow tree of a canonical code. The code
// must fill the code space exactly: an over-full code would write past the table, an under-full
// one would leave entries that name no symbol.
bool make_table(Scratch& s, unsigned nchar, const uint8_t* bit_len, unsigned table_bits, uint16_t* table)
{
    uint32_t count[kMaxCodeLen + 1] = {};
    for (unsigned i = 0; i < nchar; ++i) {
        if (bit_len[i] > kMaxCodeLen)
            return false;
        ++count[bit_len[i]];
    }
    uint32_t start[kMaxCodeLen + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeLen; ++len)
        start[len + 1] = start[len] + (count[len] << (kMaxCodeLen - len));
    if (start[kMaxCodeLen + 1] != (1u << kMaxCodeLen))
        return false;

    const unsigned ju_bits = kMaxCodeLen - table_bits;
    uint32_t weight[kMaxCodeLen + 1] = {};
    for (unsigned len = 1; len <= table_bits; ++len) {
        start[len] >>= ju_bits;
        weight[len] = 1u << (table_bits - len);
    }
    for (unsigned len = table_bits + 1; len <= kMaxCodeLen; ++len)
        weight[len] = 1u << (kMaxCodeLen - len);

    const uint32_t table_size = 1u << table_bits;
    uint32_t tail = start[table_bits + 1] >> ju_bits;
    if (tail != 0)
        for (uint32_t i = tail; i < table_size; ++i)
            table[i] = 0;

    unsigned avail = nchar;
    const uint32_t mask = 1u << (15 - table_bits);
    for (unsigned ch = 0; ch < nchar; ++ch) {
        const unsigned len = bit_len[ch];
        if (len == 0)
            continue;
        const uint32_t next_code = start[len] + weight[len];
        if (len <= table_bits) {
            for (uint32_t i = start[len]; i < next_code; ++i)
                table[i] = uint16_t(ch);
        } else {
            uint32_t k = start[len];
            uint16_t* slot = &table[k >> ju_bits];
            uint32_t m = mask;
            for (unsigned depth = len - table_bits; depth != 0; --depth) {
                if (*slot == 0) {
                    if (avail >= kTreeNodes)
                        return false;
                    s.t.left[avail] = s.t.right[avail] = 0;
                    *slot = uint16_t(avail++);
                }
                if (*slot < nchar || *slot >= kTreeNodes)
                    return false;
                slot = (k & m) ? &s.t.right[*slot] : &s.t.left[*slot];
                m >>= 1;
            }
            *slot = uint16_t(ch);
        }
        start[len] = next_code;
    }
    return true;
}

// Follows the overflow tree below a table entry that names a node rather than a symbol.
uint32_t walk_tree(const Scratch& s, uint32_t node, unsigned nchar, unsigned table_bits)
{
    uint32_t m = 1u << (31 - table_bits);
    while (node >= nchar) {
        if (node >= kTreeNodes || m == 0)
            return kTreeNodes;
        node = (s.bit_buf & m) ? s.t.right[node] : s.t.left[node];
        m >>= 1;
    }
    return node;
}

// Reads the code lengths of the extra set (special = 3) or the position set (special = none).
bool read_pt_len(Scratch& s, unsigned nn, unsigned nbit, int special)
{
    const uint32_t number = get_bits(s, nbit);
    if (number == 0) {
        const uint32_t ch = get_bits(s, nbit);
        if (ch >= nn)
            return false;
        for (auto& t : s.t.pt_table)
            t = uint16_t(ch);
        std::memset(s.t.pt_len, 0, nn);
        return true;
    }
    if (number > nn)
        return false;
    unsigned i = 0;
    while (i < number) {
        uint32_t len = s.bit_buf >> 29;
        if (len == 7) {
            uint32_t m = 1u << 28;
            while (m & s.bit_buf) {
                m >>= 1;
                ++len;
            }
        }
        if (len > kMaxCodeLen)
            return false;
        fill_buf(s, len < 7 ? 3 : len - 3);
        s.t.pt_len[i++] = uint8_t(len);
        if (int(i) == special) {
            uint32_t run = get_bits(s, 2);
            if (i + run > nn)
                return false;
            while (run-- > 0)
                s.t.pt_len[i++] = 0;
        }
    }
    while (i < nn)
        s.t.pt_len[i++] = 0;
    return !s.bad && make_table(s, nn, s.t.pt_len, kPTableBits, s.t.pt_table);
}

// Reads the char&len code lengths, coded with the extra set.
bool read_c_len(Scratch& s)
{
    const uint32_t number = get_bits(s, kCBit);
    if (number == 0) {
        const uint32_t ch = get_bits(s, kCBit);
        if (ch >= kNC)
            return false;
        std::memset(s.t.c_len, 0, sizeof s.t.c_len);
        for (auto& t : s.t.c_table)
            t = uint16_t(ch);
        return true;
    }
    if (number > kNC)
        return false;
    unsigned i = 0;
    while (i < number) {
        uint32_t c = walk_tree(s, s.t.pt_table[s.bit_buf >> (32 - kPTableBits)], kNT, kPTableBits);
        if (c >= kNT)
            return false;
        fill_buf(s, s.t.pt_len[c]);
        if (c <= 2) {
            uint32_t run = c == 0 ? 1 : c == 1 ? get_bits(s, 4) + 3 : get_bits(s, kCBit) + 20;
            // A run may end past the count (the rest are zeros anyway), never past the set.
            if (i + run > kNC)
                return false;
            while (run-- > 0)
                s.t.c_len[i++] = 0;
        } else {
            s.t.c_len[i++] = uint8_t(c - 2);
        }
    }
    std::memset(s.t.c_len + i, 0, kNC - i);
    return !s.bad && make_table(s, kNC, s.t.c_len, kCTableBits, s.t.c_table);
}

// Next char&len symbol, reading a new block header when the block is used up; kNC on error.
uint32_t decode_c(Scratch& s)
{
    if (s.block_left == 0) {
        // A count of 0 wraps to 65,536 symbols of this block, as the format's reference does.
        s.block_left = get_bits(s, 16);
        if (s.block_left == 0)
            s.block_left = 0x10000;
        if (!read_pt_len(s, kNT, kTBit, 3) || !read_c_len(s) || !read_pt_len(s, kMaxNP, s.pbit, -1))
            return kNC;
    }
    --s.block_left;
    const uint32_t c = walk_tree(s, s.t.c_table[s.bit_buf >> (32 - kCTableBits)], kNC, kCTableBits);
    if (c >= kNC)
        return kNC;
    fill_buf(s, s.t.c_len[c]);
    return c;
}

// Next match distance minus one; UINT32_MAX on error.
uint32_t decode_p(Scratch& s)
{
    const uint32_t v = walk_tree(s, s.t.pt_table[s.bit_buf >> (32 - kPTableBits)], kMaxNP, kPTableBits);
    if (v >= kMaxNP)
        return UINT32_MAX;
    fill_buf(s, s.t.pt_len[v]);
    if (v <= 1)
        return v;
    return (1u << (v - 1)) + get_bits(s, v - 1);
}

bool decode(Scratch& s)
{
    while (s.out_pos < s.orig_size) {
        const uint32_t c = decode_c(s);
        if (c >= kNC || s.bad)
            return false;
        if (c < kLiteralLimit) {
            s.dst[s.out_pos++] = uint8_t(c);
            continue;
        }
        const uint32_t length = c - kMatchBias;
        const uint32_t back = decode_p(s);
        if (back == UINT32_MAX || s.bad || back >= s.out_pos || length > s.orig_size - s.out_pos)
            return false;
        // Byte by byte: a match may overlap the bytes it produces.
        uint32_t from = s.out_pos - back - 1;
        for (uint32_t k = 0; k < length; ++k)
            s.dst[s.out_pos++] = s.dst[from++];
    }
    return true;
}

uint32_t read_le32(const void* p)
{
    const auto* b = static_cast<const uint8_t*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t decompress(const void* source, uint32_t source_size, void* destination, uint32_t destination_size,
                    void* scratch, uint32_t scratch_size, uint32_t pbit)
{
    if (!source || !scratch || scratch_size < UEFI_DECOMPRESS_SCRATCH_SIZE || source_size < 8)
        return UEFI_DECOMPRESS_INVALID;
    const uint32_t comp_size = read_le32(source);
    const uint32_t orig_size = read_le32(static_cast<const uint8_t*>(source) + 4);
    if (uint64_t(source_size) < uint64_t(comp_size) + 8 || destination_size != orig_size)
        return UEFI_DECOMPRESS_INVALID;
    if (orig_size != 0 && !destination)
        return UEFI_DECOMPRESS_INVALID;

    auto addr = (reinterpret_cast<uintptr_t>(scratch) + alignof(std::max_align_t) - 1) &
                ~uintptr_t(alignof(std::max_align_t) - 1);
    auto* tables = new (reinterpret_cast<void*>(addr)) Tables{};
    Scratch s{.t = *tables,
              .src = static_cast<const uint8_t*>(source) + 8,
              .dst = static_cast<uint8_t*>(destination),
              .comp_size = comp_size,
              .orig_size = orig_size,
              .in_pos = 0,
              .out_pos = 0,
              .pbit = pbit};
    fill_buf(s, 32);  // priming: look-ahead, not consumption, so it cannot cut the stream
    s.bad = false;
    return decode(s) ? UEFI_DECOMPRESS_OK : UEFI_DECOMPRESS_INVALID;
}

}  // namespace

extern "C" {

uint32_t efi_get_info(const void* source, uint32_t source_size, uint32_t* destination_size, uint32_t* scratch_size)
{
    if (scratch_size)
        *scratch_size = UEFI_DECOMPRESS_SCRATCH_SIZE;
    if (!source || source_size < 8 || !destination_size)
        return UEFI_DECOMPRESS_INVALID;
    *destination_size = read_le32(static_cast<const uint8_t*>(source) + 4);
    return UEFI_DECOMPRESS_OK;
}

uint32_t efi_decompress(const void* source, uint32_t source_size, void* destination, uint32_t destination_size,
                        void* scratch, uint32_t scratch_size)
{
    return decompress(source, source_size, destination, destination_size, scratch, scratch_size, 4);
}

uint32_t tiano_decompress(const void* source, uint32_t source_size, void* destination, uint32_t destination_size,
                          void* scratch, uint32_t scratch_size)
{
    return decompress(source, source_size, destination, destination_size, scratch, scratch_size, 5);
}

uint32_t uefi_decompress_alloc(const void* source, uint32_t source_size, void** destination,
                               uint32_t* destination_size, uint32_t type)
{
    if (!destination || !destination_size)
        return UEFI_DECOMPRESS_INVALID;
    *destination = nullptr;
    *destination_size = 0;
    if (!source || type > 2)
        return UEFI_DECOMPRESS_INVALID;

    if (type == 0) {
        if (source_size > UEFI_DECOMPRESS_MAX_ALLOC)
            return UEFI_DECOMPRESS_NO_RESOURCES;
        void* copy = std::malloc(source_size ? source_size : 1);
        if (!copy)
            return UEFI_DECOMPRESS_NO_RESOURCES;
        std::memcpy(copy, source, source_size);
        *destination = copy;
        *destination_size = source_size;
        return UEFI_DECOMPRESS_OK;
    }

    uint32_t size = 0, scratch_size = 0;
    uint32_t rc = efi_get_info(source, source_size, &size, &scratch_size);
    if (rc != UEFI_DECOMPRESS_OK)
        return rc;
    if (size > UEFI_DECOMPRESS_MAX_ALLOC)
        return UEFI_DECOMPRESS_NO_RESOURCES;
    void* scratch = std::malloc(scratch_size);
    void* out = std::malloc(size ? size : 1);
    if (!scratch || !out) {
        std::free(scratch);
        std::free(out);
        return UEFI_DECOMPRESS_NO_RESOURCES;
    }
    rc = type == 1 ? efi_decompress(source, source_size, out, size, scratch, scratch_size)
                   : tiano_decompress(source, source_size, out, size, scratch, scratch_size);
    std::free(scratch);
    if (rc != UEFI_DECOMPRESS_OK) {
        std::free(out);
        return rc;
    }
    *destination = out;
    *destination_size = size;
    return UEFI_DECOMPRESS_OK;
}

}  // extern "C"
