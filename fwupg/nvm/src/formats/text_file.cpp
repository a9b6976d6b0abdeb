// Helpers of the engine's small text-file formats.
#include "fwupg/nvm/formats/text_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"

namespace fwupg::nvm::textfile {

namespace {
bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

void report(const char* fmt, ...)
{
    char text[1200];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    size_t n = std::strlen(text);
    if (n && text[n - 1] == '\n')
        text[n - 1] = 0;
    print_severity(text, 1);
}

std::string trim(std::string_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && blank(text[b]))
        ++b;
    while (e > b && blank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string first_word(std::string_view text)
{
    size_t b = 0;
    while (b < text.size() && blank(text[b]))
        ++b;
    size_t e = b;
    while (e < text.size() && !blank(text[e]))
        ++e;
    return std::string(text.substr(b, e - b));
}

bool split_lines(std::string_view text, std::vector<std::string>& lines, std::string& bad)
{
    lines.clear();
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > kMaxLine) {
            bad = std::string(line.substr(0, 64));
            return false;
        }
        lines.emplace_back(line);
        at = end + 1;
    }
    return true;
}

bool read_text_file(const char* path, std::string& text)
{
    struct stat st {};
    if (!path || ::access(path, R_OK | W_OK) != 0 || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    text.clear();
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

int write_new_text_file(const char* path, const std::string& text, const char* exists_message)
{
    if (!path)
        return 1;
    struct stat st {};
    if (::stat(path, &st) == 0 && st.st_size > 0) {
        report("%s", exists_message);
        return 1;
    }
    FILE* f = std::fopen(path, "ab");
    if (!f)
        return 1;
    if (std::fseek(f, 0, SEEK_END) != 0 || std::ftell(f) != 0) {
        std::fclose(f);
        report("%s", exists_message);
        return 1;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    return ok ? 0 : 1;
}

uint8_t* parse_text(const std::string& text, uint32_t* size, TextToImage parse)
{
    if (size)
        *size = 0;
    try {
        std::vector<uint8_t> image;
        if (parse(text, image) != 0)
            return nullptr;
        auto* out = static_cast<uint8_t*>(common_nvm_alloc(image.size()));
        if (!out)
            return nullptr;
        std::memcpy(out, image.data(), image.size());
        if (size)
            *size = uint32_t(image.size());
        return out;
    } catch (...) {
        return nullptr;
    }
}

uint8_t* parse_file(const char* path, uint32_t* size, TextToImage parse)
{
    if (size)
        *size = 0;
    try {
        std::string text;
        if (!read_text_file(path, text))
            return nullptr;
        return parse_text(text, size, parse);
    } catch (...) {
        return nullptr;
    }
}

int walk_list_image(const uint8_t* image, uint32_t length, uint32_t entry_bytes, const char* what,
                    const char* items, const std::function<void(uint32_t revision, uint32_t count)>& begin,
                    const std::function<int(const uint8_t* entry)>& each)
{
    constexpr uint32_t kHeaderBytes = 8;
    if (!image || length < kHeaderBytes) {
        report("%s is too short (%u bytes)\n", what, unsigned(length));
        return -1;
    }
    const uint32_t count = load_be32(image + 4);
    if (uint64_t(count) * entry_bytes + kHeaderBytes > length) {
        report("%s lists %u %s but holds only %u bytes\n", what, unsigned(count), items, unsigned(length));
        return -1;
    }
    begin(load_be32(image), count);
    for (uint32_t k = 0; k < count; ++k)
        if (each(image + kHeaderBytes + uint64_t(entry_bytes) * k) != 0)
            return -1;
    return 0;
}

int dump_to_file(const char* path, const uint8_t* image, uint32_t length, ImageToText to_text,
                 const char* exists_message, const char* done_text)
{
    try {
        std::string text;
        if (!path || to_text(image, length, text) != 0)
            return 1;
        if (write_new_text_file(path, text, exists_message) != 0)
            return 1;
        fwupg_dbg_printf("%s%s\n", done_text, path);
        return 0;
    } catch (...) {
        return 1;
    }
}

}  // namespace fwupg::nvm::textfile
