#include "platform/ini_text.h"

#include "platform/inf_file.h"
#include "platform/utf16.h"

namespace platform::ini {
namespace {

bool blank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trim(std::u16string_view s)
{
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (blank(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
    return s;
}

// The section a line opens, when it opens one.
std::optional<std::u16string_view> section_name(std::u16string_view line)
{
    line = trim(line);
    if (line.size() < 2 || line.front() != u'[' || line.back() != u']') return std::nullopt;
    return trim(line.substr(1, line.size() - 2));
}

char16_t fold(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

}  // namespace

Text::Text(std::string_view bytes)
{
    utf16_ = bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE;
    utf8_bom_ = bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF";
    const std::u16string text = inf::decode(bytes);
    if (text.empty()) return;
    final_newline_ = text.back() == u'\n';
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = text.substr(start, end - start);
        const bool cr = !line.empty() && line.back() == u'\r';
        if (cr) line.pop_back();
        if (first && end < text.size()) crlf_ = cr;
        first = false;
        lines_.push_back(std::move(line));
        start = end + 1;
    }
}

std::string Text::bytes() const
{
    std::u16string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || final_newline_) text += crlf_ ? u"\r\n" : u"\n";
    }
    if (!utf16_) return (utf8_bom_ ? "\xEF\xBB\xBF" : "") + to_utf8(text);
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

std::optional<std::pair<size_t, size_t>> Text::body(std::u16string_view section) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = section_name(lines_[i]);
        if (!name || !inf::same_name(*name, section)) continue;
        size_t end = i + 1;
        while (end < lines_.size() && !section_name(lines_[end])) ++end;
        return std::pair{i + 1, end};
    }
    return std::nullopt;
}

std::vector<Entry> Text::entries(std::u16string_view section) const
{
    std::vector<Entry> out;
    auto range = body(section);
    if (!range) return out;
    for (size_t i = range->first; i < range->second; ++i) {
        std::u16string_view line = trim(lines_[i]);
        if (line.empty() || line.front() == u';') continue;
        const size_t eq = line.find(u'=');
        if (eq == std::u16string_view::npos)
            out.push_back({i, std::u16string(line), {}});
        else
            out.push_back({i, std::u16string(trim(line.substr(0, eq))), std::u16string(trim(line.substr(eq + 1)))});
    }
    return out;
}

std::optional<Entry> Text::find(std::u16string_view section, std::u16string_view key) const
{
    for (Entry& e : entries(section))
        if (inf::same_name(e.key, key)) return std::move(e);
    return std::nullopt;
}

void Text::set(size_t line, std::u16string_view key, std::u16string_view value)
{
    if (line < lines_.size()) lines_[line] = std::u16string(key) + u"=" + std::u16string(value);
}

void Text::erase(size_t line)
{
    if (line < lines_.size()) lines_.erase(lines_.begin() + long(line));
}

void Text::append(std::u16string_view section, std::u16string_view key, std::u16string_view value)
{
    const std::u16string line = std::u16string(key) + u"=" + std::u16string(value);
    auto range = body(section);
    if (!range) {
        // A file that ended without a line end gets one before the new section.
        final_newline_ = true;
        lines_.push_back(u"[" + std::u16string(section) + u"]");
        lines_.push_back(line);
        return;
    }
    // After the last line of the section that is not blank, so that a blank line separating it
    // from the next section stays where it is.
    size_t at = range->second;
    while (at > range->first && trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + long(at), line);
    if (at == lines_.size() - 1) final_newline_ = true;
}

bool wildcard_match(std::u16string_view pattern, std::u16string_view text)
{
    // Greedy matching with one backtrack point: the last '*' seen.
    size_t p = 0, t = 0, star = std::u16string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == u'?' || fold(pattern[p]) == fold(text[t]))) {
            ++p;
            ++t;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace platform::ini
