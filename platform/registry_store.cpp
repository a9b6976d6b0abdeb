#include "platform/registry_store.h"

#include <cstdio>

#include "platform/paths.h"
#include "platform/state_file.h"
#include "platform/utf16.h"

namespace platform::registry {
namespace {

constexpr std::string_view kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                           "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

std::string join(const std::vector<std::string>& names, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i) out += '\\';
        out += names[i];
    }
    return out;
}

// The folded path of `path`, or nothing for a malformed one.
std::optional<std::string> folded_path(std::string_view path)
{
    auto names = split_path(path);
    if (!names) return std::nullopt;
    return fold(join(*names, names->size()));
}

bool starts_below(const std::string& folded, const std::string& parent)
{
    if (parent.empty()) return !folded.empty();
    return folded.size() > parent.size() && folded.compare(0, parent.size(), parent) == 0 &&
           folded[parent.size()] == '\\';
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::vector<uint8_t>> parse_hex(std::string_view hex)
{
    if (hex == "-") return std::vector<uint8_t>{};
    if (hex.size() % 2) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = hex_digit(hex[i]), lo = hex_digit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return out;
}

}  // namespace

std::string_view root_name(Root root) { return kRootNames[static_cast<int>(root)]; }

std::string hive_path(Root root) { return root_path("registry/" + std::string(root_name(root)) + ".reg"); }

std::string fold(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<std::vector<std::string>> split_path(std::string_view path)
{
    std::vector<std::string> names;
    if (path.empty()) return names;
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        std::string_view name = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (name.empty() || name.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
        names.emplace_back(name);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return names;
}

const Value* Key::find_value(std::string_view name) const
{
    auto it = index_.find(fold(name));
    return it == index_.end() ? nullptr : &values[it->second];
}

void Key::set_value(Value value)
{
    auto [it, added] = index_.try_emplace(fold(value.name), values.size());
    if (added) {
        values.push_back(std::move(value));
        return;
    }
    Value& v = values[it->second];
    v.type = value.type;
    v.data = std::move(value.data);
}

bool Key::erase_value(std::string_view name)
{
    auto it = index_.find(fold(name));
    if (it == index_.end()) return false;
    const size_t place = it->second;
    index_.erase(it);
    values.erase(values.begin() + std::ptrdiff_t(place));
    for (auto& [folded, at] : index_)
        if (at > place) --at;
    return true;
}

Hive::Hive() { keys_.emplace("", Key{}); }

Key* Hive::find(std::string_view path)
{
    auto f = folded_path(path);
    if (!f) return nullptr;
    auto it = keys_.find(*f);
    return it == keys_.end() ? nullptr : &it->second;
}

const Key* Hive::find(std::string_view path) const { return const_cast<Hive*>(this)->find(path); }

Key& Hive::create(std::string_view path, bool is_volatile)
{
    auto names = split_path(path);
    if (!names) return keys_.at("");
    Key* key = &keys_.at("");
    for (size_t n = 1; n <= names->size(); ++n) {
        std::string p = join(*names, n);
        auto [it, added] = keys_.try_emplace(fold(p));
        if (added) {
            it->second.path = p;
            it->second.is_volatile = is_volatile;
        }
        key = &it->second;
    }
    return *key;
}

std::vector<std::string> Hive::subkeys(std::string_view path) const
{
    std::vector<std::string> out;
    auto f = folded_path(path);
    if (!f) return out;
    for (auto it = keys_.upper_bound(*f); it != keys_.end(); ++it) {
        if (!starts_below(it->first, *f)) {
            // Paths sort with '\' (0x5C) among other characters, so keep scanning past siblings
            // such as "a b" that sort between "a" and "a\x".
            if (f->empty() || it->first.compare(0, f->size(), *f) != 0) break;
            continue;
        }
        const std::string rest = it->first.substr(f->empty() ? 0 : f->size() + 1);
        if (rest.find('\\') != std::string::npos) continue;
        const std::string& p = it->second.path;
        out.push_back(p.substr(p.rfind('\\') == std::string::npos ? 0 : p.rfind('\\') + 1));
    }
    return out;
}

void Hive::erase(std::string_view path)
{
    auto f = folded_path(path);
    if (f && !f->empty()) keys_.erase(*f);
}

void Hive::drop_volatile()
{
    std::vector<std::string> gone;
    for (const auto& [f, key] : keys_)
        if (key.is_volatile) gone.push_back(f);
    for (const std::string& g : gone)
        for (auto it = keys_.begin(); it != keys_.end();)
            it = (it->first == g || starts_below(it->first, g)) ? keys_.erase(it) : std::next(it);
}

std::string format_hive(const Hive& hive)
{
    std::string out;
    static const char kHex[] = "0123456789abcdef";
    for (const auto& [f, key] : hive.keys()) {
        out += "[" + key.path + "]\n";
        if (key.is_volatile) out += "+volatile\n";
        if (key.is_protected) out += "+protected\n";
        for (const Value& v : key.values) {
            out += "value " + std::to_string(v.type) + " ";
            if (v.data.empty()) out += "-";
            for (uint8_t b : v.data) {
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
            out += " " + v.name + "\n";
        }
    }
    return out;
}

Hive parse_hive(std::string_view text)
{
    Hive hive;
    Key* current = nullptr;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::string_view path = line.substr(1, line.size() - 2);
            current = split_path(path) ? &hive.create(path) : nullptr;
        } else if (!current) {
            continue;
        } else if (line == "+volatile") {
            current->is_volatile = true;
        } else if (line == "+protected") {
            current->is_protected = true;
        } else if (line.substr(0, 6) == "value ") {
            std::string_view rest = line.substr(6);
            size_t sp1 = rest.find(' ');
            if (sp1 == std::string_view::npos) continue;
            size_t sp2 = rest.find(' ', sp1 + 1);
            if (sp2 == std::string_view::npos) continue;
            std::string type_text(rest.substr(0, sp1));
            char* end = nullptr;
            unsigned long type = std::strtoul(type_text.c_str(), &end, 10);
            auto data = parse_hex(rest.substr(sp1 + 1, sp2 - sp1 - 1));
            if (type_text.empty() || *end || type > 0xFFFFFFFFul || !data) continue;
            current->set_value(Value{std::string(rest.substr(sp2 + 1)), static_cast<uint32_t>(type), std::move(*data)});
        }
    }
    return hive;
}

namespace {

Hive read_stored_hive(Root root)
{
    auto text = read_file(hive_path(root));
    return text ? parse_hive(*text) : Hive{};
}

}  // namespace

struct Batch::State {
    FileLock lock{root_path("registry/.lock")};
    std::map<Root, Hive> hives;  // the roots read so far
    std::map<Root, bool> changed;

    Hive& hive(Root root)
    {
        auto it = hives.find(root);
        if (it == hives.end()) it = hives.emplace(root, read_stored_hive(root)).first;
        return it->second;
    }

    // Writes every root changed since the last write.
    bool write()
    {
        if (!lock.held()) return false;
        bool ok = true;
        for (auto& [root, is_changed] : changed) {
            if (is_changed && !replace_file(hive_path(root), format_hive(hive(root)))) {
                ok = false;
                hives.erase(root);  // later reads see what is stored, not what was lost
            }
            is_changed = false;
        }
        return ok;
    }
};

namespace {
thread_local Batch::State* g_batch = nullptr;
}  // namespace

Batch::Batch()
{
    if (g_batch) return;
    state_ = new State;
    g_batch = state_;
}

Batch::~Batch()
{
    finish();
    if (state_ && g_batch == state_) g_batch = nullptr;
    delete state_;
}

bool Batch::finish() { return !state_ || state_->write(); }

bool Batch::finish_current() { return !g_batch || g_batch->write(); }

Hive read_hive(Root root) { return g_batch ? g_batch->hive(root) : read_stored_hive(root); }

void view_hive(Root root, const std::function<void(const Hive&)>& look)
{
    if (g_batch) {
        look(g_batch->hive(root));
        return;
    }
    look(read_stored_hive(root));
}

bool update_hive(Root root, const std::function<bool(Hive&)>& change)
{
    if (g_batch) {
        if (!g_batch->lock.held() || !change(g_batch->hive(root))) return false;
        g_batch->changed[root] = true;
        return true;
    }
    FileLock lock(root_path("registry/.lock"));
    if (!lock.held()) return false;
    Hive hive = read_stored_hive(root);
    if (!change(hive)) return false;
    return replace_file(hive_path(root), format_hive(hive));
}

bool set_raw(std::string_view key, std::string_view name, uint32_t type, std::vector<uint8_t> data, Root root)
{
    if (!split_path(key) || name.find_first_of("\r\n") != std::string_view::npos) return false;
    return update_hive(root, [&](Hive& h) {
        h.create(key).set_value(Value{std::string(name), type, std::move(data)});
        return true;
    });
}

bool set_dword(std::string_view key, std::string_view name, uint32_t value, Root root)
{
    std::vector<uint8_t> data{uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return set_raw(key, name, 4 /*REG_DWORD*/, std::move(data), root);
}

bool set_string(std::string_view key, std::string_view name, std::string_view value, Root root)
{
    const std::string bytes = to_utf16le(to_utf16(value) + u'\0');
    return set_raw(key, name, 1 /*REG_SZ*/, std::vector<uint8_t>(bytes.begin(), bytes.end()), root);
}

bool set_protected(std::string_view key, bool is_protected, Root root)
{
    return update_hive(root, [&](Hive& h) {
        Key* k = h.find(key);
        if (!k) return false;
        k->is_protected = is_protected;
        return true;
    });
}

std::optional<uint32_t> get_dword(std::string_view key, std::string_view name, Root root)
{
    Hive h = read_hive(root);
    const Key* k = h.find(key);
    const Value* v = k ? k->find_value(name) : nullptr;
    if (!v || v->type != 4 || v->data.size() != 4) return std::nullopt;
    return uint32_t(v->data[0]) | uint32_t(v->data[1]) << 8 | uint32_t(v->data[2]) << 16 | uint32_t(v->data[3]) << 24;
}

bool key_exists(std::string_view key, Root root) { return read_hive(root).find(key) != nullptr; }

bool delete_tree(std::string_view key, Root root)
{
    auto f = folded_path(key);
    if (!f || f->empty()) return false;
    return update_hive(root, [&](Hive& h) {
        std::vector<std::string> gone;
        for (const auto& [k, v] : h.keys())
            if (k == *f || starts_below(k, *f)) gone.push_back(v.path);
        for (const std::string& g : gone) h.erase(g);
        return !gone.empty();
    });
}

}  // namespace platform::registry
