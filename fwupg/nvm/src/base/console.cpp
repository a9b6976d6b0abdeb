// Console output helpers: severity messages, hex dump, colour and indentation.
#include "fwupg/nvm/base/console.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "fwupg/host_ops.h"

namespace {

uint16_t g_indent_level = 0;

// The debug print works on a bounded line buffer: long texts go out in pieces of whole lines so
// that nothing is cut.
void emit_text(const std::string& text)
{
    constexpr size_t kPiece = 480;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t len = text.size() - pos;
        if (len > kPiece) {
            size_t nl = text.rfind('\n', pos + kPiece - 1);
            len = (nl != std::string::npos && nl >= pos) ? nl - pos + 1 : kPiece;
        }
        fwupg_dbg_printf("%s", text.substr(pos, len).c_str());
        pos += len;
    }
}

void appendf(std::string& out, const char* fmt, unsigned value)
{
    char tmp[16];
    int n = std::snprintf(tmp, sizeof tmp, fmt, value);
    if (n > 0)
        out.append(tmp, size_t(n));
}

}  // namespace

namespace fwupg::nvm {

std::string format_dump_bytes(const uint8_t* buffer, uint32_t start_address, uint32_t length)
{
    std::string out;
    if (!buffer || length == 0)
        return out;
    const uint64_t end = uint64_t(start_address) + length;
    uint64_t a = start_address;
    bool first = true;
    while (a < end) {
        const uint64_t line_start = a;
        appendf(out, "%08x:", unsigned(a & ~uint64_t(15)));
        const unsigned lead = first ? (start_address & 15) : 0;
        for (unsigned i = 0; i < lead; ++i) {
            out += " ..";
            if ((i & 3) == 3)
                out += ' ';
        }
        do {
            if ((a & 3) == 0)
                out += ' ';
            appendf(out, "%02x ", buffer[a - start_address]);
            ++a;
        } while (a < end && (a & 15) != 0);
        if (a == end && (end & 15) != 0) {
            unsigned pad = (16 - unsigned(end & 15)) & 15;
            out.append(pad * 3 + pad / 4, ' ');
        }
        out += ' ';
        out.append(lead, ' ');
        for (uint64_t b = line_start; b < a; ++b) {
            unsigned char c = buffer[b - start_address];
            out += std::isprint(c) ? char(c) : '.';
        }
        out += '\n';
        first = false;
    }
    return out;
}

}  // namespace fwupg::nvm

extern "C" {

uint8_t severity_colour(uint32_t severity)
{
    switch (severity) {
    case 1: return 12;
    case 2: return 10;
    case 4: return 9;
    case 6: return 11;
    default: return 7;
    }
}

void print_severity(const char* text, uint32_t severity)
{
    fwupg_dbg_printf_ex(severity_colour(severity), "%s\n", text ? text : "");
}

void dump_bytes(const uint8_t* buffer, uint32_t start_address, uint32_t length)
{
    try {
        std::string text = fwupg::nvm::format_dump_bytes(buffer, start_address, length);
        emit_text(text);
    } catch (...) {
        // No memory for the text: nothing is printed.
    }
    std::fflush(stdout);
}

void dump_dwords() {}

void dump_byte_list(const uint8_t* buffer, uint32_t length)
{
    std::string out = "\n";
    for (uint32_t i = 0; buffer && i < length; ++i)
        appendf(out, " %x ", buffer[i]);
    out += "\n";
    emit_text(out);
}

void set_console_colour(uint8_t colour, uint8_t attribute)
{
    std::printf("\033[%u%um", unsigned(attribute), unsigned(colour));
    std::fflush(stdout);
}
void set_console_colour_fwd(uint8_t colour, uint8_t attribute) { set_console_colour(colour, attribute); }

void reset_console_colour()
{
    std::printf("\033[0m");
    std::fflush(stdout);
}
void reset_console_colour_fwd() { reset_console_colour(); }

void set_indent_and_print(const char* text, uint16_t level)
{
    g_indent_level = level;
    if (text)
        std::fputs(text, stdout);
    std::fflush(stdout);
}
void set_indent_and_print_fwd(const char* text, uint16_t level) { set_indent_and_print(text, level); }

void print_indent()
{
    for (uint16_t i = 0; i < g_indent_level; ++i)
        std::putchar(0x08);
    std::fflush(stdout);
}
void print_indent_fwd() { print_indent(); }

void reset_indent()
{
    g_indent_level = 0;
    std::fflush(stdout);
}
void reset_indent_fwd() { reset_indent(); }

int str_to_upper(char* text)
{
    for (char* p = text; p && *p; ++p)
        *p = char(std::toupper(static_cast<unsigned char>(*p)));
    return 0;
}

int str_to_lower(char* text)
{
    for (char* p = text; p && *p; ++p)
        *p = char(std::tolower(static_cast<unsigned char>(*p)));
    return 0;
}

}  // extern "C"
