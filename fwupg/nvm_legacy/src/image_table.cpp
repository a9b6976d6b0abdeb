// The image-type table of the legacy family and the rules that map wrapped-file records to rows.
#include "fwupg/nvm_legacy/image_table.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "toe_context.h"

namespace {
constexpr uint32_t HOST = 0x01000000u, RXP = 0x05000000u, MCP = 0x07000000u;
}

const toe_image_row g_toe_image_table[TOE_IMAGE_ROWS] = {
    {"BC1", "-bc1", MCP, 0xF0000000u, {0x00, 'b', 'c', '1'}},
    {"BC2", "-bc2", MCP, 0x00000000u, {0x00, 'b', 'c', '2'}},
    {"MBA", "-mba", HOST, 0x10000000u, {0x00, 'm', 'b', 'a'}},
    {"L2_RXP", "-rxp", RXP, 0x20000000u, {'l', '2', 'r', 'x'}},
    {"ISCSI_B", "-ib", HOST, 0xD0000000u, {0x00, 0x00, 'i', 'b'}},
    {"ISB_CFG", "", HOST, 0xC0000000u, {0x00, 'i', 'b', 'c'}},
    {"ISB_CFG2", "", HOST, 0xE0000000u, {0x00, 'i', 'b', 'c'}},
    {"ISB_CPRG", "", HOST, 0xB0000000u, {'i', 'b', 'c', 'p'}},
    {"IPMI_CFG", "", MCP, 0x70000000u, {0x00, 'i', 'p', 'c'}},
    {"IPMI_INIT", "", MCP, 0x80000000u, {0x00, 'i', 'p', 'i'}},
    {"IPMI_SERV", "", MCP, 0x90000000u, {0x00, 'i', 'p', 's'}},
    {"UMP", "-ump", MCP, 0x30000000u, {0x00, 'i', 'm', 'd'}},
    {"NCSI_CMN", "", MCP, 0x40000000u, {'n', 'c', 'c', 'm'}},
    {"NCSI_XLIB", "", MCP, 0x50000000u, {'n', 'c', 'l', 'x'}},
    {"NCSI_ELIB", "", MCP, 0x60000000u, {'n', 'c', 'l', 'e'}},
    {"USR_BLK", "", HOST, 0xA0000000u, {'u', 'r', 'b', '`'}},
    {"FCOE_B", "-feb", HOST, 0x20000001u, {0x00, 'f', 'e', 'b'}},
    {"FEB_CFG", "", HOST, 0x10000001u, {'f', 'e', 'b', 'c'}},
    {"FEB_CFG2", "", HOST, 0x30000001u, {'f', 'e', 'b', 'c'}},
    {"FEB_CPRG", "", HOST, 0x00000001u, {'f', 'e', 'b', 'p'}},
    {"CCM", "-ccm", HOST, 0x40000001u, {0x00, 'c', 'c', 'm'}},
};

int toe_image_by_option(const char* option)
{
    if (!option || !*option)
        return -1;
    for (int i = 0; i < TOE_IMAGE_ROWS; ++i)
        if (std::strcmp(g_toe_image_table[i].option, option) == 0)
            return i;
    return -1;
}

int toe_image_by_tag(uint32_t tag)
{
    for (int i = 0; i < TOE_IMAGE_ROWS; ++i)
        if (toe_tag_word(g_toe_image_table[i].tag) == tag)
            return i;
    return -1;
}

int toe_image_by_dir_type(uint32_t dir_type)
{
    for (int i = 0; i < TOE_IMAGE_ROWS; ++i)
        if (g_toe_image_table[i].dir_type == dir_type)
            return i;
    return -1;
}

int toe_image_by_name(const char* name)
{
    for (int i = 0; name && i < TOE_IMAGE_ROWS; ++i)
        if (std::strcmp(g_toe_image_table[i].name, name) == 0)
            return i;
    return -1;
}

int toe_wrapped_header_at(const uint8_t* buf, size_t len, size_t pos, wrapped_image_header* out)
{
    *out = {};
    if (!buf || pos > len || len - pos < 4)
        return 0;
    out->magic = toe::load_le32(buf + pos);
    if (out->magic != fwupg::kWrappedMagic)
        return 0;
    if (len - pos < 8)
        return -1;
    out->version = toe::load_le32(buf + pos + 4);
    const size_t size = out->version == 1 ? 16 : out->version == 2 ? 20 : 0;
    if (size == 0 || len - pos < size)
        return -1;
    out->tag = toe::load_le32(buf + pos + 8);
    if (size == 16) {
        out->length = toe::load_le32(buf + pos + 12);
    } else {
        out->compat = toe::load_le32(buf + pos + 12);
        out->length = toe::load_le32(buf + pos + 16);
    }
    return static_cast<int>(size);
}

namespace {
constexpr uint32_t TAG_IB6 = toe_tag_word('\0', 'i', 'b', '6');
constexpr uint32_t TAG_IB4N = toe_tag_word('i', 'b', '4', 'n');
constexpr uint32_t TAG_IBC6 = toe_tag_word('i', 'b', 'c', '6');
constexpr uint32_t TAG_IBC = toe_tag_word('\0', 'i', 'b', 'c');
constexpr uint32_t TAG_FEBC = toe_tag_word('f', 'e', 'b', 'c');
constexpr uint32_t TAG_IPI = toe_tag_word('\0', 'i', 'p', 'i');
constexpr uint32_t TAG_IPS = toe_tag_word('\0', 'i', 'p', 's');
constexpr uint32_t NEVER_PROGRAMMED[] = {
    toe_tag_word('i', 'b', 'p', 'l'), toe_tag_word('i', 'b', 'p', 'e'),
    toe_tag_word('f', 'b', 'p', 'l'), toe_tag_word('f', 'b', 'p', 'e'),
};
}  // namespace

int toe_wrapped_record_row(const HostOps& ops, const wrapped_image_header& hdr)
{
    for (uint32_t t : NEVER_PROGRAMMED)
        if (hdr.tag == t)
            return -2;
    if (hdr.version == 1)
        return toe_image_by_tag(hdr.tag);
    if (hdr.version != 2)
        return -1;
    int row;
    if (hdr.tag == TAG_IB6 || hdr.tag == TAG_IB4N)
        row = TOE_IMG_ISCSI_B;
    else if (hdr.tag == TAG_IBC6)
        row = toe_image_by_tag(TAG_IBC);
    else
        row = toe_image_by_tag(hdr.tag);
    if (row >= 0 && (hdr.tag == TAG_IBC || hdr.tag == TAG_IBC6 || hdr.tag == TAG_FEBC) &&
        toe::board_is_dual(toe::board(ops)) && !toe::port0_is_first(ops))
        ++row;   // the second port's configuration row follows the first port's
    return row;
}

int toe_check_image_compat(const HostOps& ops, const wrapped_image_header& hdr, const uint32_t* skip_list)
{
    for (const uint32_t* s = skip_list; s && *s; ++s)
        if (*s == hdr.tag)
            return 1;

    uint32_t compat = hdr.compat;
    if ((hdr.tag == TAG_IPI || hdr.tag == TAG_IPS) && (compat & 0xFFFF00u) == 0x020100u)
        compat = (compat & ~0xFFFF00u) | 0x030300u;

    const std::string board_text = toe::toe_var(ops, "BOARD");
    const int b = toe::board(ops);
    uint32_t board_bit;
    if (b == 5706)
        board_bit = 1u << 16;
    else if (b == 5708)
        board_bit = 1u << 17;
    else if (toe::board_is_dual(b))
        board_bit = 1u << 18;
    else {
        toe::set_error(ops, toe::ERR_UNKNOWN_CHIP);
        const std::string msg = "Unknown chip (" + board_text + ").";
        toe::append_result(ops, msg.c_str());
        return -1;
    }
    char msg[160];
    const uint32_t chip_mask = compat & 0xFF0000u;
    if (chip_mask && !(chip_mask & board_bit)) {
        std::snprintf(msg, sizeof msg, "File image (of type %x) not for %s.", chip_mask, board_text.c_str());
        toe::append_result(ops, msg);
        toe::set_error(ops, toe::ERR_MISMATCH);
        return -1;
    }
    const std::string phy = toe::toe_var(ops, "PHY_TYPE");
    uint32_t medium_bit;
    if (phy == "SERDES")
        medium_bit = 1u << 9;
    else if (phy == "COPPER")
        medium_bit = 1u << 8;
    else {
        toe::set_error(ops, toe::ERR_MEDIUM);
        const std::string m = "The chip has an unknown medium type (" + phy + ").";
        toe::append_result(ops, m.c_str());
        return -1;
    }
    const uint32_t media_mask = compat & 0xFF00u;
    if (media_mask && !(media_mask & medium_bit)) {
        std::snprintf(msg, sizeof msg, "File image (of type %x) not for %s.", media_mask, phy.c_str());
        toe::append_result(ops, msg);
        toe::set_error(ops, toe::ERR_MISMATCH);
        return -1;
    }
    return 0;
}
