// Builds legacy-family NVRAM images and image files from a short description, and checks the CRCs
// of a built image. Written from the formats alone: structure words are stored big-endian, byte
// data the adapter holds in host memory (VPD, texts, boot ROMs) is byte-reversed within each dword,
// and every CRC word is zlib's CRC-32 of the covered bytes stored least significant byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testkit::legacy {

using bytes = std::vector<uint8_t>;

constexpr uint32_t CRC_RESIDUE = 0x2144DF1Cu;

void put_be32(bytes& b, size_t at, uint32_t v);
uint32_t get_be32(const bytes& b, size_t at);
void put_le32(bytes& b, size_t at, uint32_t v);
// Reverses the bytes of every whole dword.
bytes dword_reversed(const bytes& b);
// zlib CRC-32 of b[at, at + len) and its residue check over data plus the 4 bytes after it.
uint32_t crc32_of(const bytes& b, size_t at, size_t len);
bool residue_ok(const bytes& b, size_t at, size_t len_with_crc);
// Stores the CRC word of b[at, at + len) at b[at + len].
void seal(bytes& b, size_t at, size_t len);

// One image to place behind the fixed area. `data` is the memory image in NVRAM byte order (no CRC).
struct image {
    uint32_t dir_type;     // 0xF0000000 for the boot code (BC1)
    uint32_t processor;    // bits 24-27
    uint32_t sram;
    bytes data;
    uint32_t at = 0;       // NVRAM offset; 0 places it right after the previous image
};

struct adapter {
    int board = 5709;                    // 5706, 5708, 5709, 5716 or 57728
    uint32_t nvm_size = 0x40000;
    bool buffered = false;
    uint16_t vid = 0x14E4, did = 0x1639, svid = 0x14E4, ssid = 0x1639;
    uint8_t mac[2][6] = {{0x00, 0x10, 0x18, 0x01, 0x02, 0x03}, {0x00, 0x10, 0x18, 0x01, 0x02, 0x04}};
    uint8_t iscsi_mac[2][6] = {{0x00, 0x10, 0x18, 0x0A, 0x00, 0x01}, {0x00, 0x10, 0x18, 0x0A, 0x00, 0x02}};
    bool backup_mac_unset = false;        // backup MAC words left 0xFFFFFFFF
    uint8_t backup_mac[2][6] = {{0x00, 0x10, 0x18, 0x0B, 0x00, 0x01}, {0x00, 0x10, 0x18, 0x0B, 0x00, 0x02}};
    uint32_t power_dissipated = 0x0A000064, power_consumed = 0x0A000064;
    uint32_t feature_bits = 0;            // word 0x124
    uint32_t hw_h8[2] = {0, 0};           // words 0x13C / 0x190
    uint32_t feat_words[2][5] = {};       // f+0 .. f+0x10 of each function
    uint8_t smbus[2] = {0x34, 0x36};
    bool forced_l1 = false;               // f+0x38 = 0xD8000BB8
    uint32_t power_budget[8] = {};        // 0x1DC..0x1F8
    std::string spare = "SPARE-0001";
    std::string product = "Test Adapter", pn = "PN-1", ec = "EC-1", sn = "SN-0001", mn = "14e4";
    std::vector<image> images;           // BC1 first when present; placed from 0x600 in order
    // Knobs.
    bool untranslated_bootstrap = false;  // buffered part, boot-code address left linear
};

// The NVRAM image. Throws std::runtime_error when the images do not fit.
bytes build_nvram(const adapter& a);
// The VPD stream (natural byte order, 256 bytes) of an adapter's VPD fields.
bytes vpd_stream(const std::string& product, const std::string& pn, const std::string& ec,
                 const std::string& sn, const std::string& mn);

// Image contents (NVRAM byte order, no CRC).
// A firmware image with a NUL-ended text at 16-27 and major.minor.build in word 28's top bytes.
bytes text_image(const std::string& text, uint8_t major, uint8_t minor, uint8_t build, size_t size = 64);
// An image whose word at 4 points at a "vA.B.C" text (dword-reversed in NVRAM).
bytes pointed_version_image(const std::string& version, size_t size = 64);
// A PCI expansion ROM image (ROM bytes, natural order): size in 512-byte units, code type,
// PCI data revision, code revision; `last` marks the last image; `machine` the EFI machine type.
bytes rom_image(uint16_t device_id, uint8_t code_type, uint8_t pcir_revision, uint16_t code_revision,
                bool last, uint16_t machine = 0, uint8_t units = 1);

// Wrapped image-file records (all words little-endian).
bytes wrapped_v1(uint32_t tag, const bytes& data);
bytes wrapped_v2(uint32_t tag, uint32_t compat, const bytes& data);
// Tag word of four file bytes.
constexpr uint32_t tag(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
// Sectioned boot image file from a memory image in NVRAM order: 88-byte header (76 with
// `five_sections`), section 0 holding the whole image at `sram`.
bytes sectioned_file(const bytes& memory_image, uint32_t sram, bool five_sections = false);

// Checks everything the format promises of a whole NVRAM: the CRCs of the four fixed regions;
// HW_INFO naming a device id (word 0x104 on one-function boards, words 0x154 and 0x1A8 on
// two-function boards) and a MAC address that is not blank for each function; the
// part a whole number of 4 KiB units and as large as HW_INFO records; the VPD's resources and RV
// checksum; the bootstrap record (its magic exactly when it names boot code) and the boot code it
// names; every directory entry of a known type, with its type's processor code, no type twice; every
// image dword-aligned, at 0x600 or above, inside the part, overlapping no other, with a good CRC and
// a version text its kind's rule can read (version pointers inside their images, boot-agent ROM
// chains whole). `buffered`: the bootstrap holds a buffered-flash address. Empty when all pass,
// else one message per fault, each ending in "; ".
std::string verify_nvram(const bytes& nvram, bool buffered = false);
// The same checks but those of real firmware on a real part: no part size, VPD or version-text
// checks. For fixtures whose images are filler bytes standing for firmware, on parts of any size.
std::string verify_layout(const bytes& nvram, bool buffered = false);

// Where a field of the image is, for tests that look at bytes.
constexpr size_t HW_INFO = 0x100, FEAT_INFO = 0x200, VPD = 0x300, IMAGES = 0x600;
bool is_dual(int board);

}  // namespace testkit::legacy
