// Programming a buffer into NVRAM with the identity checks and the preservation of the adapter's
// own data (MAC addresses, NVRAM size, SMBus address, configuration, VPD SN/EC, boot configuration).
#include "fwupg/nvm_legacy/program.h"

#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

#include "fwupg/nvm/base/piece_writer.h"
#include "fwupg/nvm/formats/vpd.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr uint32_t HW_INFO = 0x100, FEAT_INFO = 0x200, VPD = 0x300, REGION = 0x100;

// The image being programmed, with its word order.
struct image_buf {
    uint8_t* data;
    uint32_t len;   // L: whole dwords
    int swap;       // words are big-endian
    bool has(uint32_t off, uint32_t bytes = 4) const { return uint64_t(off) + bytes <= len; }
    uint32_t get(uint32_t off) const { return nvm_buf_get_dword(swap, data, off); }
    void put(uint32_t off, uint32_t v) { nvm_buf_put_dword(swap, data, off, v); }
};

bool toe_int(const HostOps& ops, const char* name, uint32_t* out)
{
    int v = 0;
    if (!ops.getToeInt || ops.getToeInt(ops.interp, name, &v) != 0)
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

// Compares the image's word at `off` with (hi << 16) | (lo & 0xFFFF) built from two ::toe values.
// 0 equal; 94 when the image is too short; 22 when it differs or the values are not known.
uint32_t check_id(const HostOps& ops, const image_buf& img, uint32_t off, const char* hi, const char* lo)
{
    if (img.len <= off || !img.has(off))
        return toe::ERR_NO_ID;
    uint32_t h = 0, l = 0;
    if (!toe_int(ops, hi, &h) || !toe_int(ops, lo, &l))
        return toe::ERR_MISMATCH;
    return img.get(off) == ((h << 16) | (l & 0xFFFF)) ? 0u : uint32_t(toe::ERR_MISMATCH);
}

int fail(const HostOps& ops, uint32_t code, const char* msg)
{
    if (code)
        toe::set_error(ops, code);
    toe::append_result(ops, msg);
    return -1;
}

// Reads a 256-byte region of NVRAM as host-order words.
bool read_region(const HostOps& ops, uint32_t dev, uint32_t start, uint32_t (&words)[REGION / 4])
{
    return toe::read_block(ops, dev, start, REGION, reinterpret_cast<uint8_t*>(words)) == 0;
}

// Whether the NVRAM's block at [start, start + length) still matches the CRC word it ends with.
// Data kept from a block that fails its check would be written back under a fresh CRC (or, for a
// block copied whole, stay damaged) while the programming reports success, so such a block is
// refused: 0 when it verifies, 1 when it does not (message and last error 21), -1 when it cannot
// be read.
int check_kept_block(const HostOps& ops, const char* name, uint32_t start, uint32_t length)
{
    uint32_t computed = 0, stored = 0;
    if (toe_nvm_region_crc(ops, start, length, &computed, &stored) != 0)
        return -1;
    if (computed == stored)
        return 0;
    char msg[200];
    std::snprintf(msg, sizeof msg,
                  "%s in NVRAM fails its CRC check, so its contents cannot be kept; nothing was programmed "
                  "(-raw takes everything from the image).\n",
                  name);
    fail(ops, toe::ERR_DIR_CRC, msg);
    return 1;
}

void store_region_crc(image_buf& img, uint32_t start)
{
    // CRC over the region's first 252 bytes as they will stand in NVRAM.
    uint32_t reg = 0xFFFFFFFFu;
    calc_crc32_bytes(img.data + start, REGION - 4, img.swap, &reg);
    img.put(start + REGION - 4, toe_crc_word(reg));
}

// VPD SN / EC of the adapter carried into the image. 0, 1 when the adapter's VPD cannot be read.
int keep_vpd_fields(const HostOps& ops, uint32_t dev, image_buf& img, uint32_t flags)
{
    uint8_t nvm[256];
    if (toe::read_block(ops, dev, VPD, sizeof nvm, nvm) != 0) {
        toe::append_result(ops, "NVM VPD read failed.");
        return 1;
    }
    vpd_info have{}, want{};
    vpd_parse_image(&have, nvm, 0);
    // The image's VPD in natural byte order: its words byte-reversed when they are big-endian.
    uint8_t work[256] = {};
    const uint32_t n = img.len - VPD < 256 ? img.len - VPD : 256;
    std::memcpy(work, img.data + VPD, n);
    if (img.swap)
        toe_buf_swap_dwords(work, sizeof work);
    vpd_parse_image(&want, work, 1);
    if ((flags & TOE_PRG_KEEP_SN) && have.sn[0])
        std::memcpy(want.sn, have.sn, sizeof want.sn);
    if ((flags & TOE_PRG_KEEP_EC) && have.ec[0])
        std::memcpy(want.ec, have.ec, sizeof want.ec);
    if (vpd_build_image(&want, work) != 0)
        return 0;   // the fields cannot be rebuilt: the image keeps its own VPD
    if (img.swap)
        toe_buf_swap_dwords(work, sizeof work);
    std::memcpy(img.data + VPD, work, n);
    return 0;
}

}  // namespace

uint32_t toe_nvm_id_word_offset(const HostOps& ops, int board)
{
    if (!toe::board_is_dual(board))
        return 0x104;
    return toe_cfg_own_block_first(ops) ? 0x154 : 0x1A8;
}

void toe_buf_swap_dwords(uint8_t* buf, uint32_t length)
{
    for (uint32_t i = 0; i + 4 <= length; i += 4)
        toe::store_le32(buf + i, toe::load_be32(buf + i));
}

int preserve_ib_feb_cfg(HostOps ops, uint8_t* buf, uint32_t length, int row, uint32_t dev, int swap)
{
    int first_row, second_row;
    if (row == TOE_IMG_ISB_CFG) {
        first_row = TOE_IMG_ISB_CFG;
        second_row = TOE_IMG_ISB_CFG2;
    } else if (row == TOE_IMG_FEB_CFG) {
        first_row = TOE_IMG_FEB_CFG;
        second_row = TOE_IMG_FEB_CFG2;
    } else {
        fwupg_dbg_printf("Invalid image idx in preserve_ib_feb_cfg\n");
        return 0;
    }
    image_buf img{buf, length, swap};
    const bool dual = toe::board_is_dual(toe::board(ops));
    const bool second_port = !toe::port0_is_first(ops);
    const int passes = dual ? 2 : 1;
    int shown_dev = static_cast<int>(dev);
    char msg[160];
    for (int pass = 0; pass < passes; ++pass) {
        const int r = !dual ? first_row : (pass == 0) == second_port ? second_row : first_row;
        const char* name = g_toe_image_table[r].name;
        const uint32_t type = g_toe_image_table[r].dir_type;
        int index = 0;
        uint32_t nvm_off = 0, nvm_len = 0;
        if (toe_nvm_find_dir_entry(ops, type, &index) == 0) {
            if (toe_nvm_read_dir_entry(ops, index, &nvm_off, &nvm_len, nullptr, nullptr, nullptr) != 0)
                return -1;
            int found = -1;
            for (int i = 0; i < int(TOE_DIR_ENTRIES) && found < 0; ++i) {
                const uint32_t e = TOE_DIR_OFFSET + 12u * i;
                if (img.has(e, 12) && (img.get(e + 4) & TOE_FLAGS_LEN_MASK) &&
                    (img.get(e + 4) & TOE_FLAGS_TYPE_MASK) == type)
                    found = i;
            }
            if (found < 0) {
                std::snprintf(msg, sizeof msg, "%s for dev%d is in NVRAM but not in the image file\n", name, shown_dev);
                toe::append_result(ops, msg);
            } else {
                const uint32_t e = TOE_DIR_OFFSET + 12u * found;
                const uint32_t img_len = img.get(e + 4) & TOE_FLAGS_LEN_MASK;
                const uint32_t img_off = img.get(e + 8);
                if (uint64_t(img_off) + img_len < length && img_len == nvm_len) {
                    if (const int bad = check_kept_block(ops, name, nvm_off, nvm_len))
                        return bad;
                    const uint32_t words = (img_len + 3) / 4;
                    std::snprintf(msg, sizeof msg, "%s preserve 0x%x cfg words on dev %d.\n", name, words, shown_dev);
                    toe::append_result(ops, msg);
                    for (uint32_t w = 0; w < words; ++w) {
                        uint32_t v = 0;
                        if (toe::read_dword(ops, dev, nvm_off + 4 * w, &v) != 0)
                            return -1;
                        img.put(img_off + 4 * w, v);
                    }
                } else {
                    std::snprintf(msg, sizeof msg, "%s for dev%d does not match with NVRAM\n", name, shown_dev);
                    toe::append_result(ops, msg);
                }
            }
        }
        shown_dev += second_port ? -1 : 1;
    }
    return 0;
}

int toe_nvm_program_nvm(HostOps ops, uint8_t* buf, uint32_t length, uint32_t nvm_offset, uint32_t flags,
                        uint32_t* written)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev))
        return fail(ops, toe::ERR_NO_DEVICE, "Bad device");
    if (toe_nvm_check_dev(dev) != 0 || length > 0xFFFFFFF0u)
        return -1;
    image_buf img{buf, (length + 3) & ~3u, int(flags & TOE_PRG_NVM_ORDER)};
    const int board = toe::board(ops);
    const bool dual = toe::board_is_dual(board);
    const uint32_t id_off = toe_nvm_id_word_offset(ops, board);

    if (flags & TOE_PRG_ID_MATCH) {
        const uint32_t id = check_id(ops, img, id_off, "VID", "DID");
        if (id == toe::ERR_NO_ID)
            return fail(ops, id, "No device ID/Vendor ID in NVRAM image file\n");
        if (id)
            return fail(ops, id, "Device ID/Vendor ID not matched\n");
        const uint32_t ss = check_id(ops, img, id_off + 4, "SSID", "SVID");
        if (ss == toe::ERR_NO_ID)
            return fail(ops, ss, "No Subsystem ID/Subsystem Vendor ID in NVRAM image file\n");
        if (ss)
            return fail(ops, ss, "Subsystem ID/Subsystem Vendor ID not matched\n");
    }

    bool repair_hw = false, repair_feat = false;
    if (nvm_offset == 0) {
        if ((flags & (TOE_PRG_KEEP_EC | TOE_PRG_KEEP_SN)) && img.len > VPD &&
            keep_vpd_fields(ops, dev, img, flags) != 0)
            return 1;
        if (!(flags & TOE_PRG_NO_CHIP_CHK) && img.len > id_off && check_id(ops, img, id_off, "VID", "DID") != 0)
            return fail(ops, toe::ERR_MISMATCH, "Device ID not matched\n");

        uint32_t hw[REGION / 4], feat[REGION / 4];
        if (img.len > HW_INFO && (!read_region(ops, dev, HW_INFO, hw) || !read_region(ops, dev, FEAT_INFO, feat)))
            return fail(ops, toe::ERR_READ, "NVM read failed.");
        // The blocks this programming takes words from must verify first.
        const bool keep_hw = img.len > HW_INFO && (flags & (TOE_PRG_KEEP_CFG | TOE_PRG_TAKE_MAC)) != TOE_PRG_TAKE_MAC;
        const bool keep_feat = (img.len > FEAT_INFO && (flags & TOE_PRG_KEEP_CFG)) ||
                               (img.has(0x244) && !(flags & TOE_PRG_TAKE_SMBUS));
        for (const auto& [keep, name, start] : {std::tuple{keep_hw, "HW_INFO", HW_INFO},
                                                std::tuple{keep_feat, "FEAT_INFO", FEAT_INFO}}) {
            const int bad = keep ? check_kept_block(ops, name, start, REGION) : 0;
            if (bad < 0)
                return fail(ops, toe::ERR_READ, "NVM read failed.");
            if (bad)
                return -1;
        }
        auto nvm_hw = [&hw](uint32_t off) { return hw[(off - HW_INFO) / 4]; };

        if (flags & TOE_PRG_KEEP_CFG) {
            if (img.len > FEAT_INFO) {
                for (uint32_t off = FEAT_INFO; off < FEAT_INFO + REGION && img.has(off); off += 4)
                    img.put(off, feat[(off - FEAT_INFO) / 4]);
                repair_feat = true;
            }
            if (img.len > HW_INFO) {
                const uint32_t keep_image[] = {0x128, 0x138, 0x150, 0x158, 0x160};
                const uint32_t keep_image_dual[] = {0x17C, 0x18C, 0x1A4, 0x1AC, 0x1B4};
                auto kept = [&](uint32_t off) {
                    for (uint32_t k : keep_image)
                        if (k == off) return true;
                    if (dual)
                        for (uint32_t k : keep_image_dual)
                            if (k == off) return true;
                    return off == 0x168 || (dual && off == 0x1BC);
                };
                for (uint32_t off = HW_INFO; off < HW_INFO + REGION && img.has(off); off += 4)
                    if (!kept(off))
                        img.put(off, nvm_hw(off));
                // Backup MAC pairs the adapter never set stay unset in the image.
                for (uint32_t off : {0x168u, 0x1BCu}) {
                    if ((off == 0x1BC && !dual) || !img.has(off - 4, 8))
                        continue;
                    if (nvm_hw(off) == 0xFFFFFFFFu && nvm_hw(off - 4) == 0xFFFFFFFFu) {
                        img.put(off - 4, 0);
                        img.put(off, 0);
                    }
                }
                repair_hw = true;
            }
        }

        if (!(flags & TOE_PRG_TAKE_MAC)) {
            const uint32_t pairs[] = {0x134, 0x15C};
            const uint32_t pairs_dual[] = {0x188, 0x1B0};
            auto copy_pair = [&](uint32_t off) {
                if (img.has(off, 8)) {
                    img.put(off, nvm_hw(off));
                    img.put(off + 4, nvm_hw(off + 4));
                }
            };
            auto backup_pair = [&](uint32_t off) {
                if (!img.has(off, 8))
                    return;
                const bool unset = nvm_hw(off) == 0xFFFFFFFFu && nvm_hw(off + 4) == 0xFFFFFFFFu;
                img.put(off, unset ? 0 : nvm_hw(off));
                img.put(off + 4, unset ? 0 : nvm_hw(off + 4));
            };
            for (uint32_t off : pairs)
                copy_pair(off);
            backup_pair(0x164);
            if (dual) {
                for (uint32_t off : pairs_dual)
                    copy_pair(off);
                backup_pair(0x1B8);
            }
            if (img.len > HW_INFO)
                repair_hw = true;
            if (img.has(0x128)) {
                const uint32_t size_bits = uint32_t(toe_nvm_size(ops.interp)) & 0xFFF000u;
                img.put(0x128, (img.get(0x128) & ~0xFFF000u) | size_bits);
            }
            if (img.len > 0x1FC) {
                store_region_crc(img, HW_INFO);
                repair_hw = false;
            }
        }

        if (!(flags & TOE_PRG_TAKE_SMBUS)) {
            for (uint32_t off : {0x244u, 0x2B8u}) {
                if ((off == 0x2B8 && !dual) || !img.has(off))
                    continue;
                const uint32_t nvm_low = feat[(off - FEAT_INFO) / 4] & 0xFF;
                img.put(off, (img.get(off) & ~0xFFu) | nvm_low);
            }
            if (img.len > 0x2FC) {
                store_region_crc(img, FEAT_INFO);
                repair_feat = false;
            }
        }

        for (const auto& [take, row] : {std::pair{TOE_PRG_TAKE_IBCFG, TOE_IMG_ISB_CFG},
                                         std::pair{TOE_PRG_TAKE_FEBCFG, TOE_IMG_FEB_CFG}}) {
            const int kept = flags & take ? 0 : preserve_ib_feb_cfg(ops, buf, img.len, row, dev, img.swap);
            if (kept < 0)
                return fail(ops, toe::ERR_READ, "NVM read failed.");
            if (kept)
                return -1;
        }
    }

    // A merged block whose CRC word the image covers gets its CRC here, so that the block and its
    // CRC reach the NVRAM in the same write; only a block the image ends inside is repaired after.
    for (uint32_t start : {HW_INFO, FEAT_INFO}) {
        bool& repair = start == HW_INFO ? repair_hw : repair_feat;
        if (repair && img.has(start + REGION - 4)) {
            store_region_crc(img, start);
            repair = false;
        }
    }

    uint32_t reg = 0xFFFFFFFFu;
    if (flags & TOE_PRG_APPEND_CRC)
        calc_crc32_bytes(buf, img.len, img.swap, &reg);

    fwupg_dbg_printf("Programming from: 0x%08x to 0x%08x\n", nvm_offset, nvm_offset + img.len);
    toe::idle(ops);

    if (img.swap)
        toe_buf_swap_dwords(buf, img.len);
    uint8_t saved[4];
    std::memcpy(saved, buf + img.len, 4);
    uint32_t total = img.len;
    if (flags & TOE_PRG_APPEND_CRC) {
        toe::store_le32(buf + img.len, toe_crc_word(reg));
        total += 4;
    }

    if (written)
        *written = 0;
    // A failing piece stops the write: nothing more is sent to an adapter that refused a write.
    // A whole image skipping what the NVRAM holds writes the bootstrap and directory, HW_INFO,
    // FEAT_INFO and VPD each in a write of its own.
    const bool skip_same = (flags & TOE_PRG_SKIP_SAME) != 0;
    std::vector<uint32_t> record_ends;
    if (nvm_offset == 0 && skip_same)
        record_ends = {HW_INFO, FEAT_INFO, VPD, VPD + REGION};
    const fwupg::nvm::PieceIo io{
        [&](uint32_t at, uint8_t* out, uint32_t n) { return toe::read_block(ops, dev, at, n, out) == 0; },
        [&](uint32_t at, uint8_t* bytes, uint32_t n) {
            const bool done = toe::write_block(ops, dev, at, n, bytes) == 0;
            toe::idle(ops);
            return done;
        },
    };
    bool ok = fwupg::nvm::write_in_pieces(buf, total, nvm_offset, record_ends, skip_same, io) == 0;
    for (uint32_t start : {HW_INFO, FEAT_INFO}) {
        if (!ok || !(start == HW_INFO ? repair_hw : repair_feat))
            continue;
        uint32_t computed = 0;
        ok = toe_nvm_region_crc(ops, start, REGION, &computed, nullptr) == 0 &&
             toe::write_dword(ops, dev, start + REGION - 4, computed) == 0;
    }
    std::memcpy(buf + img.len, saved, 4);
    if (!ok)
        return fail(ops, 0, "NVM write failed.");
    if (written)
        *written += total;
    return 0;
}

int toe_nvm_read_range(HostOps ops, uint8_t* buf, int swap, uint32_t length, uint32_t nvm_offset,
                       uint32_t* read_length)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return 1;
    const uint32_t start = nvm_offset & ~3u;
    const uint64_t end = (uint64_t(nvm_offset) + length + 3) & ~uint64_t(3);
    if (end - start > 0xFFFFFFFFu)
        return 1;
    const uint32_t n = uint32_t(end - start);
    if (toe::read_block(ops, dev, start, n, buf) != 0) {
        toe::append_result(ops, "NVM read failed.");
        return 1;
    }
    if (swap)
        toe_buf_swap_dwords(buf, n);
    if (read_length)
        *read_length = n;
    return 0;
}
