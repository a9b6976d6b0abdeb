// Space check: does a new image of a type and length fit into the NVRAM beside the images that
// stay?
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"

using namespace fwupg::nvm;

namespace {

// Tags that never count as replaced by a new MFW bundle.
bool bundle_core_tag(uint32_t tag)
{
    static const char* const kNames[] = {"BC1", "BC2", "NCSI_CMN", "NCSI_ELIB", "MFW1", "MFW2", "MFW2_A"};
    if (tag == 0x786C636E)
        return true;
    for (const char* n : kNames)
        if (g_image_table[row_by_name(n)].tag == tag)
            return true;
    for (uint32_t i = 0; i < 12; ++i)
        if (g_image_table[kRowSwim1 + i].tag == tag)
            return true;
    return false;
}

bool listed(uint32_t tag, const uint32_t* tags, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        if (tags[i] == tag)
            return true;
    return false;
}

}  // namespace

extern "C" int common_nvm_image_fits(uint32_t single_path, uint32_t type, uint32_t length, const uint32_t* tags,
                                     uint32_t tag_count)
{
    const uint64_t nvm_size = common_nvm_get_nvm_size();
    uint64_t total = uint64_t(length) + 2024 + (single_path ? 0 : 1088);
    uint64_t boot = 0;
    if (type != kTypeBc1) {
        uint32_t dwords = 0;
        if (common_nvm_read(8, &dwords, 4, 1) != 0)
            return 0;
        boot = uint64_t(dwords) * 4;
        total += boot;
    }
    uint64_t replaced = 0, bc2 = 0, ncsi = 0, mfw2 = 0, swim = 0;
    bool mfw1_present = false;
    const bool new_mfw1 = type == kTypeMfw1;
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t len = 0, t = 0, off = 0;
        if (common_nvm_read_dir_entry(i, &off, &len, nullptr, &t, nullptr) != 0)
            return 0;
        if (len == 0)
            continue;
        if (t == kTypeBc2) {
            bc2 = len;
        } else if (t == kTypeNcsiCmn || t == kTypeNcsiElib) {
            ncsi += len;
        }
        if (i == 15 && t == kTypeExtDir) {
            nvm_ext_dir dir;
            if (common_nvm_read_ext_dir(off, len, &dir) != 0)
                return 0;
            total += len + uint64_t(dir.byte_cnt);
            for (uint32_t k = 0; k < dir.count; ++k) {
                uint32_t et = dir.entry[k][1] & kTypeMask;
                uint32_t el = dir.entry[k][1] & kLenMask;
                if (et == kTypeMfw1) {
                    mfw1_present = true;
                    continue;
                }
                if (et == kTypeMfw2 || et == kTypeMfw2A)
                    mfw2 += el;
                else if (is_swim_type(et))
                    swim += el;
                if (et == type && total > el)
                    total -= el;
                if (new_mfw1 && tags) {
                    uint32_t row = 0;
                    if (common_nvm_image_row_by_type(et, &row) == 0 && !bundle_core_tag(g_image_table[row].tag) &&
                        listed(g_image_table[row].tag, tags, tag_count))
                        replaced += el;
                }
            }
            continue;
        }
        if (t != type)
            total += len;
    }
    if (mfw1_present && total >= boot)
        total -= boot;
    if (new_mfw1) {
        uint64_t sub = replaced + boot + bc2 + ncsi + mfw2;
        if (total < sub + swim)
            return 0;
        total -= sub;
        if (mfw1_present && total >= boot)
            total -= boot;
        if (tags) {
            if (total <= nvm_size)
                return 1;
            if (total - swim <= nvm_size)
                return 2;
            return 0;
        }
    }
    return total <= nvm_size ? 1 : 0;
}
