// The kit's check of a whole legacy-family NVRAM: everything the format promises, each fault with
// its own message. Written from the format descriptions; it shares no code with the engine.
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "testkit/bytes.h"
#include "testkit/legacy_image.h"
#include "testkit/legacy_stock.h"

namespace testkit::legacy {
namespace {

constexpr uint32_t BOOT_MAGIC = 0x669955AAu;
constexpr uint32_t BOOT_CODE_TYPE = 0xF0000000u;

std::string hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(v));
    return buf;
}

bool one_of(const std::string& n, std::initializer_list<const char*> names)
{
    for (const char* x : names)
        if (n == x)
            return true;
    return false;
}

// Printable characters of `text` from `at`, at most `max`; `ended` tells whether a byte that is not
// printable (the text's end) was met before the buffer ran out.
std::string printable(const bytes& text, size_t at, size_t max, bool& ended)
{
    std::string s;
    ended = false;
    for (size_t i = at; i < text.size(); ++i) {
        if (s.size() == max || !std::isprint(text[i])) {
            ended = true;
            return s;
        }
        s += char(text[i]);
    }
    ended = s.size() == max;
    return s;
}

bool digits(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// "v" then a.b.c: the first two parts digits only, the third beginning with a digit.
bool v_version(const std::string& text)
{
    const size_t v = text.find('v');
    if (v == std::string::npos)
        return false;
    const std::string rest = text.substr(v + 1);
    const size_t d1 = rest.find('.'), d2 = d1 == std::string::npos ? d1 : rest.find('.', d1 + 1);
    if (d2 == std::string::npos)
        return false;
    const std::string c = rest.substr(d2 + 1);
    return digits(rest.substr(0, d1)) && digits(rest.substr(d1 + 1, d2 - d1 - 1)) && !c.empty() &&
           std::isdigit(static_cast<unsigned char>(c[0]));
}

// Why the boot-agent ROM chain (in host view) cannot be listed, or nothing: every ROM image carries
// its signature and a PCI data structure inside the chain, fills a known boot-agent slot, and the
// chain ends with the last-image mark inside the image, after at most eight ROM images.
std::optional<std::string> rom_chain_fault(const bytes& rom)
{
    size_t at = 0;
    bool any_revision = false;
    for (int n = 0; n < 8; ++n) {
        const std::string which = "ROM image " + std::to_string(n);
        if (at + 0x1A > rom.size() || rom[at] != 0x55 || rom[at + 1] != 0xAA)
            return which + " has no ROM signature";
        // The pointer to the PCI data structure is a 16-bit little-endian field.
        const size_t pointer = size_t(rom[at + 0x18] | rom[at + 0x19] << 8);
        const size_t d = at + pointer;
        if (pointer == 0 || d + 0x18 > rom.size() || rom[d] != 'P' || rom[d + 1] != 'C' || rom[d + 2] != 'I' ||
            rom[d + 3] != 'R')
            return which + " has no PCI data structure";
        const uint8_t code = rom[d + 0x14], pcir_rev = rom[d + 0x0C];
        const uint16_t units = uint16_t(rom[d + 0x10] | rom[d + 0x11] << 8);
        const uint16_t revision = uint16_t(rom[d + 0x12] | rom[d + 0x13] << 8);
        const uint16_t machine = uint16_t(rom[at + 10] | rom[at + 11] << 8);
        const bool known = (code == 0 && (pcir_rev == 0 || pcir_rev == 3)) || code == 1 ||
                           (code == 3 && (machine == 0x14C || machine == 0x200 || machine == 0xEBC || machine == 0x8664));
        if (!known)
            return which + " is of no boot-agent kind";
        any_revision = any_revision || revision != 0;
        if (units == 0 || at + size_t(units) * 512 > rom.size())
            return which + " runs past the image";
        if (rom[d + 0x15] & 0x80)
            return any_revision ? std::nullopt : std::optional<std::string>("no ROM image carries a revision");
        at += size_t(units) * 512;
    }
    return "no last ROM image among the first eight";
}

// Why the version text of an image of a kind cannot be read by its rule, or nothing. `data` is the
// image without its CRC word, in NVRAM byte order.
std::optional<std::string> version_fault(const std::string& name, const bytes& data)
{
    auto word = [&](size_t at) { return get_be32(data, at); };
    if (name == "USR_BLK")
        return std::nullopt;
    if (one_of(name, {"ISB_CFG", "ISB_CFG2", "FEB_CFG", "FEB_CFG2", "IPMI_CFG"}))
        return data.size() < 4 ? std::optional<std::string>("too short for its version word") : std::nullopt;
    if (name == "MBA") {
        if (auto why = rom_chain_fault(dword_reversed(data)))
            return "boot-agent ROM unreadable: " + *why;
        return std::nullopt;
    }
    if (one_of(name, {"ISCSI_B", "ISB_CPRG", "FCOE_B", "FEB_CPRG", "CCM"})) {
        if (data.size() < 8)
            return "too short for its version pointer";
        const uint32_t v = word(4);
        const size_t window = v & 0xFFFC;
        if (window + (v & 3) >= data.size())
            return "version pointer " + hex(v) + " outside its image";
        // The text is read from the pointed dwords with each one's bytes laid down from the least
        // significant; it must end inside the image.
        bytes host(data.begin() + long(window), data.begin() + long(std::min(data.size(), window + 16)));
        host = dword_reversed(host);
        bool ended = false;
        const std::string text = printable(host, v & 3, 12, ended);
        if (!ended)
            return "version text at " + hex(v) + " runs out of its image";
        if (text.empty())
            return "no version text at " + hex(v);
        if (one_of(name, {"ISCSI_B", "FCOE_B", "CCM"}) && !v_version(text))
            return "version text \"" + text + "\" is not va.b.c";
        return std::nullopt;
    }
    // Every other kind: a text of printable characters at bytes 16-27, the version word at 28.
    if (data.size() < 32)
        return "too short for its version text";
    const bytes field(data.begin() + 16, data.begin() + 28);
    bool ended = false;
    const std::string text = printable(field, 0, 12, ended);
    if (text.empty())
        return "no version text";
    if (text.size() < 12 && field[text.size()] != 0)
        return "version text not printable";
    return std::nullopt;
}

// Why the VPD block (host view, 256 bytes) breaks the VPD resource format, or nothing: the ID string,
// the read-only area with the family's keywords and the RV checksum as its last keyword, then an
// optional read-write area and the end tag.
std::optional<std::string> vpd_fault(const bytes& v)
{
    auto u16 = [&](size_t at) { return size_t(v[at] | v[at + 1] << 8); };
    if (v[0] != 0x82 || u16(1) > 48)
        return "no ID string";
    const size_t ro = 3 + u16(1);
    if (v[ro] != 0x90 || u16(ro + 1) > 125 - ro)
        return "no read-only area after the ID string";
    const size_t ro_end = ro + 3 + u16(ro + 1);
    const struct {
        const char* key;
        size_t max;
    } keys[] = {{"PN", 16}, {"EC", 10}, {"SN", 16}, {"MN", 4}, {"V0", 16}, {"YB", 128}};
    size_t p = ro + 3;
    for (;;) {
        if (p + 3 > ro_end)
            return "no RV checksum in the read-only area";
        const std::string key{char(v[p]), char(v[p + 1])};
        const size_t len = v[p + 2];
        if (p + 3 + len > ro_end)
            return "keyword " + key + " runs past the read-only area";
        if (key == "RV") {
            if (len == 0)
                return "RV has no checksum byte";
            if (p + 3 + len != ro_end)
                return "RV does not end the read-only area";
            uint8_t all = 0, from_ro = 0;
            for (size_t i = 0; i <= p + 3; ++i) {
                all = uint8_t(all + v[i]);
                if (i >= ro)
                    from_ro = uint8_t(from_ro + v[i]);
            }
            if (all != 0 && from_ro != 0)
                return "RV checksum bad";
            break;
        }
        bool known = false;
        for (const auto& k : keys)
            if (key == k.key) {
                if (len > k.max)
                    return "keyword " + key + " longer than " + std::to_string(k.max);
                known = true;
            }
        if (!known)
            return "unknown keyword " + key;
        p += 3 + len;
    }
    size_t end = ro_end;
    if (v[end] == 0x91)
        end += 3 + u16(end + 1);
    if (end >= v.size() || v[end] != 0x78)
        return "no end tag after its areas";
    return std::nullopt;
}

// The checks of `verify_nvram`; `firmware` adds those that hold only for a real part holding real
// firmware: the part's size, the VPD and the images' version texts.
std::string verify(const bytes& n, bool buffered, bool firmware)
{
    if (n.size() < IMAGES)
        return "NVRAM smaller than its fixed area; ";
    std::string why;
    auto fail = [&](const std::string& what) { why += what + "; "; };
    auto check = [&](const std::string& what, size_t at, size_t len) {
        if (!residue_ok(n, at, len))
            fail(what + " CRC bad");
    };
    check("BOOTSTRAP", 0, 20);
    check("DIRECTORY", 0x14, 0x100 - 0x14);
    check("HW_INFO", 0x100, 0x100);
    check("FEAT_INFO", 0x200, 0x100);

    // HW_INFO names the board: a one-function board its device id in the word at 0x104, a
    // two-function board one for each function in the words at 0x154 and 0x1A8 (a configuration
    // change may give them different ids), each function with a MAC address that is not blank
    // (all 0 or all 1) at 0x134 and 0x188.
    auto did_at = [&](size_t at) { return get_be32(n, at) & 0xFFFFu; };
    auto named = [](uint32_t did) { return did != 0 && did != 0xFFFF; };
    auto mac_at = [&](size_t at) { return uint64_t(get_be32(n, at) & 0xFFFFu) << 32 | get_be32(n, at + 4); };
    const bool one_function = named(did_at(0x104));
    if (!one_function && !named(did_at(0x154)))
        fail("HW_INFO names no device id");
    else if (!one_function && !named(did_at(0x1A8)))
        fail("HW_INFO function 1 names no device id");
    for (int fn = 0; fn < (one_function ? 1 : 2); ++fn) {
        const uint64_t mac = mac_at(fn ? 0x188 : 0x134);
        if (mac == 0 || mac == 0xFFFFFFFFFFFFull)
            fail("HW_INFO function " + std::to_string(fn) + " has a blank MAC address");
    }

    // The part: whole 4 KiB units, as large as HW_INFO records (bits 23-12 of its word at 0x128;
    // 0 there records no size, which the configuration writer fills in).
    if (firmware && n.size() % 0x1000)
        fail("NVRAM size " + hex(uint32_t(n.size())) + " not a whole number of 4 KiB");
    const uint32_t recorded = get_be32(n, 0x128) & 0xFFF000u;
    if (firmware && recorded && recorded != n.size())
        fail("NVRAM size " + hex(uint32_t(n.size())) + " differs from HW_INFO's " + hex(recorded));

    if (firmware) {
        if (auto v = vpd_fault(dword_reversed(bytes(n.begin() + VPD, n.begin() + VPD + 0x100))))
            fail("VPD " + *v);
    }

    // Every image lies dword-aligned behind the fixed area, inside the NVRAM, clear of every other,
    // with a good CRC and a version text its kind's rule can read.
    struct span {
        std::string what;
        uint64_t from, to;
    };
    std::vector<span> placed;
    auto place = [&](const std::string& what, const char* kind_name, uint64_t at, uint64_t len) {
        if (at % 4 != 0 || len % 4 != 0)
            return fail(what + " not dword-aligned");
        if (at < IMAGES)
            return fail(what + " inside the fixed area");
        if (at + len > n.size())
            return fail(what + " beyond the NVRAM");
        for (const span& other : placed)
            if (at < other.to && other.from < at + len)
                fail(what + " overlaps " + other.what);
        placed.push_back({what, at, at + len});
        if (!residue_ok(n, size_t(at), size_t(len)))
            return fail(what + " CRC bad");
        if (!kind_name || !firmware)
            return;
        const bytes data(n.begin() + long(at), n.begin() + long(at + len - 4));
        if (auto v = version_fault(kind_name, data))
            fail(what + (what == kind_name ? "" : std::string(" (") + kind_name + ")") + " " + *v);
    };

    // The bootstrap record: its magic exactly when it names boot code.
    const uint32_t magic = get_be32(n, 0), dwords = get_be32(n, 8);
    if (magic != BOOT_MAGIC && magic != 0)
        fail("bootstrap magic " + hex(magic) + " unknown");
    else if ((magic == BOOT_MAGIC) != (dwords != 0))
        fail(magic ? "bootstrap names no boot code" : "bootstrap without its magic names boot code");
    else if (magic == BOOT_MAGIC) {
        const uint32_t flash = get_be32(n, 12);
        const uint64_t lin = buffered ? uint64_t(flash >> 9) * 264 + (flash & 0x1FF) : flash;
        place("BC1", "BC1", lin, uint64_t(dwords) * 4);
    }

    // Directory entries: each of a known type, with its type's processor code, no type twice.
    uint32_t seen_at[16];
    for (int i = 0; i < 16; ++i) {
        const uint32_t flags = get_be32(n, 0x18 + 12 * size_t(i));
        const uint32_t len = flags & 0xFFFFFC;
        seen_at[i] = 0xFFFFFFFFu;
        if (!len)
            continue;
        const std::string what = "entry " + std::to_string(i);
        // The boot code is listed by the bootstrap record, never by the directory.
        const uint32_t type = flags & 0xF0000001u;
        const kind* k = type == BOOT_CODE_TYPE ? nullptr : kind_of_dir_type(type);
        if (!k)
            fail(what + " has unknown directory type " + hex(type));
        if (k && (flags & 0x0F000000u) != k->processor)
            fail(what + " (" + k->name + ") has processor code " + hex(flags & 0x0F000000u) + ", its type's is " +
                 hex(k->processor));
        // The user block is loaded nowhere: its SRAM address is all ones.
        const uint32_t sram = get_be32(n, 0x14 + 12 * size_t(i));
        if (k && std::string(k->name) == "USR_BLK" && sram != 0xFFFFFFFFu)
            fail(what + " (USR_BLK) has SRAM address " + hex(sram) + ", not 0xFFFFFFFF");
        seen_at[i] = type;
        for (int j = 0; j < i; ++j)
            if (seen_at[j] == type)
                fail(what + " repeats the directory type of entry " + std::to_string(j));
        place(what, k ? k->name : nullptr, get_be32(n, 0x1C + 12 * size_t(i)), len);
    }
    return why;
}

}  // namespace

std::string verify_nvram(const bytes& n, bool buffered) { return verify(n, buffered, true); }

std::string verify_layout(const bytes& n, bool buffered) { return verify(n, buffered, false); }

}  // namespace testkit::legacy
