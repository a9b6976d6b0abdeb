// The text of an INI file, changed line by line so that every byte of every line a change does not
// touch (comments, blank lines, the order of entries, the line ends, bytes that are no text of the
// file's encoding) stays as it was:
// - a file that starts with the byte-order mark FF FE is UTF-16LE and stays so; a file that starts
//   with the UTF-8 byte-order mark is UTF-8 and stays so; any other file is text in the machine's
//   ANSI code page. New text is written in the file's own encoding, and text it cannot hold is
//   refused, never replaced by something else;
// - a line whose first non-blank character is '[' and which holds a ']' starts a section named by
//   the text between them (blanks around it dropped; what follows the ']', a comment say, is no
//   part of it); of two sections of one name the first is the one read and changed;
// - section and key names compare without case, beyond ASCII too (platform/wide_ctype.h);
// - in a section, a line whose first non-blank character is ';' is a comment; any other non-blank
//   line is an entry "key=value" (blanks around key and value dropped, quotes kept as written), or
//   a key alone;
// - lines end in CR LF or LF, each keeping its own; a new line gets the ending of the file's first
//   line (CR LF for a file without one).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ini {

struct Entry {
    size_t line;  // index into the file's lines
    std::u16string key;
    std::u16string value;
};

class Text {
public:
    // An empty text: an INI file that does not exist yet, in the ANSI code page `code_page`.
    explicit Text(unsigned code_page);
    Text(std::string_view bytes, unsigned code_page);

    // The bytes to write back.
    std::string bytes() const;
    // True for a UTF-16 file that ends in half a character: it cannot be written back whole, so
    // it must not be changed.
    bool torn() const { return torn_; }

    // The name of every section header, in file order.
    std::vector<std::u16string> section_names() const;
    // The entries of a section, in file order; empty when the section is missing.
    std::vector<Entry> entries(std::u16string_view section) const;
    // The first entry of `key` in the section.
    std::optional<Entry> find(std::u16string_view section, std::u16string_view key) const;

    // Each change returns false, changing nothing, when the file's encoding cannot hold its text.
    // Replaces line `line` by "key=value", keeping its line end.
    bool set(size_t line, std::u16string_view key, std::u16string_view value);
    void erase(size_t line);
    // "key=value" after the section's last entry; the section is added at the end of the file
    // when it is missing.
    bool append(std::u16string_view section, std::u16string_view key, std::u16string_view value);

private:
    struct Line {
        std::string raw;   // the line's bytes, without its end
        std::string end;   // its end as bytes: CR LF, LF, or nothing (the last line)
        std::u16string text;
    };

    // [first line of the section's body, end) of the first section of that name.
    std::optional<std::pair<size_t, size_t>> body(std::u16string_view section) const;
    // The line in the file's encoding; false when it cannot hold the text.
    bool make_line(std::u16string text, Line* line) const;
    std::string line_end() const;

    bool utf16_ = false;
    unsigned code_page_;  // the code page of a file that is not UTF-16: UTF-8 after its mark
    std::string mark_;  // the byte-order mark the file starts with
    bool crlf_ = true;
    bool torn_ = false;
    std::string tail_;  // the odd last byte of a torn UTF-16 file
    std::vector<Line> lines_;
};

// True when the names are equal without case (platform/wide_ctype.h).
bool same_name(std::u16string_view a, std::u16string_view b);

// True when `text` matches `pattern`, case ignored as in same_name, where '*' stands for any run
// of characters and '?' for any one.
bool wildcard_match(std::u16string_view pattern, std::u16string_view text);

}  // namespace platform::ini
