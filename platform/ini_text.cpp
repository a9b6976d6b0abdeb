#include "platform/ini_text.h"

#include "platform/utf16.h"
#include "platform/win_codepage.h"
#include "platform/wide_ctype.h"

namespace platform::ini {
namespace {

constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool blank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trim(std::u16string_view s)
{
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (blank(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
    return s;
}

// The section a line opens, when it opens one: "[name]", and whatever follows the ']'.
std::optional<std::u16string_view> section_name(std::u16string_view line)
{
    line = trim(line);
    if (line.empty() || line.front() != u'[') return std::nullopt;
    const size_t close = line.find(u']');
    if (close == std::u16string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

}  // namespace

Text::Text(unsigned code_page) : code_page_(code_page) {}

Text::Text(std::string_view bytes, unsigned code_page) : code_page_(code_page)
{
    if (bytes.substr(0, 2) == kUtf16Mark) {
        utf16_ = true;
        mark_ = kUtf16Mark;
        bytes.remove_prefix(2);
        torn_ = bytes.size() % 2 != 0;
        if (torn_) {
            tail_ = bytes.substr(bytes.size() - 1);
            bytes.remove_suffix(1);
        }
    } else if (bytes.substr(0, 3) == kUtf8Mark) {
        code_page_ = win::CP_UTF8;
        mark_ = kUtf8Mark;
        bytes.remove_prefix(3);
    }
    // Lines end at LF; in UTF-16 at the character LF, so only at an even offset.
    const std::string_view lf = utf16_ ? std::string_view("\n\0", 2) : "\n";
    const std::string_view cr = utf16_ ? std::string_view("\r\0", 2) : "\r";
    CodePageText code(code_page_);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find(lf, start);
        while (utf16_ && end != std::string_view::npos && (end - start) % 2 != 0)
            end = bytes.find(lf, end + 1);
        Line line;
        if (end == std::string_view::npos) {
            line.raw = bytes.substr(start);
            start = bytes.size();
        } else {
            line.raw = bytes.substr(start, end - start);
            line.end = lf;
            start = end + lf.size();
        }
        if (!line.end.empty() && line.raw.size() >= cr.size() && std::string_view(line.raw).substr(line.raw.size() - cr.size()) == cr) {
            line.raw.resize(line.raw.size() - cr.size());
            line.end = std::string(cr) + line.end;
        }
        if (lines_.empty() && !line.end.empty()) crlf_ = line.end.size() > lf.size();
        line.text = utf16_ ? from_utf16le(line.raw) : code.decode(line.raw);
        lines_.push_back(std::move(line));
    }
}

std::string Text::bytes() const
{
    std::string out = mark_;
    for (const Line& line : lines_) out += line.raw + line.end;
    return out + tail_;
}

std::string Text::line_end() const
{
    const std::u16string end = crlf_ ? u"\r\n" : u"\n";
    return utf16_ ? to_utf16le(end) : std::string(end.begin(), end.end());
}

bool Text::make_line(std::u16string text, Line* line) const
{
    if (utf16_) {
        line->raw = to_utf16le(text);
    } else {
        CodePageText code(code_page_);
        if (!code.encode(text, line->raw)) return false;
    }
    line->text = std::move(text);
    return true;
}

std::optional<std::pair<size_t, size_t>> Text::body(std::u16string_view section) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = section_name(lines_[i].text);
        if (!name || !same_name(*name, section)) continue;
        size_t end = i + 1;
        while (end < lines_.size() && !section_name(lines_[end].text)) ++end;
        return std::pair{i + 1, end};
    }
    return std::nullopt;
}

std::vector<std::u16string> Text::section_names() const
{
    std::vector<std::u16string> out;
    for (const Line& line : lines_)
        if (auto name = section_name(line.text)) out.emplace_back(*name);
    return out;
}

std::vector<Entry> Text::entries(std::u16string_view section) const
{
    std::vector<Entry> out;
    auto range = body(section);
    if (!range) return out;
    for (size_t i = range->first; i < range->second; ++i) {
        std::u16string_view line = trim(lines_[i].text);
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
        if (same_name(e.key, key)) return std::move(e);
    return std::nullopt;
}

bool Text::set(size_t line, std::u16string_view key, std::u16string_view value)
{
    if (line >= lines_.size()) return true;
    Line changed;
    if (!make_line(std::u16string(key) + u"=" + std::u16string(value), &changed)) return false;
    changed.end = lines_[line].end;
    lines_[line] = std::move(changed);
    return true;
}

void Text::erase(size_t line)
{
    if (line < lines_.size()) lines_.erase(lines_.begin() + long(line));
}

bool Text::append(std::u16string_view section, std::u16string_view key, std::u16string_view value)
{
    Line entry, header;
    if (!make_line(std::u16string(key) + u"=" + std::u16string(value), &entry)) return false;
    entry.end = line_end();
    auto range = body(section);
    if (!range && !make_line(u"[" + std::u16string(section) + u"]", &header)) return false;
    // After the last line of the section that is not blank, so that a blank line separating it
    // from the next section stays where it is; a new section goes at the end of the file.
    size_t at = lines_.size();
    if (range) {
        at = range->second;
        while (at > range->first && trim(lines_[at - 1].text).empty()) --at;
    }
    // A last line without its end gets one before anything follows it.
    if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty()) lines_.back().end = line_end();
    lines_.insert(lines_.begin() + long(at), std::move(entry));
    if (!range) {
        header.end = line_end();
        lines_.insert(lines_.begin() + long(at), std::move(header));
    }
    return true;
}

bool same_name(std::u16string_view a, std::u16string_view b) { return same_ignoring_case(a, b); }

bool wildcard_match(std::u16string_view pattern, std::u16string_view text)
{
    // Greedy matching with one backtrack point: the last '*' seen.
    size_t p = 0, t = 0, star = std::u16string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || system_upcase(pattern[p]) == system_upcase(text[t]))) {
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
