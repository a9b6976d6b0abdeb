// Formatting helpers of the directory and CRC listings.
#include "fwupg/nvm/commands/listing.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fwupg/nvm/e123/versions.h"

namespace fwupg::nvm {

void appendf(std::string& out, const char* fmt, ...)
{
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    if (n >= 0 && size_t(n) < sizeof small) {
        out.append(small, size_t(n));
    } else if (n > 0) {
        std::vector<char> big(size_t(n) + 1);
        std::vsnprintf(big.data(), big.size(), fmt, again);
        out.append(big.data(), size_t(n));
    }
    va_end(again);
    va_end(ap);
}

const char* processor_name(uint32_t processor_bits)
{
    static const char* const kNames[] = {"NONE", "HOST", "MCP", "TSTORM", "CSTORM", "XSTORM", "USTORM", "WC", "PCIEuc",
                                         "HOSTBCV"};
    const uint32_t code = (processor_bits >> 24) & 0xF;
    return code < 10 ? kNames[code] : "NONE";
}

std::string nvram_image_version(uint32_t nvm_offset, const char* name)
{
    char text[128] = "";
    if (common_nvm_image_version_str(nvm_offset, 0, name, text, sizeof text, 0) != 0)
        return {};
    return text;
}

std::string mba_version_lines(const char* version)
{
    std::string out;
    const std::string v = version ? version : "";
    size_t start = 0;
    int pieces = 0;
    auto line = [&](const std::string& piece) { appendf(out, pieces++ == 0 ? "%20s\n" : "%74s\n", piece.c_str()); };
    while (pieces < 8) {
        size_t semi = v.find(';', start);
        if (semi == std::string::npos)
            break;
        line(v.substr(start, semi - start));
        start = semi + 1;
    }
    if (pieces < 8)
        line(v.substr(start));
    return out;
}

}  // namespace fwupg::nvm

extern "C" int common_nvm_mba_version_lines(const char* version, char* out, uint32_t size)
{
    if (!out || size == 0)
        return 0;
    try {
        const std::string text = fwupg::nvm::mba_version_lines(version);
        const size_t n = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(out, text.data(), n);
        out[n] = 0;
        return int(n);
    } catch (...) {
        out[0] = 0;
        return 0;
    }
}
