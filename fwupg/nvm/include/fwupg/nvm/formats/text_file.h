// Helpers of the engine's small text-file formats (SFP+ module list, register scripts, VPD text): bounded
// line reading, field trimming, error messages and dumps that never overwrite a file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fwupg::nvm::textfile {

// Longest line the text formats take, line end not counted.
constexpr size_t kMaxLine = 1023;

// Prints a formatted error message with severity 1 (a trailing newline is left to the print).
void report(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The text without leading and trailing blanks (space, tab, CR, LF).
std::string trim(std::string_view text);
// The run of characters at the start of `text` after leading blanks, up to the next blank.
std::string first_word(std::string_view text);

// The lines of a text (line ends removed). False when a line is longer than kMaxLine; `bad`
// then holds the start of it.
bool split_lines(std::string_view text, std::vector<std::string>& lines, std::string& bad);

// Reads a whole text file the user must be able to read and write. False when it is missing, not
// accessible that way or unreadable.
bool read_text_file(const char* path, std::string& text);

// Writes `text` into a new or empty file; a file that already holds data is left alone and
// `exists_message` is reported. 0, or 1.
int write_new_text_file(const char* path, const std::string& text, const char* exists_message);

using TextToImage = int (*)(const std::string& text, std::vector<uint8_t>& image);
using ImageToText = int (*)(const uint8_t* image, uint32_t length, std::string& text);

// Parses a text already read: a new image (common_nvm_free) and its size, or null.
uint8_t* parse_text(const std::string& text, uint32_t* size, TextToImage parse);
// Reads the text file and parses it: a new image (common_nvm_free) and its size, or null.
uint8_t* parse_file(const char* path, uint32_t* size, TextToImage parse);
// Walks a list image: two big-endian header words (a revision and the entry count), then the
// entries of `entry_bytes` each. When they do not fit, -1 with "<what> is too short (N bytes)" or
// "<what> lists C <items> but holds only N bytes". Otherwise `begin` gets the revision and count,
// and `each` every entry in order; the first non-zero answer of `each` ends the walk with -1.
int walk_list_image(const uint8_t* image, uint32_t length, uint32_t entry_bytes, const char* what,
                    const char* items, const std::function<void(uint32_t revision, uint32_t count)>& begin,
                    const std::function<int(const uint8_t* entry)>& each);

// Writes the text of an image into a new or empty file and logs `done_text` followed by the path.
// 0, or 1.
int dump_to_file(const char* path, const uint8_t* image, uint32_t length, ImageToText to_text,
                 const char* exists_message, const char* done_text);

}  // namespace fwupg::nvm::textfile
