// The version check of an upgrade: the version of the new image against the one of its type in
// NVRAM, found per type in a version word, a pointed-at version text or the code revisions of the
// boot ROM images. Everything read from the image file is checked against its length, and an
// NVRAM text is read only within its image: a version that cannot be read refuses the upgrade.
#include "fwupg/nvm_legacy/upgrade.h"

#include <cstdio>

#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/versions.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

enum : uint32_t { ERR_UMP = 68 };

// Where a type keeps its version.
enum class version_kind {
    none,   // nothing is compared
    word,   // a version word (>> 8) at memory-image byte 28
    ump,    // the same word, in the sectioned file behind its section 0 offset
    text,   // a "va.b.c" text that the word at byte 4 points at
    mba,    // the code revisions of the boot ROM images
};

constexpr version_kind KIND[] = {
    version_kind::word,   // BC1
    version_kind::word,   // BC2
    version_kind::mba,    // MBA
    version_kind::none,   // L2_RXP
    version_kind::text,   // ISCSI_B
    version_kind::none,   // ISB_CFG
    version_kind::none,   // ISB_CFG2
    version_kind::none,   // ISB_CPRG
    version_kind::none,   // IPMI_CFG
    version_kind::word,   // IPMI_INIT
    version_kind::word,   // IPMI_SERV
    version_kind::ump,    // UMP
    version_kind::word,   // NCSI_CMN
    version_kind::word,   // NCSI_XLIB
    version_kind::word,   // NCSI_ELIB
    version_kind::none,   // USR_BLK
    version_kind::text,   // FCOE_B
    version_kind::none,   // FEB_CFG
    version_kind::none,   // FEB_CFG2
    version_kind::none,   // FEB_CPRG
    version_kind::text,   // CCM
};
static_assert(sizeof KIND / sizeof KIND[0] == TOE_IMAGE_ROWS);

version_kind kind_of(int row) { return row >= 0 && row < TOE_IMAGE_ROWS ? KIND[row] : version_kind::none; }

int refuse(const HostOps& ops, uint32_t code, const char* message)
{
    toe::set_error(ops, code);
    toe::append_result(ops, message);
    return 1;
}

int refuse_printed(const HostOps& ops, const char* message)
{
    fwupg_dbg_printf("%s", message);
    toe::set_error(ops, toe::ERR_VERSION);
    return 1;
}

constexpr const char* FORCE_UPGRADE = "Please use \"-F\" option to force upgrade.\n";
constexpr const char* BAD_FILE_VERSION = "File has an invalid version string. Upgrade aborted.\n";

// The three printed parts of a version number of the row's kind.
void printed_form(int row, uint32_t v, char (&out)[40])
{
    if (kind_of(row) == version_kind::text)
        std::snprintf(out, sizeof out, "%u.%u.%u", v >> 24, (v >> 16) & 0xFF, v & 0xFFFF);
    else
        std::snprintf(out, sizeof out, "%u.%u.%u", (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

// Code revision parts of a boot ROM image: bits 12-19, 8-11, 0-7.
struct rom_rev {
    uint32_t major, minor, build;
    explicit rom_rev(uint32_t v) : major((v & 0xFF000) >> 12), minor((v & 0xF00) >> 8), build(v & 0xFF) {}
};

int compare_roms(const HostOps& ops, uint32_t dev, const uint8_t* image, uint32_t length, uint32_t nvm_offset)
{
    uint32_t fresh[8], old[8];
    const char* names[8] = {};
    if (toe_option_rom_versions(ops, fresh, image, length, 0, names, dev) != 0 ||
        toe_option_rom_versions(ops, old, nullptr, 0, nvm_offset, names, dev) != 0)
        return refuse_printed(ops, "MBA upgrade error.\n");
    auto name = [&](int slot) { return names[slot] ? names[slot] : "MBA"; };   // no kind found in either
    int equal = 0;
    for (int slot = 0; slot < 8; ++slot) {
        if (fresh[slot] == old[slot]) {
            ++equal;
        } else if (fresh[slot] < old[slot]) {
            if (fresh[slot] == 0) {
                fwupg_dbg_printf("This \"nvm upgrade\" operation involves removal of %s.\n", name(slot));
            } else {
                const rom_rev from(old[slot]), to(fresh[slot]);
                fwupg_dbg_printf("%s downgrade from (%d.%d.%d) to (%d.%d.%d) is requested\n", name(slot), from.major,
                                 from.minor, from.build, to.major, to.minor, to.build);
            }
            return refuse_printed(ops, "Please use \"-F\" option to force downgrade.\n");
        }
    }
    if (equal < 8)
        return 0;
    int shown = 0;
    for (int slot = 1; slot < 8 && shown == 0; ++slot)
        if (fresh[slot] && old[slot])
            shown = slot;
    const rom_rev from(old[shown]), to(fresh[shown]);
    fwupg_dbg_printf("%s upgrade from (%d.%d.%d) to (%d.%d.%d) is requested\n", name(shown), from.major, from.minor,
                     from.build, to.major, to.minor, to.build);
    return refuse_printed(ops, FORCE_UPGRADE);
}

// The new image's version word (>> 8): at byte 116 behind an 88-byte sectioned header, at 104
// behind a 76-byte one (its word 4 is 0).
bool file_version_word(const uint8_t* image, uint32_t length, uint32_t* out)
{
    if (length < 8)
        return false;
    const uint32_t at = toe::load_le32(image + 4) == 0 ? 104 : 116;
    if (uint64_t(at) + 4 > length)
        return false;
    *out = toe::load_le32(image + at) >> 8;
    return true;
}

// The UMP file's version word (>> 8): byte 28 of the data that section 0 points at.
bool ump_version_word(const uint8_t* image, uint32_t length, uint32_t* out)
{
    if (length < 20)
        return false;
    const uint64_t at = uint64_t(toe::load_le32(image + 16)) + 28;
    if (at + 4 > length)
        return false;
    *out = toe::load_le32(image + at) >> 8;
    return true;
}

int compare_texts(const HostOps& ops, uint32_t dev, int row, const uint8_t* image, uint32_t length,
                  uint32_t nvm_offset, uint32_t nvm_length)
{
    char text[17];
    uint32_t fresh = 0, old = 0;
    if (toe_image_pointed_version(ops, dev, image, length, 0, text) != 0 || toe_parse_version(text, "v", &fresh) != 0)
        return refuse_printed(ops, BAD_FILE_VERSION);
    const int rc = toe_image_pointed_version(ops, dev, nullptr, nvm_length, nvm_offset, text);
    if (rc == 1)
        return refuse(ops, toe::ERR_READ, "Failed to read NVRAM.");
    if (rc != 0 || toe_parse_version(text, "v", &old) != 0)
        return refuse_printed(
            ops, "Image in NVRAM has an invalid version string. Please delete it first. Upgrade aborted.\n");
    return toe_nvm_compare_versions(ops, fresh, old, row);
}

// The boot code's linear offset when a BC2 entry is listed (only then is BC1 compared); 0 and
// `*compare` false when there is nothing to compare with. 1 on a read failure.
int boot_code_to_compare(const HostOps& ops, uint32_t dev, uint32_t* offset, bool* compare)
{
    uint32_t words[3];
    for (uint32_t i = 0; i < 3; ++i)
        if (toe::read_dword(ops, dev, 4 + 4 * i, &words[i]) != 0)
            return 1;
    *offset = words[1] != 0 ? nvm_flash_to_linear_addr(ops, dev, words[2], 0) : words[2];
    *compare = false;
    for (uint32_t i = 0; i < TOE_DIR_ENTRIES; ++i) {
        uint32_t flags = 0;
        if (toe::read_dword(ops, dev, TOE_DIR_OFFSET + 4 + 12 * i, &flags) != 0)
            return 1;
        if ((flags & TOE_FLAGS_LEN_MASK) && (flags & TOE_FLAGS_TYPE_MASK) == g_toe_image_table[TOE_IMG_BC2].dir_type)
            *compare = true;
    }
    return 0;
}

}  // namespace

int toe_nvm_compare_versions(HostOps ops, uint32_t new_version, uint32_t nvm_version, int row)
{
    if (new_version > nvm_version)
        return 0;
    char fresh[40], old[40];
    printed_form(row, new_version, fresh);
    printed_form(row, nvm_version, old);
    fwupg_dbg_printf(new_version == nvm_version ? "New version(%s) is same as NVRAM version(%s). Upgrade aborted.\n"
                                                : "New version(%s) is older than NVRAM version(%s). Upgrade aborted.\n",
                     fresh, old);
    return refuse_printed(ops, FORCE_UPGRADE);
}

int toe_nvm_upgrade_version_check(HostOps ops, int row, const uint8_t* image, uint32_t length)
{
    uint32_t dev = 0;
    if (!toe::locate_device(ops, &dev))
        return 1;
    const version_kind kind = kind_of(row);
    if (kind == version_kind::none)
        return 0;
    if (toe_nvm_check_dev(dev) != 0)
        return refuse(ops, toe::ERR_NO_DEVICE, "Failed to locate device.");

    uint32_t nvm_offset = 0, nvm_length = 0xFFFFFFFFu;
    if (row == TOE_IMG_BC1) {
        bool compare = false;
        if (boot_code_to_compare(ops, dev, &nvm_offset, &compare) != 0)
            return refuse(ops, toe::ERR_READ, "Failed to read NVRAM.");
        if (!compare)
            return 0;
    } else {
        int index = 0;
        const int found = toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index);
        if (found < 0)
            return 0;   // first install of the type
        if (found != 0 || toe_nvm_read_dir_entry(ops, index, &nvm_offset, &nvm_length, nullptr, nullptr, nullptr) != 0 ||
            nvm_offset == 0)
            return refuse(ops, toe::ERR_DIR_INDEX, "Directory not found.");
    }

    switch (kind) {
    case version_kind::none:
        return 0;
    case version_kind::mba:
        return compare_roms(ops, dev, image, length, nvm_offset);
    case version_kind::text:
        return compare_texts(ops, dev, row, image, length, nvm_offset, nvm_length);
    case version_kind::word:
    case version_kind::ump: {
        uint32_t fresh = 0, old = 0;
        if (kind == version_kind::ump) {
            if (length < 4 || toe::load_le32(image) != TOE_SECTIONED_MAGIC || !ump_version_word(image, length, &fresh))
                return refuse(ops, ERR_UMP, "Invalid UMP firmware image.");
        } else if (!file_version_word(image, length, &fresh)) {
            return refuse_printed(ops, BAD_FILE_VERSION);
        }
        if (toe::read_dword(ops, dev, nvm_offset + 28, &old) != 0)
            return refuse(ops, toe::ERR_READ, "Failed to read NVRAM.");
        return toe_nvm_compare_versions(ops, fresh, old >> 8, row);
    }
    }
    return 0;
}
