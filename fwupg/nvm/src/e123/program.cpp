// Programming of E1-E3 NVRAM. A whole image written at offset 0 takes over the adapter's
// identity and configuration (VPD SN/EC, NPAR blocks, MAC addresses, iSCSI/FCoE boot
// configurations) before its configuration CRCs are recomputed.
#include "fwupg/nvm/e123/program.h"

#include <cstring>
#include <new>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/piece_writer.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/formats/vpd_info.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kCfg[2] = {256, 2024};
constexpr uint32_t kCfgCrc[2] = {1100, 2868};
constexpr uint32_t kFeat[2] = {1104, 2872};
constexpr uint32_t kFeatCrc[2] = {1340, 3108};
constexpr uint32_t kVpd = 1344;

uint32_t crc_word(const uint8_t* words, uint32_t length)
{
    uint32_t crc = 0xFFFFFFFF;
    common_nvm_crc32(words, length, 0, &crc);
    return ~__builtin_bswap32(crc);
}

// Locates an image of `type` in a whole image held in host-order words.
bool find_in_buffer(const std::vector<uint8_t>& buf, uint32_t size, uint32_t type, uint32_t* off, uint32_t* len)
{
    if (size < kDirOffset + 192)
        return false;
    for (uint32_t i = 0; i < 16; ++i) {
        const uint8_t* e = buf.data() + kDirOffset + 12 * i;
        uint32_t flags = load_u32(e + 4);
        if ((flags & kLenMask) == 0)
            continue;
        if ((flags & kTypeMask) == type) {
            *off = load_u32(e + 8);
            *len = flags & kLenMask;
            return true;
        }
        if (i != 15 || (flags & kTypeMask) != kTypeExtDir)
            continue;
        uint64_t d = load_u32(e + 8);
        if (d + 8 > size)
            continue;
        uint32_t count = load_u32(buf.data() + d);
        for (uint32_t k = 0; k < count && k < 64 && d + 20 + 12ull * k <= size; ++k) {
            const uint8_t* x = buf.data() + d + 8 + 12 * k;
            if ((load_u32(x + 4) & kTypeMask) == type) {
                *off = load_u32(x + 8);
                *len = load_u32(x + 4) & kLenMask;
                return true;
            }
        }
    }
    return false;
}

// Locates an image of `type` on the adapter (main directory first, then the extended one).
bool find_on_adapter(uint32_t type, uint32_t* off, uint32_t* len)
{
    uint32_t idx = 0;
    if ((type & 1) == 0 && common_nvm_find_dir_entry(type, &idx, nullptr) == 0)
        return common_nvm_read_dir_entry(idx, off, len, nullptr, nullptr, nullptr) == 0;
    uint32_t present = 0;
    return common_nvm_find_ext_dir_image(&present, type, off, len, nullptr) == 0 && present;
}

struct Merge {
    std::vector<uint8_t>& buf;
    uint32_t size;  // working length
    unsigned paths;
    bool cfg_refresh[2] = {false, false};
    bool feat_refresh[2] = {false, false};

    bool covers(uint64_t off, uint64_t len) const { return off + len <= size; }

    int copy_from_adapter(uint32_t off, uint32_t len)
    {
        if (!covers(off, len))
            return 0;
        return common_nvm_read(off, buf.data() + off, len, 1);
    }

    int keep_vpd(uint32_t flags)
    {
        if (!(flags & (NVM_PRG_KEEP_VPD_EC | NVM_PRG_KEEP_VPD_SN)) || !covers(kVpd, 256))
            return 0;
        uint8_t adapter[256];
        if (common_nvm_read(kVpd, adapter, 256, 1) != 0)
            return -1;
        // Only fields parsed from a copy that rebuilds losslessly are carried, and only into a
        // copy that does too: a template default never replaces a board's serial number.
        if (!vpd_copy_round_trips(adapter) || !vpd_copy_round_trips(buf.data() + kVpd))
            return 0;
        vpd_info have{}, want{};
        common_nvm_vpd_parse(&have, adapter, 0);
        common_nvm_vpd_parse(&want, buf.data() + kVpd, 0);
        if ((flags & NVM_PRG_KEEP_VPD_SN) && have.sn[0])
            std::memcpy(want.sn, have.sn, sizeof want.sn);
        if ((flags & NVM_PRG_KEEP_VPD_EC) && have.ec[0])
            std::memcpy(want.ec, have.ec, sizeof want.ec);
        uint8_t built[256];
        if (common_nvm_vpd_build(&want, built) != 0)
            return -1;
        std::memcpy(buf.data() + kVpd, built, 256);
        return 0;
    }

    int keep_npar()
    {
        for (unsigned p = 0; p < paths; ++p) {
            if (copy_from_adapter(kFeat[p], 240) != 0 || copy_from_adapter(kCfg[p] + 4, 40) != 0)
                return -1;
            for (unsigned port = 0; port < 2; ++port) {
                uint32_t block = kCfg[p] + 44 + 400 * port;
                // The port block except its six MAC words (block offsets 16-39).
                if (copy_from_adapter(block, 16) != 0 || copy_from_adapter(block + 40, 360) != 0)
                    return -1;
            }
            cfg_refresh[p] = feat_refresh[p] = true;
        }
        return 0;
    }

    int keep_macs()
    {
        static constexpr uint32_t kPairs[3] = {16, 24, 392};
        for (unsigned p = 0; p < paths; ++p) {
            for (unsigned port = 0; port < 2; ++port)
                for (uint32_t pair : kPairs) {
                    uint32_t off = kCfg[p] + 44 + 400 * port + pair;
                    if (!covers(off, 8))
                        continue;
                    uint32_t mac[2];
                    if (common_nvm_read(off, mac, 8, 1) != 0)
                        return -1;
                    if (mac[0] == 0xFFFFFFFF && mac[1] == 0xFFFFFFFF)
                        mac[0] = mac[1] = 0;
                    std::memcpy(buf.data() + off, mac, 8);
                }
            cfg_refresh[p] = true;
        }
        return 0;
    }

    // Boot configurations of the adapter replace the image's own where both exist alike.
    int keep_boot_cfgs(const uint32_t (&types)[4])
    {
        int ports = common_nvm_port_count();
        for (int i = 0; i < ports && i < 4; ++i) {
            uint32_t ioff = 0, ilen = 0, aoff = 0, alen = 0;
            if (!find_in_buffer(buf, size, types[i], &ioff, &ilen) || !find_on_adapter(types[i], &aoff, &alen))
                return 0;
            if (ilen != alen || !covers(ioff, ilen) || (ilen & 3))
                return 0;
            if (common_nvm_read(aoff, buf.data() + ioff, alen, 1) != 0)
                return -1;
        }
        return 0;
    }

    void refresh_image_crcs()
    {
        for (unsigned p = 0; p < paths; ++p) {
            if (covers(kCfgCrc[p], 4)) {
                store_u32(buf.data() + kCfgCrc[p], crc_word(buf.data() + kCfg[p], 844));
                cfg_refresh[p] = false;
            }
            if (covers(kFeatCrc[p], 4)) {
                store_u32(buf.data() + kFeatCrc[p], crc_word(buf.data() + kFeat[p], 236));
                feat_refresh[p] = false;
            }
        }
    }
};

int refresh_region(uint32_t off, uint32_t len)
{
    uint32_t computed = 0;
    if (common_nvm_region_crc_values(off, len, &computed, nullptr) != 0)
        return -1;
    return common_nvm_write(off + len - 4, &computed, 4, 1);
}

// A whole image (from offset 0, pieces the NVRAM holds skipped) writes its fixed area record by
// record - bootstrap and directory, then each path's configuration, feature and VPD blocks - and
// the rest in 1 KiB pieces.
int write_pieces(std::vector<uint8_t>& buf, uint32_t length, uint32_t offset, uint32_t flags, unsigned paths)
{
    const bool skip_same = (flags & NVM_PRG_SKIP_SAME) != 0;
    std::vector<uint32_t> record_ends;
    if (offset == 0 && skip_same) {
        const uint32_t fixed_end = paths == 1 ? kCfg[1] : kFeatCrc[1] + 4;
        for (uint32_t end : {0x100u, kFeat[0], kVpd, kVpd + 256, kCfg[1], kFeat[1], kFeatCrc[1] + 4})
            if (end <= fixed_end)
                record_ends.push_back(end);
    }
    const PieceIo io{
        [](uint32_t at, uint8_t* out, uint32_t n) { return common_nvm_read(at, out, n, 1) == 0; },
        [](uint32_t at, uint8_t* bytes, uint32_t n) { return common_nvm_write(at, bytes, n, 1) == 0; },
    };
    return write_in_pieces(buf.data(), length, offset, record_ends, skip_same, io,
                           (flags & NVM_PRG_FROM_FIRST_CHANGE) != 0);
}

}  // namespace

namespace fwupg::nvm {

int read_ext_image(uint32_t type, uint8_t* out, uint32_t size, uint32_t* length)
{
    uint32_t present = 0, off = 0, len = 0;
    if (common_nvm_find_ext_dir_image(&present, type, &off, &len, nullptr) != 0)
        return -1;
    if (!present)
        return 0;
    uint32_t data = len >= 4 ? len - 4 : 0;
    if (length)
        *length = data;
    uint32_t n = (data < size ? data : size) & ~3u;
    if (n && common_nvm_read(off, out, n, 1) != 0)
        return -1;
    return 1;
}

}  // namespace fwupg::nvm

namespace {

int read_config_image(uint32_t type, uint8_t* out, uint32_t size, uint32_t* present)
{
    std::memset(out, 0, size);
    if (present)
        *present = 0;
    int rc = read_ext_image(type, out, size, nullptr);
    if (rc < 0)
        return -1;
    if (rc == 0) {
        std::memset(out, 0, size);
        return 0;
    }
    if (present)
        *present = 1;
    return 0;
}

}  // namespace

extern "C" {

int common_nvm_read_nic_prtion(uint8_t out[508], uint32_t* present)
{
    uint32_t have = 0;
    int rc = read_config_image(kTypeNicPrtion, out, kNicPrtionLen, &have);
    if (rc == 0 && !have)
        store_u32(out, 1);
    if (present)
        *present = have;
    return rc;
}

int common_nvm_read_niv(uint8_t out[1124], uint32_t* present)
{
    return read_config_image(kTypeNiv, out, kNivLen, present);
}

int common_nvm_read_nivprofiles(uint8_t out[10240], uint32_t* present)
{
    return read_config_image(kTypeNivProfiles, out, kNivProfilesLen, present);
}

int common_nvm_read_cfg_shared(uint8_t* out, uint32_t size)
{
    if (!out)
        return -1;
    std::memset(out, 0, size);
    uint32_t len = 0;
    std::vector<uint8_t> tmp(size + 4);
    int rc = read_ext_image(kTypeCfgShared, tmp.data(), size, &len);
    if (rc < 0)
        return -1;
    if (rc == 0)
        return 0;
    if (len > size) {
        fwupg_dbg_printf("nvm cfg extended shared image is larger than maximum defined size\n");
        return -1;
    }
    std::memcpy(out, tmp.data(), len);
    return 0;
}

int common_nvm_reinstall_nic_prtion(const uint8_t image[508])
{
    uint32_t row = 0;
    if (common_nvm_image_row_by_type(kTypeNicPrtion, &row) != 0)
        return -1;
    std::vector<uint8_t> copy(image, image + kNicPrtionLen);
    nvm_buf_host_order(copy.data(), kNicPrtionLen / 4);
    return common_nvm_install_ext_image(copy.data(), kNicPrtionLen, row, 0, 1, 0, 0);
}

int common_nvm_update_npar_block(int had_nic_prtion, const uint8_t saved[508])
{
    std::vector<uint8_t> now(kNicPrtionLen);
    uint32_t present = 0;
    if (common_nvm_read_nic_prtion(now.data(), &present) != 0)
        return -1;
    if (!present)
        return 0;
    if (had_nic_prtion && saved) {
        // The per-function entries of the saved copy go back into the present image.
        std::memcpy(now.data() + 52, saved + 52, 8 * 48);
        return common_nvm_reinstall_nic_prtion(now.data());
    }
    if (!common_nvm_npar_macs_set()) {
        fwupg_dbg_printf("can not init NPAR MAC addresses block as SF L2 MAC addr are not set\n");
        return 0;
    }
    return common_nvm_init_npar_block(0);
}

int common_nvm_update_niv_block(uint32_t mode, int had_niv, const uint8_t saved_niv[1124],
                                const uint8_t saved_profiles[10240])
{
    if (mode == 1) {
        for (uint32_t type : {kTypeNiv, kTypeNivProfiles}) {
            nvm_ext_dir dir;
            uint32_t k = 0;
            if (common_nvm_load_ext_dir(&dir) == 1 &&
                common_nvm_ext_dir_find(type, &dir, &k, nullptr, nullptr, nullptr, nullptr) == 0 &&
                common_nvm_ext_dir_remove(&dir, k) != 0)
                return -1;
        }
        return 0;
    }
    std::vector<uint8_t> now(kNivLen);
    uint32_t present = 0;
    if (common_nvm_read_niv(now.data(), &present) != 0)
        return -1;
    if (!present)
        return 0;
    if (had_niv && saved_niv) {
        std::memcpy(now.data() + 36, saved_niv + 36, 8 * 136);
    } else {
        // The adapter had no NIV: each function's block starts with its own MAC words.
        if (!common_nvm_npar_macs_set()) {
            fwupg_dbg_printf("not all SF L2 MAC addresses are initialized, not configuring NPAR block\n");
            return 0;
        }
        for (uint32_t f = 0; f < 8; ++f) {
            uint32_t mac[2] = {0, 0};
            if (common_nvm_function_mac(f, mac) != 0)
                return -1;
            store_u32(now.data() + 36 + 136 * f, mac[0]);
            store_u32(now.data() + 40 + 136 * f, mac[1]);
        }
    }
    uint32_t row = 0;
    if (common_nvm_image_row_by_type(kTypeNiv, &row) != 0 ||
        common_nvm_install_ext_image(now.data(), kNivLen, row, 0, 1, 0, 0) != 0)
        return -1;
    if (saved_profiles) {
        std::vector<uint8_t> prof(kNivProfilesLen);
        uint32_t have = 0;
        if (common_nvm_read_nivprofiles(prof.data(), &have) != 0)
            return -1;
        if (have && std::memcmp(prof.data(), saved_profiles, kNivProfilesLen) != 0 &&
            (common_nvm_image_row_by_type(kTypeNivProfiles, &row) != 0 ||
             common_nvm_install_ext_image(saved_profiles, kNivProfilesLen, row, 0, 1, 0, 0) != 0))
            return -1;
    }
    return 0;
}

int common_nvm_program_nvm(const void* buffer, uint32_t length, uint32_t nvm_offset, uint32_t flags,
                           uint32_t* written)
{
    if (written)
        *written = 0;
    if (!buffer)
        return -1;
    const uint32_t pad = (flags & NVM_PRG_PAD8) ? 4 : 0;
    const uint64_t raw = uint64_t(length) + pad + 3;
    const uint32_t work = uint32_t((flags & NVM_PRG_PAD8) ? raw & ~7ull : raw & ~3ull);
    std::vector<uint8_t> buf;
    try {
        buf.assign(size_t(work) + 8, 0);
    } catch (const std::bad_alloc&) {
        return -2;
    }
    std::memcpy(buf.data(), buffer, length < work ? length : work);
    if (flags & NVM_PRG_BIG_ENDIAN)
        common_nvm_swap_buffer(buf.data(), work);

    Merge m{buf, work, common_nvm_is_e1() ? 1u : 2u};
    if (nvm_offset == 0) {
        if (m.keep_vpd(flags) != 0)
            return -1;
        if ((flags & NVM_PRG_KEEP_NPAR) && m.keep_npar() != 0)
            return -1;
        if (!(flags & NVM_PRG_NO_KEEP_MAC) && m.keep_macs() != 0)
            return -1;
        if (!(flags & NVM_PRG_NO_KEEP_ISCSI) && m.keep_boot_cfgs({kTypeIbCfg, kTypeIbCfg2, kTypeIbCfg3, kTypeIbCfg4}) != 0)
            return -1;
        if (!(flags & NVM_PRG_NO_KEEP_FCOE) &&
            m.keep_boot_cfgs({kTypeFebCfg, kTypeFebCfg2, kTypeFebCfg3, kTypeFebCfg4}) != 0)
            return -1;
        m.refresh_image_crcs();
    }

    const bool refresh_npar =
        (flags & NVM_PRG_KEEP_NPAR) || ((flags & NVM_PRG_REFRESH_NPAR) && !(flags & NVM_PRG_NO_KEEP_MAC));
    std::vector<uint8_t> saved_np, saved_niv, saved_prof;
    uint32_t had_np = 0, had_niv = 0, had_prof = 0;
    if (refresh_npar) {
        saved_np.resize(kNicPrtionLen);
        saved_niv.resize(kNivLen);
        saved_prof.resize(kNivProfilesLen);
        if (common_nvm_read_nic_prtion(saved_np.data(), &had_np) != 0 ||
            common_nvm_read_niv(saved_niv.data(), &had_niv) != 0 ||
            common_nvm_read_nivprofiles(saved_prof.data(), &had_prof) != 0)
            return -1;
    }

    uint32_t total = work;
    if (flags & NVM_PRG_APPEND_CRC) {
        store_u32(buf.data() + work, crc_word(buf.data(), work));
        total += 4;
    }
    if (write_pieces(buf, total, nvm_offset, flags, m.paths) != 0)
        return -1;
    for (unsigned p = 0; p < m.paths; ++p) {
        if (m.cfg_refresh[p] && refresh_region(kCfg[p], 848) != 0)
            return -1;
        if (m.feat_refresh[p] && refresh_region(kFeat[p], 240) != 0)
            return -1;
    }
    if (written)
        *written = total;

    if (flags & NVM_PRG_KEEP_NPAR) {
        if (had_np) {
            if (common_nvm_reinstall_nic_prtion(saved_np.data()) != 0)
                return -1;
        } else if (common_nvm_update_npar_block(0, nullptr) != 0) {
            return -1;
        }
        if (common_nvm_update_niv_block((flags & NVM_PRG_NIV_MODE) ? 2 : 0, int(had_niv), saved_niv.data(),
                                        had_prof ? saved_prof.data() : nullptr) != 0)
            return -1;
    } else if (refresh_npar) {
        if (common_nvm_update_npar_block(int(had_np), saved_np.data()) != 0 ||
            common_nvm_update_niv_block((flags & NVM_PRG_NIV_MODE) ? 2 : 0, int(had_niv), saved_niv.data(),
                                        had_prof ? saved_prof.data() : nullptr) != 0)
            return -1;
    }
    return 0;
}

}  // extern "C"
