// The adapter description format: one "key=value" line per field, registers as "reg.<offset>",
// firmware texts as "fw.<byte offset>".
#include <cctype>
#include <cstdio>

#include "platform/paths.h"

#include "kv_text.h"
#include "sim/adapter_builder.h"

namespace sim {
namespace {

struct U32Key {
    const char* key;
    uint32_t AdapterDef::*member;
};

constexpr U32Key kU32Keys[] = {
    {"family", &AdapterDef::family},
    {"list_handle", &AdapterDef::list_handle},
    {"api_handle", &AdapterDef::api_handle},
    {"service_handle", &AdapterDef::service_handle},
    {"driver_major", &AdapterDef::driver_major},
    {"driver_minor", &AdapterDef::driver_minor},
    {"driver_build", &AdapterDef::driver_build},
    {"vid", &AdapterDef::vid},
    {"did", &AdapterDef::did},
    {"svid", &AdapterDef::svid},
    {"ssid", &AdapterDef::ssid},
    {"bus", &AdapterDef::bus},
    {"device", &AdapterDef::device},
    {"function", &AdapterDef::function},
    {"slot", &AdapterDef::slot},
    {"chip_id", &AdapterDef::chip_id},
    {"flash_word", &AdapterDef::flash_word},
    {"capabilities", &AdapterDef::capabilities},
    {"port", &AdapterDef::port},
    {"mode_arg", &AdapterDef::mode_arg},
    {"ext_phy_id1", &AdapterDef::ext_phy_id1},
    {"ext_phy_id2", &AdapterDef::ext_phy_id2},
    {"port_count", &AdapterDef::port_count},
    {"active_bundle", &AdapterDef::active_bundle},
    {"path", &AdapterDef::path},
};

struct OptKey {
    const char* key;
    std::optional<uint32_t> AdapterDef::*member;
};

constexpr OptKey kOptKeys[] = {
    {"nic_vid", &AdapterDef::nic_vid},
    {"nic_did", &AdapterDef::nic_did},
    {"nic_svid", &AdapterDef::nic_svid},
    {"nic_ssid", &AdapterDef::nic_ssid},
    {"nic_function", &AdapterDef::nic_function},
    {"mbi_packed", &AdapterDef::mbi_packed},
};

struct TextKey {
    const char* key;
    std::string AdapterDef::*member;
    std::size_t cap;  // bytes including the NUL; 0: unbounded here
};

constexpr TextKey kTextKeys[] = {
    {"mac", &AdapterDef::mac, yxmapi::phy::kMac.cap},
    {"service_name", &AdapterDef::service_name, 520},
    {"connection_name", &AdapterDef::connection_name, 260},
    {"mfw_version", &AdapterDef::mfw_version, yxmapi::mfw::kVersion.cap},
};

bool valid_name(const std::string& name)
{
    if (name.empty() || name.size() > 64 || name[0] == '.') return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')) return false;
    return true;
}

bool valid_text(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

}  // namespace

std::span<const yxmapi::TextField> fw_text_fields(uint32_t family)
{
    switch (family) {
    case yxmapi::kFamilyLegacy: return yxmapi::fw4::kTexts;
    case yxmapi::kFamily57710: return yxmapi::fw5::kTexts;
    case yxmapi::kFamilyE4: return yxmapi::fw6::kTexts;
    default: return {};
    }
}

std::string validate_adapter(const AdapterDef& desc)
{
    if (!valid_name(desc.name)) return "bad adapter name '" + desc.name + "'";
    if (!desc.board.empty() && !valid_name(desc.board)) return "bad board name '" + desc.board + "'";
    if (desc.path > 1) return "path must be 0 or 1";
    if (desc.api_handle == 0xFFFFFFFFu) return "API handle 0xFFFFFFFF is reserved";
    if (desc.nvram_size() < 1024) return "NVRAM smaller than 1 KiB";
    for (const auto& k : kTextKeys) {
        const std::string& s = desc.*k.member;
        if (!valid_text(s)) return std::string(k.key) + " holds a line break";
        if (s.size() + 1 > k.cap) return std::string(k.key) + " too long";
    }
    for (const auto& [off, text] : desc.fw_texts) {
        const yxmapi::TextField* field = nullptr;
        for (const auto& f : fw_text_fields(desc.family))
            if (f.off == off) field = &f;
        if (!field) return "no firmware text field at byte " + std::to_string(off) + " for this family";
        if (!valid_text(text) || text.size() + 1 > field->cap)
            return "firmware text at byte " + std::to_string(off) + " does not fit";
    }
    return {};
}

std::string format_adapter(const AdapterDef& desc)
{
    std::string out = "# simulated adapter " + desc.name + "\n";
    for (const auto& k : kU32Keys) out += std::string(k.key) + "=" + hex32(desc.*k.member) + "\n";
    for (const auto& k : kOptKeys)
        if ((desc.*k.member).has_value()) out += std::string(k.key) + "=" + hex32(*(desc.*k.member)) + "\n";
    if (!desc.board.empty()) out += "board=" + desc.board + "\n";
    out += std::string("driver_access=") + (desc.driver_access ? "1" : "0") + "\n";
    for (const auto& k : kTextKeys) out += std::string(k.key) + "=" + desc.*k.member + "\n";
    for (const auto& [reg, value] : desc.registers) out += "reg." + hex32(reg) + "=" + hex32(value) + "\n";
    for (const auto& [off, text] : desc.fw_texts) out += "fw." + std::to_string(off) + "=" + text + "\n";
    return out;
}

std::optional<AdapterDef> parse_adapter(std::string_view name, std::string_view text, std::string* error)
{
    auto fail = [&](std::string why) -> std::optional<AdapterDef> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    AdapterDef desc;
    desc.name = std::string(name);
    for (const KvLine& line : parse_kv(text)) {
        if (!line.ok) return fail("line without '=': " + line.key);
        bool known = false;
        for (const auto& k : kU32Keys)
            if (line.key == k.key) {
                auto v = parse_u32(line.value);
                if (!v) return fail("bad number for " + line.key);
                desc.*k.member = *v;
                known = true;
            }
        for (const auto& k : kOptKeys)
            if (line.key == k.key) {
                auto v = parse_u32(line.value);
                if (!v) return fail("bad number for " + line.key);
                desc.*k.member = *v;
                known = true;
            }
        for (const auto& k : kTextKeys)
            if (line.key == k.key) {
                desc.*k.member = line.value;
                known = true;
            }
        if (line.key == "board") {
            desc.board = line.value;
            known = true;
        } else if (line.key == "driver_access") {
            if (line.value != "0" && line.value != "1") return fail("driver_access must be 0 or 1");
            desc.driver_access = line.value == "1";
            known = true;
        } else if (line.key.rfind("reg.", 0) == 0) {
            auto reg = parse_u32(std::string_view(line.key).substr(4));
            auto v = parse_u32(line.value);
            if (!reg || !v) return fail("bad register line " + line.key);
            desc.registers[*reg] = *v;
            known = true;
        } else if (line.key.rfind("fw.", 0) == 0) {
            auto off = parse_u32(std::string_view(line.key).substr(3));
            if (!off) return fail("bad firmware text key " + line.key);
            desc.fw_texts[*off] = line.value;
            known = true;
        }
        if (!known) return fail("unknown key " + line.key);
    }
    if (std::string why = validate_adapter(desc); !why.empty()) return fail(why);
    return desc;
}

AdapterDef make_adapter(uint32_t family, uint32_t index, std::string name)
{
    AdapterDef a;
    a.name = name.empty() ? "nic" + std::to_string(index) : std::move(name);
    a.family = family;
    a.list_handle = 0x00010000 + index;
    a.api_handle = 0x00A00000 + index;
    a.service_handle = 0x05000000 + index;
    char mac[20];
    std::snprintf(mac, sizeof mac, "0010180000%02X", index & 0xFF);
    a.mac = mac;
    a.bus = index + 1;
    a.slot = index + 1;
    a.flash_word = 0x00080000;
    a.service_name = "simnic" + std::to_string(index);
    switch (family) {
    case yxmapi::kFamilyLegacy:
        a.did = 0x1639;  // 5709
        a.ssid = 0x1639;
        a.chip_id = chip_id(0x5709, 1, 0);
        a.driver_major = 6, a.driver_minor = 2, a.driver_build = 8;
        a.reg(0x808, 0x57090000);
        break;
    case yxmapi::kFamilyE4:
        a.vid = a.svid = 0x1077;
        a.did = 0x1634;
        a.ssid = 0xE4F1;
        a.chip_id = chip_id_e4(0x1634, 1, 0);
        a.driver_major = 8, a.driver_minor = 33, a.driver_build = 1;
        a.port_count = 2;
        break;
    default:  // 57710-class, and unsupported families with the same shape
        a.did = 0x168E;  // 57810
        a.ssid = 0x1006;
        a.chip_id = chip_id(0x168E, 1, 0);
        a.driver_major = 7, a.driver_minor = 12, a.driver_build = 4;
        a.port_count = 2;
        break;
    }
    return a;
}

std::string adapters_dir(const std::string& root) { return root + "/adapters"; }
std::string description_path(const std::string& root, const std::string& name)
{
    return adapters_dir(root) + "/" + name + ".adapter";
}
std::string nvram_path(const std::string& root, const std::string& name)
{
    return adapters_dir(root) + "/" + name + ".nvram";
}
std::string lock_path(const std::string& root, const std::string& name)
{
    return adapters_dir(root) + "/" + name + ".lock";
}
std::string registers_path(const std::string& root, const std::string& name)
{
    return adapters_dir(root) + "/" + name + ".regs";
}
std::string phy_image_path(const std::string& root, const std::string& name)
{
    return adapters_dir(root) + "/" + name + ".phy";
}
std::string running_state_path(const std::string& root, const std::string& name)
{
    return adapters_dir(root) + "/" + name + ".mfw";
}
std::string control_path(const std::string& root) { return root + "/yxmapi.control"; }
std::string journal_path(const std::string& root) { return root + "/yxmapi.journal"; }
std::string fault_count_path(const std::string& root) { return root + "/yxmapi.faultcount"; }

std::string board_of(const std::string& root, const std::string& name)
{
    auto text = read_file(description_path(root, name));
    auto desc = text ? parse_adapter(name, *text, nullptr) : std::nullopt;
    return desc ? desc->board_name() : name;
}

std::vector<std::string> adapter_names(const std::string& root)
{
    std::vector<std::string> names;
    for (const std::string& file : platform::list_dir_sorted(adapters_dir(root))) {
        constexpr std::string_view kExt = ".adapter";
        if (file.size() > kExt.size() && file.compare(file.size() - kExt.size(), kExt.size(), kExt) == 0)
            names.push_back(file.substr(0, file.size() - kExt.size()));
    }
    return names;
}

}  // namespace sim
