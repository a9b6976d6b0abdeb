// The text of an INI file, changed line by line so that everything a change does not touch
// (comments, blank lines, the order of entries, the line ends) stays as it was:
// - "[name]" (blanks around it allowed) starts a section; names match without case, and of two
//   sections of one name the first is the one read and changed;
// - in a section, a line whose first non-blank character is ';' is a comment; any other non-blank
//   line is an entry "key=value" (blanks around key and value dropped), or a key alone;
// - lines end in CR LF or LF; a new line gets the ending of the file's first line (CR LF for a
//   file without one). UTF-16LE files (byte-order mark FF FE) stay UTF-16LE, others are UTF-8
//   (a UTF-8 byte-order mark is kept).
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
    // Empty text: an INI file that does not exist yet.
    Text() = default;
    explicit Text(std::string_view bytes);

    // The bytes to write back, in the encoding the file was read in.
    std::string bytes() const;

    // The entries of a section, in file order; empty when the section is missing.
    std::vector<Entry> entries(std::u16string_view section) const;
    // The first entry of `key` in the section.
    std::optional<Entry> find(std::u16string_view section, std::u16string_view key) const;

    // Replaces line `line` by "key=value".
    void set(size_t line, std::u16string_view key, std::u16string_view value);
    void erase(size_t line);
    // "key=value" after the section's last entry; the section is added at the end of the file
    // when it is missing.
    void append(std::u16string_view section, std::u16string_view key, std::u16string_view value);

private:
    // [first line of the section's body, end) of the first section of that name.
    std::optional<std::pair<size_t, size_t>> body(std::u16string_view section) const;

    std::vector<std::u16string> lines_;  // without their line ends
    bool crlf_ = true;
    bool utf16_ = false;
    bool utf8_bom_ = false;
    bool final_newline_ = true;
};

// True when `text` matches `pattern`, ASCII case ignored, where '*' stands for any run of
// characters and '?' for any one.
bool wildcard_match(std::u16string_view pattern, std::u16string_view text);

}  // namespace platform::ini
