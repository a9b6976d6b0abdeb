// The SFP+ module list: text file -> list image, list image (from NVRAM) -> text file.
#include "fwupg/nvm/formats/sfp_modules.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/formats/text_file.h"

using namespace fwupg::nvm;
using textfile::report;

namespace {

constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kFlagName = 1, kFlagOui = 2, kFlagPartNumber = 4;

constexpr const char* kHeader =
    "##################################################\n"
    "#           APPROVED SFP+ MODULES LIST           #\n"
    "##################################################\n"
    "# Revision for future enhancements. Currently, only revision 1 is supported\n"
    "revision = 1\n"
    "# Each Comment line starts with \"#\" \n"
    "# Enter the following 3 required fields separated by coma \",\" \n"
    "# 1) Vendor Name [module eeprom Address A0h; 0x14h-0x23h]\n"
    "# 2) OUI: 3 hex single bytes (dual nibble) numbers in xx-xx-xx format; [module eeprom Address A0h; "
    "0x25h-0x27h]\n"
    "# 3) Vendor Part Number [module eeprom Address A0h; 0x28h-0x37h]\n"
    "#\n"
    "# It is possible to replace a parameter with \"*\" to indicate any value is\n"
    "# acceptable\n"
    "#\n"
    "#examples:\n"
    "# Full description:\n"
    "#JDSU, 00-01-9c, PLRXPLSCS4321N\n"
    "# The same without explicitly stating the OUI:\n"
    "#JDSU, *, PLRXPLSCS4321N\n"
    "# All JDSU modules are acceptable:\n"
    "#JDSU, *, *\n";

struct Module {
    uint32_t flags = 0;
    std::string name, part_number;
    uint8_t oui[3] = {};
};

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "xx-xx-xx": three bytes of one or two hexadecimal digits. False on anything else.
bool parse_oui(const std::string& text, uint8_t oui[3])
{
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (i && (at >= text.size() || text[at++] != '-'))
            return false;
        int value = 0, digits = 0;
        while (at < text.size() && digits < 3 && hex_digit(text[at]) >= 0) {
            value = value * 16 + hex_digit(text[at++]);
            ++digits;
        }
        if (digits == 0 || value > 255)
            return false;
        oui[i] = uint8_t(value);
    }
    return at == text.size();
}

void put_text(uint8_t* field, const std::string& text)
{
    std::memset(field, ' ', kSfpTextBytes);
    std::memcpy(field, text.data(), text.size() < kSfpTextBytes ? text.size() : kSfpTextBytes);
}

// A text field of an entry: cut at a NUL, trailing spaces removed, at least one character kept.
std::string get_text(const uint8_t* field)
{
    size_t n = strnlen(reinterpret_cast<const char*>(field), kSfpTextBytes);
    while (n > 1 && field[n - 1] == ' ')
        --n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

// One module line: 0 with the module, -1 with the reason printed.
int parse_module(const std::string& line, Module& m)
{
    std::string oui;
    if (!sfp_module_line_split(line, m.name, oui, m.part_number)) {
        report("Module file incorrect format: in line [%s]\n", line.c_str());
        report("Module file incorrect format: should include vendor_name, vendor_oui(xx-xx-xx) , part_number\n");
        return -1;
    }
    if (m.name.size() > kSfpTextBytes) {
        report("Module file error: vendor_name string length is longer than %d\n", int(kSfpTextBytes));
        return -1;
    }
    if (m.part_number.size() > kSfpTextBytes) {
        report("Module file error: vendor_pn string length is longer than %d\n", int(kSfpTextBytes));
        return -1;
    }
    if (oui != "*") {
        if (!parse_oui(oui, m.oui)) {
            report("Module file error: vendor_oui incorrect format. Should be XX-XX-XX (in hex)\n");
            return -1;
        }
        m.flags |= kFlagOui;
    }
    if (m.name != "*")
        m.flags |= kFlagName;
    if (m.part_number != "*")
        m.flags |= kFlagPartNumber;
    return 0;
}

}  // namespace

namespace fwupg::nvm {

bool sfp_module_line_split(const std::string& line, std::string& name, std::string& oui, std::string& part_number)
{
    const size_t c1 = line.find(',');
    const size_t c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
    if (c2 == std::string::npos)
        return false;
    name = textfile::trim(std::string_view(line).substr(0, c1));
    oui = textfile::trim(std::string_view(line).substr(c1 + 1, c2 - c1 - 1));
    part_number = textfile::first_word(std::string_view(line).substr(c2 + 1));
    return !name.empty() && !oui.empty() && !part_number.empty();
}

int sfp_module_text_to_image(const std::string& text, std::vector<uint8_t>& image)
{
    std::vector<std::string> lines;
    std::string bad;
    if (!textfile::split_lines(text, lines, bad)) {
        report("Module file incorrect format: in line [%s]\n", bad.c_str());
        return -1;
    }
    uint32_t revision = 0;
    bool have_revision = false;
    std::vector<Module> modules;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '#')
            continue;
        if (line.find('=') == std::string::npos && line.find(',') == std::string::npos)
            continue;
        if (line.find("revision") != std::string::npos) {
            const size_t eq = line.find('=');
            revision = eq == std::string::npos ? 0 : uint32_t(std::strtoul(line.c_str() + eq + 1, nullptr, 16));
            have_revision = true;
            continue;
        }
        if (!have_revision)
            continue;  // modules count only after the revision line
        Module m;
        if (parse_module(line, m) != 0)
            return -1;
        if (modules.size() == kSfpMaxModules) {
            report("Module file exceeded number of supported modules\n");
            return -1;
        }
        modules.push_back(std::move(m));
    }
    if (revision != 1) {
        report("Module file revision is not supported\n");
        return -1;
    }
    image.assign(kHeaderBytes + kSfpEntryBytes * modules.size(), 0);
    store_u32(image.data(), revision);
    store_u32(image.data() + 4, uint32_t(modules.size()));
    uint8_t* e = image.data() + kHeaderBytes;
    for (const Module& m : modules) {
        store_u32(e, m.flags);
        put_text(e + 4, m.name);
        std::memcpy(e + 20, m.oui, 3);
        put_text(e + 24, m.part_number);
        e += kSfpEntryBytes;
    }
    return 0;
}

int sfp_module_image_to_text(const uint8_t* image, uint32_t length, std::string& text)
{
    return textfile::walk_list_image(
        image, length, kSfpEntryBytes, "Module image", "modules",
        [&](uint32_t revision, uint32_t count) {
            fwupg_dbg_printf("info: modules image revision = %d\n", int(revision));
            fwupg_dbg_printf("info: module image includes %d modules \n", int(count));
            text = kHeader;
        },
        [&](const uint8_t* e) {
            const std::string name = get_text(e + 4), pn = get_text(e + 24);
            const uint8_t* oui = e + 20;
            char line[128];
            if (!oui[0] && !oui[1] && !oui[2])
                std::snprintf(line, sizeof line, "%s , * , %s\n", name.c_str(), pn.c_str());
            else
                std::snprintf(line, sizeof line, "%s , %02x-%02x-%02x , %s\n", name.c_str(), oui[0], oui[1], oui[2],
                              pn.c_str());
            text += line;
            return 0;
        });
}

void sfp_module_image_to_nvram_texts(uint8_t* image, uint32_t size)
{
    for (uint64_t at = kHeaderBytes; at + kSfpEntryBytes <= size; at += kSfpEntryBytes)
        common_nvm_swap_buffer(image + at + 4, kSfpEntryBytes - 4);
}

}  // namespace fwupg::nvm

extern "C" {

uint8_t* sfp_module_list_parse(const char* path, uint32_t* size)
{
    return textfile::parse_file(path, size, sfp_module_text_to_image);
}

int sfp_module_list_dump(const char* path, const uint8_t* image, uint32_t length)
{
    return textfile::dump_to_file(path, image, length, sfp_module_image_to_text,
                                  "Parsing modules image failed ! output file allready exists\n", "Module image was parsed succesfully into ");
}

}  // extern "C"
