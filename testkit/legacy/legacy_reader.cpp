#include "testkit/legacy_reader.h"

#include <cctype>
#include <cstdio>

#include "testkit/bytes.h"
#include "testkit/e1e3_reader.h"
#include "testkit/legacy_stock.h"

namespace testkit::legacy {
namespace {

bool inside(const bytes& nv, uint64_t off, uint64_t len) { return off + len <= nv.size(); }

bool one_of(std::string_view n, std::initializer_list<const char*> names)
{
    for (const char* x : names)
        if (n == x)
            return true;
    return false;
}

// Printable characters from `at`, ending at a NUL, a non-printable byte or `max` characters.
std::string printable(const bytes& text, size_t at, size_t max)
{
    std::string s;
    for (size_t i = at; i < text.size() && s.size() < max && std::isprint(text[i]); ++i)
        s += char(text[i]);
    return s;
}

uint32_t linear_of_flash(uint32_t flash) { return (flash >> 9) * 264 + (flash & 0x1FF); }

}  // namespace

bool directory_valid(const bytes& nv) { return residue_ok(nv, 0x14, 0x100 - 0x14); }

std::string version_text(std::string_view n, const bytes& nv, uint32_t offset, uint32_t length)
{
    length &= ~3u;
    if (offset % 4 || !inside(nv, offset, length))
        return "";
    auto word = [&](uint32_t at) -> std::optional<uint32_t> {
        if (uint64_t(at) + 4 > length)
            return std::nullopt;
        return get_be32(nv, offset + at);
    };
    char buf[32];
    if (n == "MBA")
        return e1e3::version_text("MBA", nv, offset, length);
    if (one_of(n, {"ISCSI_B", "ISB_CPRG", "FCOE_B", "FEB_CPRG", "CCM"})) {
        const auto v = word(4);
        if (!v || uint64_t(*v & 0xFFFC) + 16 > length)
            return "";
        const std::string text = printable(get_host_view(nv, offset + (*v & 0xFFFC), 16), *v & 3, 12);
        if (n != "ISCSI_B")
            return text;
        const uint32_t mark = word(12).value_or(0) & 0xFFFF;
        return (mark == 0x86DD ? "ipv6 " : mark == 0xC0B0 ? "ipv4_ipv6 " : "ipv4 ") + text;
    }
    if (one_of(n, {"ISB_CFG", "ISB_CFG2", "FEB_CFG", "FEB_CFG2"})) {
        const auto v = word(0);
        if (!v)
            return "";
        std::snprintf(buf, sizeof buf, "v%u.%u", *v >> 24, (*v >> 16) & 0xFF);
        return buf;
    }
    if (n == "USR_BLK")
        return "";
    if (n == "IPMI_CFG")
        return length ? std::to_string(nv[offset] & 0xF) : "";
    if (length < 28)
        return "";
    return printable(nv, offset + 16, 12);
}

std::vector<listed_image> list_images(const bytes& nv)
{
    std::vector<listed_image> out;
    if (nv.size() < 0x100)
        return out;
    if (get_be32(nv, 0) == 0x669955AAu) {
        const uint32_t flash = get_be32(nv, 12);
        const uint64_t len = uint64_t(get_be32(nv, 8)) * 4;
        uint32_t at = flash;
        if (len <= 0xFFFFFFFFu && !residue_ok(nv, flash, size_t(len)) && residue_ok(nv, linear_of_flash(flash), size_t(len)))
            at = linear_of_flash(flash);
        listed_image im{"BC1", 0xF0000000u, -1, at, uint32_t(len), ""};
        if (len <= 0xFFFFFFFFu)
            im.version = version_text("BC1", nv, at, uint32_t(len));
        out.push_back(std::move(im));
    }
    for (int i = 0; i < 16; ++i) {
        const size_t e = 0x14 + 12 * size_t(i);
        const uint32_t flags = get_be32(nv, e + 4), len = flags & 0xFFFFFCu;
        if (!len)
            continue;
        const uint32_t type = flags & 0xF0000001u, at = get_be32(nv, e + 8);
        const kind* k = kind_of_dir_type(type);
        listed_image im{k ? k->name : "?", type, i, at, len, ""};
        if (k)
            im.version = version_text(k->name, nv, at, len);
        out.push_back(std::move(im));
    }
    return out;
}

std::optional<listed_image> find_image(const bytes& nv, std::string_view name)
{
    for (listed_image& im : list_images(nv))
        if (im.name == name)
            return std::move(im);
    return std::nullopt;
}

}  // namespace testkit::legacy
