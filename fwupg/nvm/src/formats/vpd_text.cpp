// The VPD text file: "REVISION = 1", "[REGION=VPD-R, <size>]" and lines of the form
// name=Text,"data"; comment lines start with "#" or ";".
#include "fwupg/nvm/formats/vpd_text.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/formats/text_file.h"
#include "fwupg/nvm/formats/vpd_table.h"

using namespace fwupg::nvm;

namespace {

using fwupg::nvm::textfile::report;

constexpr uint32_t kMaxRegion = 512;
constexpr size_t kMaxLine = 1024;
constexpr size_t kMaxNameLen = 13;

std::string trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

enum class Region { None, Read, Write };

struct Parser {
    vpd_field_table table{};
    Region region = Region::None;
    bool have_region = false;
    bool have_name = false;
    uint32_t fields = 0;
    uint32_t revision = 1;
    uint32_t declared = 0;
    uint32_t needed = 0;

    int title(const std::string& line)
    {
        const std::string u = upper(line);
        size_t eq = u.find('=');
        size_t end = u.find(']');
        size_t comma = u.find(',');
        std::string name = trim(u.substr(eq + 1, (comma != std::string::npos && comma < end ? comma : end) - eq - 1));
        if (name == "VPD-W") {
            region = Region::Write;
            return 0;
        }
        if (name != "VPD-R") {
            report("VPD file parsing error: Unknown region title, should be either VPD-R or VPD-W\n");
            return -1;
        }
        std::string num = comma == std::string::npos || comma > end ? "" : trim(u.substr(comma + 1, end - comma - 1));
        char* stop = nullptr;
        long v = num.empty() ? -1 : std::strtol(num.c_str(), &stop, 10);
        if (v < 0 || (stop && *stop)) {
            report("VPD file parsing error: VPD-R size invalid\n");
            return -1;
        }
        if (v % 4) {
            report("VPD file parsing error: VPD-R size should be a multiple of 4\n");
            return -1;
        }
        if (v > long(kMaxRegion)) {
            report("VPD file parsing error: VPD-R size exceed maximum allowed size %d\n", int(kMaxRegion));
            return -1;
        }
        declared = uint32_t(v);
        region = Region::Read;
        have_region = true;
        return 0;
    }

    int field(const std::string& line)
    {
        if (region == Region::Write) {
            report("VPD-W fields are not supported\n");
            return -1;
        }
        size_t eq = line.find('=');
        size_t comma = eq == std::string::npos ? eq : line.find(',', eq);
        size_t q1 = comma == std::string::npos ? comma : line.find('"', comma);
        size_t q2 = q1 == std::string::npos ? q1 : line.find('"', q1 + 1);
        if (region != Region::Read || q2 == std::string::npos) {
            report("VPD file incorrect format: in line [%s]\n", line.c_str());
            report("Should include field_name=field_type(Text/Binary), \"field_data\" - as well as newline at end of file\n");
            return -1;
        }
        std::string name = upper(trim(line.substr(0, eq)));
        std::string type = trim(line.substr(eq + 1, comma - eq - 1));
        std::string data = trim(line.substr(q1 + 1, q2 - q1 - 1));
        if (name.size() > kMaxNameLen) {
            report("VPD file parsing error: field name (%s) string length is longer than %d\n", name.c_str(),
                   int(kMaxNameLen));
            return -1;
        }
        char buf[kMaxNameLen + 1];
        std::memcpy(buf, name.c_str(), name.size() + 1);
        if (!vpd_field_name_valid(buf)) {
            report("VPD file parsing error: field name %s is incorrect\n", name.c_str());
            report("VPD file parsing error: field name should be PRODUCT NAME/PN/EC/MN/SN/FN/CC/FC/YB/Vx\n");
            return -1;
        }
        const bool is_name = name == "PRODUCT NAME" || name == "PRODUCT_NAME";
        if (!is_name && name.size() > 2) {
            report("VPD file parsing error: field name (%s) string length is longer than %d\n", name.c_str(), 2);
            return -1;
        }
        if (upper(type) != "TEXT") {
            report("VPD file parsing error: field type %s is incorrect\n", type.c_str());
            report("VPD file parsing error: field type should be Text\n");
            return -1;
        }
        if (data.size() > kVpdMaxData) {
            report("VPD file parsing error: field data string length is longer than %d\n", int(kVpdMaxData));
            return -1;
        }
        if (data.empty()) {
            report("VPD file parsing error: field data is empty\n");
            return -1;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
        bool stored = is_name ? vpd_table_set_name(&table, data.data(), uint32_t(data.size()))
                              : vpd_table_set(&table, name.c_str(), bytes, uint32_t(data.size()));
        if (!stored) {
            report("VPD file parsing error: field %s does not fit the VPD image\n", name.c_str());
            return -1;
        }
        have_name |= is_name;
        ++fields;
        needed += uint32_t(data.size()) + 3;
        return 0;
    }

    int line(const std::string& raw)
    {
        std::string line = raw;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';')
            return 0;
        if (t.find('=') == std::string::npos && t.find(',') == std::string::npos)
            return 0;
        const std::string u = upper(t);
        if (u.find("REVISION") != std::string::npos && u.find('"') == std::string::npos) {
            size_t eq = u.find('=');
            std::string num = eq == std::string::npos ? "" : trim(u.substr(eq + 1));
            char* stop = nullptr;
            unsigned long v = num.empty() ? 0 : std::strtoul(num.c_str(), &stop, 16);
            if (v != 1 || (stop && *stop)) {
                report("VPD file parsing error: VPD-R version is not as expected version %d\n", 1);
                return -1;
            }
            revision = uint32_t(v);
            needed += 4;
            return 0;
        }
        if (t[0] == '[')
            return title(t);
        return field(t);
    }

    int finish(std::vector<uint8_t>& image)
    {
        if (!fields || !have_region) {
            report("VPD file parsing error: either empty or doesn't include [REGION=VPD-R] title\n");
            return -1;
        }
        if (!have_name) {
            report("VPD file parsing error: Missing Product Name\n");
            return -1;
        }
        if (needed + 6 > declared) {
            report("VPD image size required (%d) is less than declared size in file (%d)\n", int(needed + 6),
                   int(declared));
            return -1;
        }
        uint8_t* built = vpd_table_build_image_ext(&table, declared, revision);
        if (!built) {
            report("Failed to create VPD image!\n");
            return -1;
        }
        image.assign(built, built + declared + 4);
        common_nvm_free(built);
        return 0;
    }
};

}  // namespace

namespace fwupg::nvm {

int vpd_text_to_image(const std::string& text, std::vector<uint8_t>& image)
{
    Parser p;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > kMaxLine) {
            report("VPD file incorrect format: in line [%.64s]\n", line.c_str());
            return -1;
        }
        if (p.line(line) != 0)
            return -1;
    }
    return p.finish(image);
}

int vpd_image_to_text(const uint8_t* img, uint32_t length, std::string& text)
{
    if (length % 4) {
        report("VPD file dumping error: VPD-R size should be a multiple of 4\n");
        return -1;
    }
    if (length > kMaxRegion + 8) {
        report("VPD file dumping error: VPD-R size exceed maximum allowed size %d\n", int(kMaxRegion));
        return -1;
    }
    if (length < 12) {
        report("VPD file dumping error: VPD-R length (0x%x) > image size (0x%x)\n", 0u, unsigned(length));
        return -1;
    }
    const uint32_t end = length - 4;  // the CRC word is not VPD
    if (img[4] != 0x82) {
        report("VPD file dumping error: Expected ID TAG 0x%x is missing (read 0x%x)\n", 0x82u, unsigned(img[4]));
        return -1;
    }
    const uint32_t n = uint32_t(img[5]) | uint32_t(img[6]) << 8;
    uint32_t p = 7;
    if (uint64_t(p) + n + 3 > end) {
        report("VPD file dumping error: VPD-R length (0x%x) > image size (0x%x)\n", unsigned(n), unsigned(length));
        return -1;
    }
    const std::string name(reinterpret_cast<const char*>(img + p), strnlen(reinterpret_cast<const char*>(img + p), n));
    p += n;
    if (img[p] != 0x90) {
        report("VPD file dumping error: Expected VPD-R TAG 0x%x is missing (read 0x%x)\n", 0x90u, unsigned(img[p]));
        return -1;
    }
    const uint32_t ro = uint32_t(img[p + 1]) | uint32_t(img[p + 2]) << 8;
    if (uint64_t(p) + 3 + ro > end) {
        report("VPD file dumping error: VPD-R length (0x%x) > image size (0x%x)\n", unsigned(ro), unsigned(length));
        return -1;
    }
    p += 3;
    const std::string pad(77, ' ');
    auto padded = [&](std::string s, size_t width) {
        if (s.size() < width)
            s += std::string(width - s.size(), ' ');
        return s + "\n";
    };
    std::string out;
    out += std::string(77, '#') + "\n";
    out += padded(";", 77);
    out += padded(";  Example VPD text file", 77);
    out += padded(";", 77);
    out += padded(";", 77);
    out += padded(";  Notes:", 77);
    out += padded(";  1. Each Comment line starts with either \"#\" or ;", 75);
    out += padded(";  2. Text file include VPD-R, VPD-W regions", 77);
    out += padded(";  3. Each region starts with the title [REGION=VPD-R] or [REGION=VPD-W]", 77);
    out += ";  4. Each line includes: Field name=Field_type (Text/Binary), \"Field data\"\n";
    out += padded(";  5. Supports both upper and lower case.", 77);
    out += std::string(77, '#') + "\n\n";
    out += "# Revision for future enhancements. Currently, only revision 1 is supported  \n";
    char line[600];
    std::snprintf(line, sizeof line, "Revision = %u\n\n", unsigned(load_u32(img)));
    out += line;
    std::snprintf(line, sizeof line, "[REGION=VPD-R, %u]\n", unsigned(length - 8));
    out += line;
    out += "Product Name=Text,\"" + name + "\"\n";
    while (uint64_t(p) + 3 <= end) {
        const char k0 = char(img[p]), k1 = char(img[p + 1]);
        const uint32_t len = img[p + 2];
        if (k0 == 'R' && k1 == 'V')
            break;
        if (uint64_t(p) + 3 + len > end) {
            report("VPD file dumping error: VPD-R length (0x%x) > image size (0x%x)\n", unsigned(ro), unsigned(length));
            return -1;
        }
        const char* data = reinterpret_cast<const char*>(img + p + 3);
        out += std::string{k0, k1} + "=Text,\"" + std::string(data, strnlen(data, len)) + "\"\n";
        p += 3 + len;
    }
    (void)pad;
    text = std::move(out);
    return 0;
}

}  // namespace fwupg::nvm

extern "C" {

uint8_t* vpd_text_file_to_image(const char* path, uint32_t* size)
{
    if (size)
        *size = 0;
    if (!path)
        return nullptr;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return nullptr;
        std::ostringstream all;
        all << in.rdbuf();
        return textfile::parse_text(all.str(), size, vpd_text_to_image);
    } catch (...) {
        return nullptr;
    }
}

int vpd_image_to_text_file(const char* path, const uint8_t* image, uint32_t length)
{
    if (!path || !image)
        return 1;
    try {
        std::vector<uint8_t> host(image, image + length);
        common_nvm_swap_buffer(host.data(), length);  // NVRAM order to the image's own order
        std::string text;
        if (vpd_image_to_text(host.data(), length, text) != 0)
            return 1;
        FILE* f = std::fopen(path, "ab");
        if (!f)
            return 1;
        if (std::ftell(f) != 0 || (std::fseek(f, 0, SEEK_END) == 0 && std::ftell(f) != 0)) {
            std::fclose(f);
            report("Dumping VPD image failed ! output file allready exists\n");
            return 1;
        }
        bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = std::fclose(f) == 0 && ok;
        if (!ok)
            return 1;
        fwupg_dbg_printf("VPD image was parsed succesfully into %s\n", path);
        return 0;
    } catch (...) {
        return 1;
    }
}

}  // extern "C"
