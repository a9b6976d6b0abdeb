#include "testkit/legacy_stock.h"

#include <array>
#include <stdexcept>
#include <vector>

#include "testkit/bytes.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/images.h"

namespace testkit::legacy {
namespace {

constexpr uint32_t HOST = 0x01000000u, RXP = 0x05000000u, MCP = 0x07000000u;

const kind KINDS[] = {
    {"BC1", MCP, 0xF0000000u, {0, 'b', 'c', '1'}},
    {"BC2", MCP, 0x00000000u, {0, 'b', 'c', '2'}},
    {"MBA", HOST, 0x10000000u, {0, 'm', 'b', 'a'}},
    {"L2_RXP", RXP, 0x20000000u, {'l', '2', 'r', 'x'}},
    {"ISCSI_B", HOST, 0xD0000000u, {0, 0, 'i', 'b'}},
    {"ISB_CFG", HOST, 0xC0000000u, {0, 'i', 'b', 'c'}},
    {"ISB_CFG2", HOST, 0xE0000000u, {0, 'i', 'b', 'c'}},
    {"ISB_CPRG", HOST, 0xB0000000u, {'i', 'b', 'c', 'p'}},
    {"IPMI_CFG", MCP, 0x70000000u, {0, 'i', 'p', 'c'}},
    {"IPMI_INIT", MCP, 0x80000000u, {0, 'i', 'p', 'i'}},
    {"IPMI_SERV", MCP, 0x90000000u, {0, 'i', 'p', 's'}},
    {"UMP", MCP, 0x30000000u, {0, 'i', 'm', 'd'}},
    {"NCSI_CMN", MCP, 0x40000000u, {'n', 'c', 'c', 'm'}},
    {"NCSI_XLIB", MCP, 0x50000000u, {'n', 'c', 'l', 'x'}},
    {"NCSI_ELIB", MCP, 0x60000000u, {'n', 'c', 'l', 'e'}},
    {"USR_BLK", HOST, 0xA0000000u, {'u', 'r', 'b', '`'}},
    {"FCOE_B", HOST, 0x20000001u, {0, 'f', 'e', 'b'}},
    {"FEB_CFG", HOST, 0x10000001u, {'f', 'e', 'b', 'c'}},
    {"FEB_CFG2", HOST, 0x30000001u, {'f', 'e', 'b', 'c'}},
    {"FEB_CPRG", HOST, 0x00000001u, {'f', 'e', 'b', 'p'}},
    {"CCM", HOST, 0x40000001u, {0, 'c', 'c', 'm'}},
};

bool one_of(std::string_view n, std::initializer_list<const char*> names)
{
    for (const char* x : names)
        if (n == x)
            return true;
    return false;
}

// a.b.c with every part below 256.
std::array<uint8_t, 3> version_parts(std::string_view version)
{
    const std::vector<unsigned> v = parse_version(version);
    if (v.size() != 3 || v[0] > 255 || v[1] > 255 || v[2] > 255)
        throw std::invalid_argument("version must be a.b.c with parts below 256: " + std::string(version));
    return {uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2])};
}

const char* text_prefix(std::string_view k)
{
    if (one_of(k, {"BC1", "BC2"}))
        return "bc";
    if (k == "UMP")
        return "UMP";
    if (k == "L2_RXP")
        return "RXP";
    if (k.substr(0, 4) == "NCSI")
        return "NCSI";
    if (one_of(k, {"IPMI_INIT", "IPMI_SERV"}))
        return "IPMI";
    return nullptr;
}

bytes sized(bytes b, size_t size)
{
    if (size) {
        if (size < b.size())
            throw std::invalid_argument("size below the kind's least size");
        b.resize(size, 0);
    }
    return b;
}

}  // namespace

std::span<const kind> kinds() { return KINDS; }

const kind* kind_named(std::string_view name)
{
    for (const kind& k : KINDS)
        if (name == k.name)
            return &k;
    return nullptr;
}

const kind* kind_of_dir_type(uint32_t dir_type)
{
    for (const kind& k : KINDS)
        if (k.dir_type == dir_type)
            return &k;
    return nullptr;
}

uint32_t tag_word(const kind& k) { return tag(k.tag[0], k.tag[1], k.tag[2], k.tag[3]); }

bytes stock_image(std::string_view k, std::string_view version, const stock_options& o)
{
    if (!kind_named(k))
        throw std::invalid_argument("unknown legacy image kind " + std::string(k));
    if (k == "USR_BLK") {
        bytes b(o.size ? (o.size + 3) & ~size_t(3) : 256);
        fill_pattern(b.data(), b.size(), 0x55C0FFEE);
        return b;
    }
    const auto [a, mi, c] = version_parts(version);
    if (const char* prefix = text_prefix(k)) {
        const std::string text = std::string(prefix) + " " + std::string(version);
        if (text.size() > 11)
            throw std::invalid_argument("version text longer than 11 characters: " + text);
        return sized(text_image(text, a, mi, c), o.size);
    }
    if (one_of(k, {"ISCSI_B", "ISB_CPRG", "FCOE_B", "FEB_CPRG", "CCM"})) {
        std::string text = "v";
        text += version;
        bytes b = sized(pointed_version_image(text), o.size);
        if (k == "ISCSI_B") {
            const uint32_t marks = o.ip.empty() || o.ip == "4" ? 0 : o.ip == "6" ? 0x86DD : o.ip == "4n6" ? 0xC0B0 : 1;
            if (marks == 1)
                throw std::invalid_argument("ip must be 4, 6 or 4n6");
            put_be32(b, 12, marks);
        }
        return b;
    }
    if (one_of(k, {"ISB_CFG", "ISB_CFG2"})) {
        if (a != 1 && a != 2)
            throw std::invalid_argument("iSCSI boot configuration layout must be 1 or 2");
        bytes b = sized(bytes(a == 1 ? 1024 : 2048, 0), o.size);
        put_be32(b, 0, uint32_t(a) << 24 | uint32_t(mi) << 16 | 0x6269);
        return b;
    }
    if (one_of(k, {"FEB_CFG", "FEB_CFG2"})) {
        bytes b = sized(bytes(1024, 0), o.size);
        put_be32(b, 0, uint32_t(a) << 24 | uint32_t(mi) << 16);
        return b;
    }
    if (k == "IPMI_CFG") {
        bytes b(548, 0);
        put_be32(b, 0, 0x06000000u);
        b[214] = c;
        b.resize(552);
        seal(b, 0, 548);
        return b;
    }
    // MBA.
    return dword_reversed(sized(mba_rom(mba_stock(o.device, version)), o.size));
}

image placed(std::string_view kind_name, bytes data, uint32_t at)
{
    const kind* k = kind_named(kind_name);
    if (!k)
        throw std::invalid_argument("unknown legacy image kind " + std::string(kind_name));
    uint32_t sram = k->processor == HOST ? 0 : 0x08000000u;
    if (kind_name == "USR_BLK")
        sram = 0xFFFFFFFFu;
    return {k->dir_type, k->processor, sram, std::move(data), at};
}

bytes paged(const bytes& nvram) { return e1e3::paged(nvram, 0x09); }

}  // namespace testkit::legacy
