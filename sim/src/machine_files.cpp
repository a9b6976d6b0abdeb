// Writers and readers of the simulated machine's files: adapter descriptions and NVRAM images,
// the control file, the journal file and the stored register writes.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <platform/registry_store.h>
#include <platform/state_file.h>
#include <platform/utf16.h>

#include "kv_text.h"
#include "sim/adapter_builder.h"

namespace sim {
namespace {

std::vector<std::string_view> split(std::string_view text, char sep)
{
    std::vector<std::string_view> parts;
    for (;;) {
        size_t at = text.find(sep);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

void make_dirs(const std::string& dir)
{
    std::string partial;
    for (size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || (dir[i] == '/' && i > 0)) {
            partial = dir.substr(0, i);
            if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) throw BuildError("cannot create " + partial);
        }
    }
}

// Where the host keeps the display name of each adapter's network connection: the value "Name" of
// "<class key>\<driver service>\Connection" in HKEY_LOCAL_MACHINE.
constexpr const char* kNetworkClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";

// Puts the adapter's connection name into the machine's registry under its service (an adapter
// described again without one loses the old name). Without a service name there is no key.
void write_connection_name(const std::string& root, const AdapterDef& desc)
{
    namespace reg = platform::registry;
    if (desc.service_name.empty()) return;
    const std::string key = std::string(kNetworkClassKey) + "\\" + desc.service_name + "\\Connection";
    const std::string hive_file = root + "/registry/" + std::string(reg::root_name(reg::Root::LocalMachine)) + ".reg";
    platform::FileLock lock(root + "/registry/.lock");
    if (!lock.held()) throw BuildError("cannot lock the registry of " + root);
    const auto text = platform::read_file(hive_file);
    reg::Hive hive = text ? reg::parse_hive(*text) : reg::Hive{};
    if (desc.connection_name.empty()) {
        reg::Key* k = hive.find(key);
        if (!k || !k->erase_value("Name")) return;
    } else {
        std::vector<uint8_t> data;  // REG_SZ: UTF-16LE with its terminator
        for (char16_t c : platform::to_utf16(desc.connection_name)) {
            data.push_back(uint8_t(c));
            data.push_back(uint8_t(c >> 8));
        }
        data.insert(data.end(), {0, 0});
        hive.create(key).set_value(reg::Value{"Name", 1, std::move(data)});
    }
    if (!platform::replace_file(hive_file, reg::format_hive(hive))) throw BuildError("cannot write " + hive_file);
}

}  // namespace

void write_adapter(const std::string& root, const AdapterDef& desc)
{
    if (std::string why = validate_adapter(desc); !why.empty()) throw BuildError(desc.name + ": " + why);
    make_dirs(adapters_dir(root));
    write_file_atomic(description_path(root, desc.name), format_adapter(desc));
    write_connection_name(root, desc);
    std::string nv = nvram_path(root, desc.board_name());
    int fd = ::open(nv.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return;
        throw BuildError("cannot create " + nv);
    }
    std::vector<uint8_t> erased(desc.nvram_size(), 0xFF);
    bool ok = pwrite_all(fd, erased.data(), erased.size(), 0);
    ::close(fd);
    if (!ok) throw BuildError("cannot write " + nv);
}

void set_nvram(const std::string& root, const std::string& name, std::span<const uint8_t> bytes, std::size_t offset)
{
    make_dirs(adapters_dir(root));
    std::string nv = nvram_path(root, board_of(root, name));
    int fd = ::open(nv.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw BuildError("cannot open " + nv);
    bool ok = pwrite_all(fd, bytes.data(), bytes.size(), offset);
    ::close(fd);
    if (!ok) throw BuildError("cannot write " + nv);
}

std::vector<uint8_t> read_nvram(const std::string& root, const std::string& name)
{
    std::string nv = nvram_path(root, board_of(root, name));
    auto content = read_file(nv);
    if (!content) throw BuildError("cannot read " + nv);
    return std::vector<uint8_t>(content->begin(), content->end());
}

// Control file: "version=a.b.c" and one "fault=" line per rule with space-separated
// "name:value" items (ordinal, adapter, nth, status, from, to, persist, cut, exit, erase, flip,
// lost).
std::string format_fault(const FaultRule& r)
{
    std::string out = "ordinal:" + std::to_string(r.ordinal);
    if (!r.adapter.empty()) out += " adapter:" + r.adapter;
    out += " nth:" + std::to_string(r.nth) + " status:" + hex32(r.status);
    if (r.from) out += " from:" + hex32(*r.from);
    if (r.to) out += " to:" + hex32(*r.to);
    if (r.persist) out += " persist:1";
    if (r.cut_after) out += " cut:" + std::to_string(*r.cut_after);
    if (r.exit_after_cut) out += " exit:1";
    if (r.erase_sector) out += " erase:" + std::to_string(*r.erase_sector);
    if (r.flip) out += " flip:" + hex32(*r.flip);
    if (r.lost) out += " lost:1";
    return out;
}

std::string format_control(const Control& control)
{
    std::string out = "# simulated management library control\n";
    if (control.version_major || control.version_minor || control.version_build)
        out += "version=" + std::to_string(control.version_major.value_or(0)) + "." +
               std::to_string(control.version_minor.value_or(0)) + "." +
               std::to_string(control.version_build.value_or(0)) + "\n";
    for (const FaultRule& r : control.faults) out += "fault=" + format_fault(r) + "\n";
    return out;
}

namespace {

// A rule, or nothing when an item is unknown or a fault is asked of a call that cannot carry it.
std::optional<FaultRule> parse_fault(std::string_view text)
{
    FaultRule rule;
    bool have_ordinal = false;
    for (std::string_view item : split(text, ' ')) {
        if (item.empty()) continue;
        size_t colon = item.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        std::string_view key = item.substr(0, colon), value = item.substr(colon + 1);
        if (key == "adapter") {
            rule.adapter = std::string(value);
            continue;
        }
        auto v = parse_u32(value);
        if (!v) return std::nullopt;
        if (key == "ordinal") rule.ordinal = *v, have_ordinal = true;
        else if (key == "nth") rule.nth = *v;
        else if (key == "status") rule.status = *v;
        else if (key == "from") rule.from = *v;
        else if (key == "to") rule.to = *v;
        else if (key == "persist") rule.persist = *v != 0;
        else if (key == "cut") rule.cut_after = *v;
        else if (key == "exit") rule.exit_after_cut = *v != 0;
        else if (key == "erase") rule.erase_sector = *v;
        else if (key == "flip") rule.flip = *v;
        else if (key == "lost") rule.lost = *v != 0;
        else return std::nullopt;
    }
    constexpr uint32_t kWrite = 67, kRead = 68, kPhyWrite = 131;
    if (!have_ordinal) return std::nullopt;
    if (rule.cut_after && rule.ordinal != kWrite && rule.ordinal != kPhyWrite) return std::nullopt;
    if (rule.lost && rule.ordinal != kWrite) return std::nullopt;
    if (rule.erase_sector && rule.ordinal != kWrite) return std::nullopt;  // the PHY has no sectors
    if (rule.flip && rule.ordinal != kRead) return std::nullopt;
    if ((rule.from || rule.to) && rule.ordinal != kWrite && rule.ordinal != kRead) return std::nullopt;
    if (rule.from && rule.to && *rule.to <= *rule.from) return std::nullopt;
    if (rule.to && !rule.from) return std::nullopt;
    if ((rule.exit_after_cut || rule.erase_sector) && !rule.cut_after) return std::nullopt;
    if (rule.erase_sector && (*rule.erase_sector == 0 || *rule.erase_sector % 4)) return std::nullopt;
    if (int(bool(rule.cut_after)) + int(bool(rule.flip)) + int(rule.lost) > 1) return std::nullopt;
    return rule;
}

}  // namespace

Control parse_control(std::string_view text, std::vector<std::string>* errors)
{
    Control control;
    auto bad = [&](const KvLine& line) {
        if (errors) errors->push_back("bad control line: " + line.key + "=" + line.value);
    };
    for (const KvLine& line : parse_kv(text)) {
        if (line.ok && line.key == "fault") {
            if (auto rule = parse_fault(line.value)) control.faults.push_back(*rule);
            else bad(line);
        } else if (line.ok && line.key == "version") {
            auto parts = split(line.value, '.');
            std::optional<uint32_t> v[3];
            for (size_t i = 0; i < 3 && parts.size() == 3; ++i) v[i] = parse_u32(parts[i]);
            if (v[0] && v[1] && v[2]) {
                control.version_major = v[0], control.version_minor = v[1], control.version_build = v[2];
            } else {
                bad(line);
            }
        } else {
            bad(line);
        }
    }
    return control;
}

void write_control(const std::string& root, const Control& control)
{
    make_dirs(root);
    write_file_atomic(control_path(root), format_control(control));
}

// Journal line: "pid ordinal handle offset count mode reg value status", numbers in hexadecimal.
std::string format_journal_line(const YxSimCall& c)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "pid=%u ord=%u handle=%08X offset=%08X count=%08X mode=%08X reg=%08X value=%08X status=%08X\n",
                  c.pid, c.ordinal, c.handle, c.offset, c.count, c.mode, c.reg, c.value, c.status);
    return buf;
}

std::optional<YxSimCall> parse_journal_line(std::string_view line)
{
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    YxSimCall c{};
    struct Field {
        const char* name;
        uint32_t* value;
        bool hex;
    } fields[] = {{"pid", &c.pid, false},       {"ord", &c.ordinal, false}, {"handle", &c.handle, true},
                  {"offset", &c.offset, true},  {"count", &c.count, true},  {"mode", &c.mode, true},
                  {"reg", &c.reg, true},        {"value", &c.value, true},  {"status", &c.status, true}};
    auto items = split(line, ' ');
    if (items.size() != std::size(fields)) return std::nullopt;
    for (size_t i = 0; i < items.size(); ++i) {
        std::string_view item = items[i];
        std::string_view name = fields[i].name;
        if (item.size() <= name.size() + 1 || item.substr(0, name.size()) != name || item[name.size()] != '=')
            return std::nullopt;
        std::string digits(item.substr(name.size() + 1));
        if (fields[i].hex && digits.size() != 8) return std::nullopt;
        auto v = parse_u32(fields[i].hex ? "0x" + digits : digits);
        if (!v) return std::nullopt;
        *fields[i].value = *v;
    }
    return c;
}

std::vector<YxSimCall> read_journal_file(const std::string& root)
{
    std::vector<YxSimCall> calls;
    auto content = read_file(journal_path(root));
    if (!content) return calls;
    std::string_view text = *content;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        if (auto c = parse_journal_line(text.substr(0, nl))) calls.push_back(*c);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    }
    return calls;
}

std::string format_registers(const std::map<uint32_t, uint32_t>& regs)
{
    std::string out;
    for (const auto& [reg, value] : regs) out += hex32(reg) + "=" + hex32(value) + "\n";
    return out;
}

std::map<uint32_t, uint32_t> parse_registers(std::string_view text)
{
    std::map<uint32_t, uint32_t> regs;
    for (const KvLine& line : parse_kv(text)) {
        auto reg = parse_u32(line.key);
        auto value = parse_u32(line.value);
        if (line.ok && reg && value) regs[*reg] = *value;
    }
    return regs;
}

}  // namespace sim
