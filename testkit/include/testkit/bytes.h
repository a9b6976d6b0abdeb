// Byte-level helpers of the test kit: explicit byte orders, zlib's CRC-32, small file helpers.
//
// Every format the kit writes spells its byte order out through these helpers; nothing relies on
// the host's order. "Host view" in this kit means the bytes of an image as the engine holds them
// after reading NVRAM with its word swap on: each 4-byte group reversed relative to NVRAM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

using Bytes = std::vector<uint8_t>;

void put_be32(uint8_t* p, uint32_t v);
void put_le32(uint8_t* p, uint32_t v);
void put_le16(uint8_t* p, uint16_t v);
void put_be16(uint8_t* p, uint16_t v);
uint32_t get_be32(const uint8_t* p);
uint32_t get_le32(const uint8_t* p);
uint16_t get_le16(const uint8_t* p);
uint16_t get_be16(const uint8_t* p);

// Bounds-checked forms on a vector; writes past the end throw std::out_of_range.
void set_be32(Bytes& b, size_t off, uint32_t v);
void set_le32(Bytes& b, size_t off, uint32_t v);
void set_le16(Bytes& b, size_t off, uint16_t v);
uint32_t be32_at(const Bytes& b, size_t off);
uint32_t le32_at(const Bytes& b, size_t off);
uint16_t le16_at(const Bytes& b, size_t off);

// zlib's CRC-32 of a byte range.
uint32_t crc32_of(const uint8_t* p, size_t n);

// Stores zlib's CRC-32 of bytes [off, off+len-4) little-endian in the last 4 bytes of the region.
// This is the trailer of every NVRAM region and programmed image.
void store_region_crc(Bytes& nvram, size_t off, size_t len);
// True when the region's last 4 bytes hold that CRC. False when the region leaves the buffer.
bool region_crc_ok(const Bytes& nvram, size_t off, size_t len);

// Reverses each complete 4-byte group in place (NVRAM order <-> host view); a tail of 1-3 bytes is
// left alone.
void reverse_words(uint8_t* p, size_t n);
Bytes words_reversed(const Bytes& b);

// Pads with zeros to a multiple of 4.
void pad4(Bytes& b);

// Writes text into a host-view buffer so that NVRAM holds it in reading order (each 4-byte group
// reversed in the buffer). Writes `field` bytes, NUL-padded; text longer than the field is cut.
void put_nvram_text(Bytes& host_view, size_t off, std::string_view text, size_t field);
// Reads such a text back (stops at the first NUL or at `field` bytes).
std::string get_nvram_text(const Bytes& host_view, size_t off, size_t field);

// Copies host-view bytes into NVRAM at a 4-aligned offset (each 4-byte group reversed), and back.
void put_host_view(Bytes& nvram, size_t off, const uint8_t* p, size_t n);
Bytes get_host_view(const Bytes& nvram, size_t off, size_t n);

// A deterministic filler so that images have content a CRC can tell apart.
void fill_pattern(uint8_t* p, size_t n, uint32_t seed);

// Parses "0x..." hexadecimal or decimal; throws std::invalid_argument on anything else.
uint64_t parse_number(std::string_view text);
// Parses "a.b.c" or "a.b.c.d" (each 0..65535); throws std::invalid_argument.
std::vector<unsigned> parse_version(std::string_view text);

// Whole-file helpers; they throw std::runtime_error with the path on failure.
Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& data);
void write_text_file(const std::string& path, std::string_view text);

}  // namespace testkit
