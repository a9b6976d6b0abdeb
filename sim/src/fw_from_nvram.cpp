#include "fw_from_nvram.h"

#include "testkit/e1e3_reader.h"
#include "testkit/legacy_reader.h"
#include "yxmapi/yxmapi.h"

namespace sim {
namespace {

// "MBA a.b.c" of the first boot-agent slot of a ROM chain in NVRAM, or nothing.
std::optional<std::string> mba_text(const testkit::Bytes& nv, uint32_t offset, uint32_t length)
{
    auto slots = testkit::e1e3::mba_slots(testkit::get_host_view(nv, offset, length & ~3u));
    if (slots.empty()) return std::nullopt;
    uint16_t r = slots.front().second;
    return "MBA " + std::to_string((r >> 12) & 0xF) + "." + std::to_string((r >> 8) & 0xF) + "." +
           std::to_string(r & 0xFF);
}

// "a.b.c" at the end of a version text as major << 24 | minor << 16 | build << 8; 0 without one.
uint32_t version_word(const std::string& text)
{
    std::string_view v(text);
    if (size_t sp = v.rfind(' '); sp != std::string_view::npos) v.remove_prefix(sp + 1);
    if (!v.empty() && (v[0] == 'v' || v[0] == 'V')) v.remove_prefix(1);
    uint32_t parts[3] = {0, 0, 0};
    size_t n = 0;
    for (char c : v) {
        if (c == '.') {
            if (++n == 3) return 0;
        } else if (c >= '0' && c <= '9') {
            parts[n] = parts[n] * 10 + uint32_t(c - '0');
            if (parts[n] > 255) return 0;
        } else {
            return 0;
        }
    }
    if (n != 2) return 0;
    return parts[0] << 24 | parts[1] << 16 | parts[2] << 8;
}

// A 57710-class device reports, per field of its firmware record, the version text of the image
// that carries that component: the bootcode (MFW1 when present, else BC1), NCSI, iSCSI boot,
// FCoE boot, the boot agent ("MBA a.b.c" of its first sub-image), L2 firmware and CCM; the MBI
// version is the word that the package install keeps at byte 72 of CFG_SHARED.
std::optional<DerivedFirmware> derive_57710(std::span<const uint8_t> nvram)
{
    testkit::Bytes nv(nvram.begin(), nvram.end());
    if (!testkit::e1e3::directory_valid(nv)) return std::nullopt;
    auto images = testkit::e1e3::list_images(nv);
    auto find = [&](const char* name) -> const testkit::e1e3::ImageVersion* {
        for (const auto& im : images)
            if (im.name == name && !im.version.empty()) return &im;
        return nullptr;
    };
    DerivedFirmware d;
    auto put = [&](yxmapi::TextField f, const char* name) {
        if (const auto* im = find(name)) d.texts[f.off] = im->version;
    };
    if (const auto* im = find("MFW1"); im) {
        d.texts[yxmapi::fw5::kText4.off] = im->version;
        d.mfw_word = version_word(im->version);
    } else {
        put(yxmapi::fw5::kText4, "BC1");
    }
    put(yxmapi::fw5::kText84, "NCSI_CMN");
    put(yxmapi::fw5::kText164, "ISCSI_B");
    put(yxmapi::fw5::kText516, "FCOE_B");
    put(yxmapi::fw5::kText632, "L2T");
    put(yxmapi::fw5::kText764, "CCM");
    for (const auto& im : images)
        if (im.name == "MBA") {
            if (auto t = mba_text(nv, im.offset, im.length)) d.texts[yxmapi::fw5::kMba.off] = *t;
            break;
        }
    for (const auto& im : images)
        if (im.name == "CFG_SHARED") {
            if (auto w = testkit::e1e3::image_word(nv, im, 72)) d.mbi_packed = *w;
            break;
        }
    return d;
}

// A legacy device reports the boot code's text, the UMP, IPMI and NCSI firmware texts, the iSCSI
// boot version with its IP layout in front ("ipv4_ipv6 v7.10.2"), the boot agent as "MBA a.b.c"
// of its first sub-image, and the CCM version.
std::optional<DerivedFirmware> derive_legacy(std::span<const uint8_t> nvram)
{
    testkit::Bytes nv(nvram.begin(), nvram.end());
    if (!testkit::legacy::directory_valid(nv)) return std::nullopt;
    DerivedFirmware d;
    for (const auto& im : testkit::legacy::list_images(nv)) {
        auto put = [&](yxmapi::TextField f) {
            if (!im.version.empty() && !d.texts.count(f.off)) d.texts[f.off] = im.version.substr(0, f.cap - 1);
        };
        if (im.name == "BC1") put(yxmapi::fw4::kBootcode);
        else if (im.name == "UMP") put(yxmapi::fw4::kUmp);
        else if (im.name == "IPMI_INIT") put(yxmapi::fw4::kIpmi);
        else if (im.name == "ISCSI_B") put(yxmapi::fw4::kIscsi);
        else if (im.name == "NCSI_CMN") put(yxmapi::fw4::kNcsi);
        else if (im.name == "CCM") put(yxmapi::fw4::kCcm);
        else if (im.name == "MBA" && !d.texts.count(yxmapi::fw4::kPxe.off))
            if (auto t = mba_text(nv, im.offset, im.length)) d.texts[yxmapi::fw4::kPxe.off] = *t;
    }
    return d;
}

}  // namespace

bool firmware_derivable(uint32_t family)
{
    return family == yxmapi::kFamily57710 || family == yxmapi::kFamilyLegacy;
}

std::optional<DerivedFirmware> derive_firmware_from_nvram(uint32_t family, std::span<const uint8_t> nvram)
{
    try {
        if (family == yxmapi::kFamilyLegacy) return derive_legacy(nvram);
        if (family != yxmapi::kFamily57710) return std::nullopt;
        return derive_57710(nvram);
    } catch (const std::exception&) {
        return std::nullopt;  // unreadable NVRAM: the device reports no versions
    }
}

}  // namespace sim
