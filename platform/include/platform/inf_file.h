// The INF file format, read the way the device installer reads it:
// - "[name]" starts a section (names compared without case; a repeated section continues the
//   first); a '[' line without ']' is a syntax error; lines before the first section are ignored;
// - ';' outside quotes starts a comment; a '\' ending a line (outside quotes, before any comment)
//   joins the next line to it;
// - the first '=' outside quotes ends the line's key; the values are separated by ',' outside
//   quotes; blanks around a key or value are dropped; "..." quotes text, where "" is one '"';
// - a line without '=' has no key, except that a single value also serves as its key;
// - "%name%" is replaced by the value of name in the [Strings] section (without case), "%%" by
//   '%'; a number that names no value is a directory id, replaced by its folder when the reader
//   is given one; any other name stays as written. The [Strings] section's own values are taken
//   as written, and a value put in is not read again for references;
// - the text is UTF-16LE when it starts with the byte-order mark FF FE, otherwise UTF-8 (a UTF-8
//   byte-order mark is skipped; bytes that are not UTF-8 become U+FFFD).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::inf {

struct Line {
    std::optional<std::u16string> key;
    std::vector<std::u16string> values;  // field 1 onwards
};

struct Section {
    std::u16string name;
    std::vector<Line> lines;
};

struct File {
    std::vector<Section> sections;  // in file order

    const Section* find(std::u16string_view name) const;
};

// Why reading stopped: the whole text was read, or a syntax error on `error_line` (1-based
// physical line).
struct ParseResult {
    File file;
    bool ok = true;
    unsigned error_line = 0;
};

// Lines longer than this (after joining) are a syntax error.
constexpr size_t kMaxLineChars = 65536;

// The folder a "%dirid%" reference stands for; nothing leaves the reference as written.
using DirIdFolder = std::function<std::optional<std::u16string>(unsigned dirid)>;

std::u16string decode(std::string_view bytes);
ParseResult parse(std::u16string_view text, const DirIdFolder& dirids = {});

// True when the texts are equal without regard to ASCII case.
bool same_name(std::u16string_view a, std::u16string_view b);

}  // namespace platform::inf
