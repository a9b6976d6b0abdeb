// Console output helpers of the engine: severity messages, the hex dump of the "show" commands,
// and the colour and indentation helpers.
#pragma once

#include <cstdint>

extern "C" {

// Prints the text and a newline through the debug print; the severity's colour is not emitted.
void print_severity(const char* text, uint32_t severity);
// Console colour number of a severity.
uint8_t severity_colour(uint32_t severity);

// Hex dump of `length` bytes whose first byte belongs to `start_address`.
void dump_bytes(const uint8_t* buffer, uint32_t start_address, uint32_t length);
void dump_dwords();
void dump_byte_list(const uint8_t* buffer, uint32_t length);

void set_console_colour(uint8_t colour, uint8_t attribute);
void set_console_colour_fwd(uint8_t colour, uint8_t attribute);
void reset_console_colour();
void reset_console_colour_fwd();
void set_indent_and_print(const char* text, uint16_t level);
void set_indent_and_print_fwd(const char* text, uint16_t level);
void print_indent();
void print_indent_fwd();
void reset_indent();
void reset_indent_fwd();

int str_to_upper(char* text);
int str_to_lower(char* text);

}  // extern "C"

#include <string>

namespace fwupg::nvm {
// The text `dump_bytes` prints, built without printing.
std::string format_dump_bytes(const uint8_t* buffer, uint32_t start_address, uint32_t length);
}  // namespace fwupg::nvm
