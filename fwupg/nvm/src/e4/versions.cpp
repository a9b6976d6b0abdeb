// Version texts of E4 images and their comparison; the rules are one row per image type.
#include "fwupg/nvm/e4/versions.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/image_header.h"
#include "fwupg/nvm/e4/image_table.h"
#include "e4/version_rules.h"

namespace fwupg::nvm::e4 {

namespace {

// Rows in the order of g_image_table_e4.
constexpr TypeRule kRules[] = {
    {1, Text::At0, "TIM %d.%d.%d.%d", Check::Compared, Report::Versions},        // TIM1
    {2, Text::At0, "TIM %d.%d.%d.%d", Check::Compared, Report::Versions},        // TIM2
    {3, Text::At0, "MIM %d.%d.%d.%d", Check::Compared, Report::Versions},        // MIM1
    {4, Text::At0, "MIM %d.%d.%d.%d", Check::Compared, Report::Versions},        // MIM2
    {5, Text::Mba, nullptr, Check::Compared, Report::Versions},                  // MBA
    {6, Text::At0, nullptr, Check::Compared, Report::Versions},                  // OPT_MODULES
    {7, Text::None, nullptr, Check::Compared, Report::NameOnly},                 // VPD
    {8, Text::None, nullptr, Check::Never, Report::NameOnly},                    // MFW_TRACE1
    {9, Text::None, nullptr, Check::Never, Report::NameOnly},                    // MFW_TRACE2
    {10, Text::None, nullptr, Check::Never, Report::Silent},                     // NVM_CFG1
    {11, Text::None, nullptr, Check::Compared, Report::Versions},                // L2B
    {12, Text::None, nullptr, Check::Compared, Report::Versions},                // DIR1
    {13, Text::None, nullptr, Check::Passed, Report::Versions},                  // EAGLE_FW1
    {14, Text::None, nullptr, Check::Passed, Report::Versions},                  // FALCON_FW1
    {15, Text::None, nullptr, Check::Passed, Report::Versions},                  // PCIE_FW1
    {16, Text::At0, nullptr, Check::Compared, Report::Versions},                 // HW_SET
    {17, Text::At16, "LIM %d.%d.%d.%d", Check::Compared, Report::Versions},      // LIM
    {18, Text::None, nullptr, Check::Passed, Report::Versions},                  // AVS_FW1
    {19, Text::None, nullptr, Check::Compared, Report::Versions},                // DIR2
    {20, Text::At16, nullptr, Check::Compared, Report::Versions},                // CCM
    {21, Text::None, nullptr, Check::Passed, Report::Versions},                  // EAGLE_FW2
    {22, Text::None, nullptr, Check::Passed, Report::Versions},                  // FALCON_FW2
    {23, Text::None, nullptr, Check::Passed, Report::Versions},                  // PCIE_FW2
    {24, Text::None, nullptr, Check::Passed, Report::Versions},                  // AVS_FW2
    {25, Text::InitHw, nullptr, Check::Compared, Report::Versions},              // INIT_HW
    {26, Text::None, nullptr, Check::Never, Report::Versions},                   // DEFAULT_CFG
    {27, Text::None, nullptr, Check::Never, Report::NameOnly},                   // CRASH_DUMP
    {28, Text::None, nullptr, Check::Never, Report::NameOnly},                   // META
    {29, Text::IscsiCfg, "ISCSI_CFG %d.%d", Check::Compared, Report::Versions},  // ISCSI_CFG
    {31, Text::FcoeCfg, "FCOE_CFG %d.%d", Check::Compared, Report::Versions},    // FCOE_CFG
    {32, Text::EthPhy, nullptr, Check::Passed, Report::Versions},                // ETH_PHY_FW1
    {33, Text::EthPhy, nullptr, Check::Passed, Report::Versions},                // ETH_PHY_FW2
    {34, Text::None, nullptr, Check::Compared, Report::Versions},                // BDN
    {36, Text::None, nullptr, Check::Never, Report::NameOnly},                   // PK
    {37, Text::At0, "RCVR %d.%d.%d.%d", Check::Compared, Report::Versions},      // RECOVERY
};
static_assert(std::size(kRules) == std::size(g_image_table_e4), "one rule per image type");

constexpr TypeRule kUnknownType = {0, Text::None, nullptr, Check::Compared, Report::Versions};

VersionState g_state;

// The 16-character text stored as four words, each holding 4 characters most significant first
// in a little-endian word: from NVRAM the words are read swapped, from a buffer swapped here.
std::string swizzled_text(const ImageRef& image, uint32_t at)
{
    char text[17] = {};
    if (image.from_buffer) {
        if (image.read(at, text, 16) != 0)
            return {};
        common_nvm_swap_buffer(text, 16);
    } else {
        if (uint64_t(at) + 16 > image.size || common_nvm_read(image.nvm_off + at, text, 16, 1) != 0)
            return {};
    }
    return std::string(text, strnlen(text, 16));
}

std::string four_bytes(uint32_t v, const char* prefix = "")
{
    char text[48];
    std::snprintf(text, sizeof text, "%s%d.%d.%d.%d", prefix, int(v >> 24), int((v >> 16) & 0xFF),
                  int((v >> 8) & 0xFF), int(v & 0xFF));
    return text;
}

// Parses up to four numbers with the format; missing ones count 0.
uint32_t packed(const char* format, const std::string& text)
{
    int n[4] = {0, 0, 0, 0};
    std::sscanf(text.c_str(), format, &n[0], &n[1], &n[2], &n[3]);
    return uint32_t(n[0]) << 24 | uint32_t(n[1]) << 16 | uint32_t(n[2]) << 8 | uint32_t(n[3]);
}

// "TIM a.b.c.d" with hexadecimal parts, packed the same way.
uint32_t packed_tim_hex(const std::string& text)
{
    unsigned n[4] = {0, 0, 0, 0};
    std::sscanf(text.c_str(), "TIM %x.%x.%x.%x", &n[0], &n[1], &n[2], &n[3]);
    return n[0] << 24 | (n[1] & 0xFF) << 16 | (n[2] & 0xFF) << 8 | (n[3] & 0xFF);
}

}  // namespace

const TypeRule& type_rule(uint32_t type)
{
    for (const auto& r : kRules)
        if (r.id == type)
            return r;
    return kUnknownType;
}

VersionState& version_state() { return g_state; }

void forget_remembered_versions()
{
    g_state.last_uefi = 0;
    g_state.last_pci30_revision = 0;
    for (uint32_t& n : g_state.last_mim)
        n = 0;
}

int ImageRef::read(uint32_t relative, void* out, uint32_t length) const
{
    if (uint64_t(relative) + length > size)
        return -1;
    return e4_nvm_read_image_bytes(from_buffer, nvm_off, data, size, relative, out, length);
}

std::string e4_image_version_str(const ImageRef& image, uint32_t type)
{
    const TypeRule& rule = type_rule(type);
    uint32_t w = 0;
    switch (rule.text) {
    case Text::None:
        return {};
    case Text::At0:
        return swizzled_text(image, 0);
    case Text::At16:
        return swizzled_text(image, 16);
    case Text::Mba: {
        uint32_t* set = image.from_buffer ? g_state.new_mba : g_state.nvm_mba;
        if (e4_mba_component_versions(image, set) != 0)
            return {};
        return mba_version_text(set);
    }
    case Text::InitHw: {
        uint32_t v = 0;
        if (image.read_u32(0, &w) != 0 || uint64_t(w) + 8 > image.size || image.read_u32(w + 4, &v) != 0)
            return {};
        return four_bytes(__builtin_bswap32(v));
    }
    case Text::IscsiCfg:
    case Text::FcoeCfg: {
        if (image.read_u32(0, &w) != 0)
            return {};
        char text[40];
        std::snprintf(text, sizeof text, rule.text == Text::IscsiCfg ? "ISCSI_CFG %d.%d" : "FCOE_CFG %d.%d",
                      int((w & 0xFF00) >> 8), int(w & 0xFF));
        return text;
    }
    case Text::EthPhy:
        if (image.read_u32(0, &w) != 0)
            return {};
        return four_bytes(__builtin_bswap32(w));
    }
    return {};
}

int e4_image_version_newer(uint32_t type, const std::string& old, const std::string& newer)
{
    const TypeRule& rule = type_rule(type);
    if (rule.check == Check::Passed)
        return 0;
    if (!rule.format)
        return -1;  // no rule: both count 0, so never newer
    return packed(rule.format, old) < packed(rule.format, newer) ? 0 : -1;
}

int e4_bundle_tim_version(const uint8_t* bundle, uint32_t length, uint32_t* out)
{
    if (!bundle || !out)
        return -1;
    // The walk takes a writable buffer; this one only reads, so it walks a copy.
    std::string copy(reinterpret_cast<const char*>(bundle), length);
    int rc = -1;
    const BundleStop stop = walk_bundle(reinterpret_cast<uint8_t*>(copy.data()), length,
                                        [&](e4_image_header& h, uint8_t* data) {
                                            if (h.type != kTim1)
                                                return true;
                                            *out = packed("TIM %d.%d.%d.%d",
                                                          e4_image_version_str(ImageRef::buffer(data, h.length), kTim1));
                                            rc = 0;
                                            return false;
                                        });
    return stop == BundleStop::Stopped ? rc : -1;
}

int e4_nvm_tim_version(const e4_nvm_dir* dir, uint32_t bank, uint32_t* out)
{
    if (bank > 1 || !out)
        return 1;
    const uint32_t type = bank == 0 ? kTim1 : kTim2;
    uint32_t off = 0, len = 0;
    if (e4_nvm_find_image(type, &off, &len, dir) != 0)
        return 1;
    *out = packed_tim_hex(e4_image_version_str(ImageRef::nvram(off, len), type));
    return 0;
}

}  // namespace fwupg::nvm::e4
