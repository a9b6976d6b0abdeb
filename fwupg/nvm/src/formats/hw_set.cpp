// The register script: HW_SET.TXT -> HW_SET image, HW_SET image (from NVRAM) -> text file.
#include "fwupg/nvm/formats/hw_set.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/formats/text_file.h"

using namespace fwupg::nvm;
using textfile::report;

namespace {

constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kFields = 7;

constexpr const char* kHeader =
    "###########################################################################\n"
    "#                                                                          \n"
    "#  Example HW_SET text file                                                \n"
    "#                                                                          \n"
    "#                                                                          \n"
    "#  Notes:                                                                  \n"
    "#                                                                          \n"
    "#  1. Each Comment line starts with either # or ;                          \n"
    "#                                                                          \n"
    "#  2. Each line includes:                                                  \n"
    "#     Register type, Bank no., PF no., Address, Data, Reset type, Operation\n"
    "#                                                                          \n"
    "#  3. Register types allowed: GRC, PHY, PCI                                \n"
    "#                                                                          \n"
    "#  4. Reset types: 0x1-POR, 0x2-HARD, 0x4-CORE, 0x8-MCP RESET              \n"
    "#     Image supports combined types, e.g. 0xC for CORE and MCP RESET       \n"
    "#                                                                          \n"
    "#  5. Operations allowed: R-read, W-write, RMW_SET-read, modify write set, \n"
    "#                         RMW_CLR-read, modify write clear                 \n"
    "###########################################################################\n\n";

struct Name {
    const char* text;
    uint32_t code;
};
constexpr Name kRegTypes[] = {{"GRC", 1}, {"PHY", 2}, {"PCI", 4}};
constexpr Name kOperations[] = {{"R", 1}, {"W", 2}, {"RMW_SET", 3}, {"RMW_CLR", 4}};

template <size_t N>
bool code_of(const Name (&names)[N], const std::string& text, uint32_t* code)
{
    for (const Name& n : names)
        if (text == n.text) {
            *code = n.code;
            return true;
        }
    return false;
}

template <size_t N>
const char* name_of(const Name (&names)[N], uint32_t code)
{
    for (const Name& n : names)
        if (n.code == code)
            return n.text;
    return nullptr;
}

// Leading decimal digits; false when the text does not start with one or the number is too big.
bool parse_decimal(const std::string& text, uint32_t* value)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    uint64_t v = 0;
    for (size_t i = 0; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v * 10 + uint64_t(text[i] - '0');
        if (v > 0xFFFFFFFFull)
            return false;
    }
    *value = uint32_t(v);
    return true;
}

// "0X" and one to eight hexadecimal digits (the line is upper-cased).
bool parse_hex(const std::string& text, uint32_t* value)
{
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || text[1] != 'X')
        return false;
    uint32_t v = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 16 + uint32_t(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A' + 10);
    }
    *value = v;
    return true;
}

}  // namespace

namespace fwupg::nvm {

int hw_set_parse_line(const std::string& line, hw_set_line& out)
{
    std::string field[kFields];
    size_t at = 0;
    for (uint32_t i = 0; i + 1 < kFields; ++i) {
        const size_t comma = line.find(',', at);
        if (comma == std::string::npos)
            return 1;
        field[i] = textfile::trim(std::string_view(line).substr(at, comma - at));
        at = comma + 1;
    }
    field[kFields - 1] = textfile::first_word(std::string_view(line).substr(at));
    out.reg_type = field[0];
    uint32_t code = 0;
    if (!code_of(kRegTypes, out.reg_type, &code)) {
        report("Parsing HW_SET.TXT file failed! reg_type %s is not allowed\n", out.reg_type.c_str());
        return 1;
    }
    if (!parse_decimal(field[1], &out.bank)) {
        report("Parsing HW_SET.TXT file failed! bank_no is not a number\n");
        return 1;
    }
    if (!parse_decimal(field[2], &out.pf)) {
        report("Parsing HW_SET.TXT file failed! PF is not a number\n");
        return 1;
    }
    if (out.pf > 8) {
        report("Parsing HW_SET.TXT file failed! PF number %u is not allowed\n", unsigned(out.pf));
        return 1;
    }
    if (!parse_hex(field[3], &out.address) || !parse_hex(field[4], &out.data) || !parse_hex(field[5], &out.reset_type))
        return 1;
    if (out.reset_type > 0xF) {
        report("Parsing HW_SET.TXT file failed! Reset type 0x%x is not allowed\n", unsigned(out.reset_type));
        return 1;
    }
    out.operation = field[6];
    if (!code_of(kOperations, out.operation, &code)) {
        report("Parsing HW_SET.TXT file failed! operation %s is not allowed\n", out.operation.c_str());
        return 1;
    }
    return 0;
}

int hw_set_text_to_image(const std::string& text, std::vector<uint8_t>& image)
{
    std::vector<std::string> lines;
    std::string bad;
    if (!textfile::split_lines(text, lines, bad)) {
        report("HW_SET file incorrect format: in line [%s]\n", bad.c_str());
        return -1;
    }
    std::vector<uint32_t> words;
    for (const std::string& line : lines) {
        if (!line.empty() && (line[0] == '#' || line[0] == ';'))
            continue;
        if (line.find('=') == std::string::npos && line.find(',') == std::string::npos)
            continue;
        std::string upper = line;
        for (char& c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        hw_set_line l;
        if (hw_set_parse_line(upper, l) != 0) {
            report("HW_SET file incorrect format: in line [%s]\n", line.c_str());
            return -1;
        }
        uint32_t type = 0, op = 0;
        code_of(kRegTypes, l.reg_type, &type);
        code_of(kOperations, l.operation, &op);
        words.insert(words.end(), {type, l.bank, l.pf, op, l.address, l.data, l.reset_type});
    }
    image.assign(kHeaderBytes + words.size() * 4, 0);
    store_u32(image.data(), 1);
    store_u32(image.data() + 4, uint32_t(words.size() / kFields));
    for (size_t i = 0; i < words.size(); ++i)
        store_u32(image.data() + kHeaderBytes + 4 * i, words[i]);
    return 0;
}

int hw_set_image_to_text(const uint8_t* image, uint32_t length, std::string& text)
{
    std::string out;
    const int walked = textfile::walk_list_image(
        image, length, kHwSetEntryBytes, "HW_SET image", "entries", [&](uint32_t, uint32_t) { out = kHeader; },
        [&](const uint8_t* e) {
            uint32_t w[kFields];
            for (uint32_t i = 0; i < kFields; ++i)
                w[i] = load_be32(e + 4 * i);
            const char* type = name_of(kRegTypes, w[0]);
            if (!type) {
                report("Reading HW_SET image failed! reg_type 0x%x is not allowed\n", unsigned(w[0]));
                return -1;
            }
            const char* op = name_of(kOperations, w[3]);
            if (!op) {
                report("Reading HW_SET image failed! operation 0x%x is not allowed\n", unsigned(w[3]));
                return -1;
            }
            char line[160];
            std::snprintf(line, sizeof line, "%s, %u, %u, 0x%x, 0x%x, 0x%x, %s\n", type, unsigned(w[1]),
                          unsigned(w[2]), unsigned(w[4]), unsigned(w[5]), unsigned(w[6]), op);
            out += line;
            return 0;
        });
    if (walked != 0)
        return -1;
    text = std::move(out);
    return 0;
}

}  // namespace fwupg::nvm

extern "C" {

uint8_t* hw_set_parse(const char* path, uint32_t* size)
{
    return textfile::parse_file(path, size, hw_set_text_to_image);
}

int hw_set_dump(const char* path, const uint8_t* image, uint32_t length)
{
    return textfile::dump_to_file(path, image, length, hw_set_image_to_text,
                                  "Parsing HW_SET image failed ! output file allready exists\n", "HW_SET image was parsed succesfully into ");
}

}  // extern "C"
