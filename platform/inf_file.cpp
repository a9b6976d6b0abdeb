#include "platform/inf_file.h"

#include <map>

#include "platform/utf16.h"

namespace platform::inf {
namespace {

char16_t fold_char(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

std::u16string fold(std::u16string_view s)
{
    std::u16string out(s);
    for (char16_t& c : out) c = fold_char(c);
    return out;
}

bool blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0x1A; }

// One field while it is read: its characters and which of them were quoted (kept as written).
struct RawField {
    std::u16string text;
    std::vector<bool> quoted;
    void add(char16_t c, bool q)
    {
        text += c;
        quoted.push_back(q);
    }
    // The text without unquoted blanks at either end.
    std::u16string trimmed() const
    {
        size_t b = 0, e = text.size();
        while (b < e && !quoted[b] && blank(text[b])) ++b;
        while (e > b && !quoted[e - 1] && blank(text[e - 1])) --e;
        return text.substr(b, e - b);
    }
};

struct RawLine {
    bool has_key = false;
    std::vector<RawField> fields;  // with a key, fields[0] is it
};

// Splits one logical line into its key and values.
RawLine split_line(std::u16string_view line)
{
    RawLine out;
    out.fields.emplace_back();
    bool in_quote = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char16_t c = line[i];
        if (in_quote) {
            if (c == u'"') {
                if (i + 1 < line.size() && line[i + 1] == u'"') {
                    out.fields.back().add(u'"', true);
                    ++i;
                } else {
                    in_quote = false;
                }
            } else {
                out.fields.back().add(c, true);
            }
            continue;
        }
        if (c == u'"') in_quote = true;
        else if (c == u';') break;
        else if (c == u'=' && !out.has_key && out.fields.size() == 1) {
            out.has_key = true;
            out.fields.emplace_back();
        } else if (c == u',') out.fields.emplace_back();
        else out.fields.back().add(c, false);
    }
    return out;
}

class Strings {
public:
    void add(std::u16string_view key, std::u16string value) { map_.emplace(fold(key), std::move(value)); }

    // Every reference replaced in one pass over the line's own text.
    std::u16string substitute(std::u16string_view text, const DirIdFolder& dirids) const
    {
        std::u16string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != u'%') {
                out += text[i];
                continue;
            }
            const size_t end = text.find(u'%', i + 1);
            if (end == std::u16string_view::npos) {
                out += text.substr(i);
                break;
            }
            const std::u16string_view name = text.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out += u'%';
            } else if (auto it = map_.find(fold(name)); it != map_.end()) {
                out += it->second;
            } else if (auto folder = dirid_folder(name, dirids)) {
                out += *folder;
            } else {
                out += text.substr(i, end - i + 1);
            }
            i = end;
        }
        return out;
    }

private:
    static std::optional<std::u16string> dirid_folder(std::u16string_view name, const DirIdFolder& dirids)
    {
        if (!dirids || name.size() > 9) return std::nullopt;
        unsigned id = 0;
        for (char16_t c : name) {
            if (c < u'0' || c > u'9') return std::nullopt;
            id = id * 10 + unsigned(c - u'0');
        }
        return dirids(id);
    }

    std::map<std::u16string, std::u16string> map_;
};

}  // namespace

bool same_name(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold_char(a[i]) != fold_char(b[i])) return false;
    return true;
}

const Section* File::find(std::u16string_view name) const
{
    for (const Section& s : sections)
        if (same_name(s.name, name)) return &s;
    return nullptr;
}

std::u16string decode(std::string_view bytes)
{
    if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE)
        return from_utf16le(bytes.substr(2));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return to_utf16(bytes);
}

ParseResult parse(std::u16string_view text, const DirIdFolder& dirids)
{
    struct Pending {
        size_t section;
        RawLine line;
    };
    ParseResult result;
    std::vector<Pending> lines;
    std::map<std::u16string, size_t> by_name;
    std::optional<size_t> current;
    unsigned number = 0;
    std::u16string logical;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find(u'\n', pos);
        std::u16string_view physical = text.substr(pos, nl == std::u16string_view::npos ? std::u16string_view::npos : nl - pos);
        pos = nl == std::u16string_view::npos ? text.size() : nl + 1;
        ++number;

        // A '\' that ends the line outside quotes and comments joins the next one.
        bool in_quote = false, continued = false;
        size_t end = physical.size();
        for (size_t i = 0; i < physical.size(); ++i) {
            if (physical[i] == u'"') in_quote = !in_quote;
            else if (physical[i] == u';' && !in_quote) {
                end = i;
                break;
            }
        }
        size_t last = end;
        while (last > 0 && blank(physical[last - 1])) --last;
        if (!in_quote && last > 0 && physical[last - 1] == u'\\') {
            continued = true;
            logical += physical.substr(0, last - 1);
        } else {
            logical += physical;
        }
        if (logical.size() > kMaxLineChars) {
            result.ok = false;
            result.error_line = number;
            return result;
        }
        if (continued && pos < text.size()) continue;

        std::u16string_view l = logical;
        while (!l.empty() && blank(l.front())) l.remove_prefix(1);
        if (!l.empty() && l.front() == u'[') {
            const size_t close = l.find(u']');
            if (close == std::u16string_view::npos) {
                result.ok = false;
                result.error_line = number;
                return result;
            }
            const std::u16string name(l.substr(1, close - 1));
            auto [it, added] = by_name.try_emplace(fold(name), result.file.sections.size());
            if (added) result.file.sections.push_back(Section{name, {}});
            current = it->second;
        } else if (current) {
            RawLine raw = split_line(l);
            const bool empty = !raw.has_key && raw.fields.size() == 1 && raw.fields[0].trimmed().empty();
            if (!empty) lines.push_back(Pending{*current, std::move(raw)});
        }
        logical.clear();
    }

    // The [Strings] section is read as written; every other line gets its %name% references.
    Strings strings;
    const auto strings_it = by_name.find(u"strings");
    for (const Pending& p : lines)
        if (strings_it != by_name.end() && p.section == strings_it->second && p.line.has_key && p.line.fields.size() > 1)
            strings.add(p.line.fields[0].trimmed(), p.line.fields[1].trimmed());
    for (const Pending& p : lines) {
        const bool in_strings = strings_it != by_name.end() && p.section == strings_it->second;
        auto value = [&](const RawField& f) { return in_strings ? f.trimmed() : strings.substitute(f.trimmed(), dirids); };
        Line line;
        size_t first = 0;
        if (p.line.has_key) {
            line.key = value(p.line.fields[0]);
            first = 1;
        }
        for (size_t i = first; i < p.line.fields.size(); ++i) line.values.push_back(value(p.line.fields[i]));
        if (!line.key && line.values.size() == 1) line.key = line.values[0];
        result.file.sections[p.section].lines.push_back(std::move(line));
    }
    return result;
}

}  // namespace platform::inf
