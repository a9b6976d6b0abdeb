// Version text of a firmware file, by file kind: where each kind keeps its version. Every offset
// taken from the file is checked against the file's size.
#include <cstdio>
#include <string>
#include <vector>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/file_io.h"
#include "platform/byte_order.h"

namespace {

struct File {
    const std::vector<uint8_t>& b;
    size_t size;
    bool has(uint64_t at, uint64_t n) const { return at + n <= size; }
    uint32_t u32(uint64_t at) const { return platform::load_le32(&b[at]); }
    uint16_t u16(uint64_t at) const { return platform::load_le16(&b[at]); }
};

constexpr uint64_t P = 19;

int text3(char* out, unsigned a, unsigned b, unsigned c)
{
    std::snprintf(out, 32, "v%d.%d.%d", int(a), int(b), int(c));
    return 1;
}

int version_of(const File& f, uint32_t kind, char* out)
{
    switch (kind) {
    case 0: case 2: case 3: case 4: case 10: {
        if (!f.has(12, 4) || !f.has(P + 4, 4))
            return 0;
        uint64_t q = P + ((kind == 2 || kind == 3 || (f.u32(12) >> 16 & 7)) ? 116 : 120);
        if (f.u32(P + 4) == 0)
            q -= 12;
        if (!f.has(q, 4))
            return 0;
        const uint32_t v = f.u32(q) >> 8;
        return text3(out, v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF);
    }
    case 1: {
        if (!f.has(8, 2))
            return 0;
        const uint64_t at = uint64_t(f.u16(8)) + 28;
        if (!f.has(at, 4))
            return 0;
        const uint32_t v = f.u32(at);
        return text3(out, v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF);
    }
    case 5: case 11: {
        if (!f.has(4, 4) || f.u32(4) != 2 || !f.has(P + 4, 2))
            return 0;
        const uint64_t t = P + f.u16(P + 4);
        if (t >= f.size)
            return 0;
        // The text must end inside the file: read it from a terminated copy.
        std::string text(reinterpret_cast<const char*>(f.b.data() + t), f.size - t);
        unsigned a = 0, b = 0, c = 0;
        if (std::sscanf(text.c_str(), "v%u.%u.%u", &a, &b, &c) != 3)
            return 0;
        return text3(out, a, b, c);
    }
    case 8:
        if (!f.has(P, 4))
            return 0;
        return text3(out, f.b[P], f.b[P + 1], f.u16(P + 2));
    case 14:
        if (!f.has(P + 17, 3))
            return 0;
        return text3(out, f.b[P + 17], f.b[P + 18], f.b[P + 19]);
    case 15:
        return 1;
    default:
        return 0;
    }
}

}  // namespace

extern "C" int get_image_file_version(HostOps, const char* path, uint32_t kind, char* text)
{
    if (!path || !text)
        return 0;
    try {
        uint32_t size = 0;
        if (common_nvm_file_size(path, &size) != 0)
            return 0;
        std::vector<uint8_t> buf(((uint64_t(size) + 3) & ~3ull) + 4, 0);
        uint32_t got = 0;
        if (common_nvm_read_file(nullptr, path, buf.data(), size, &got) != 0)
            return 0;
        return version_of(File{buf, got}, kind, text);
    } catch (...) {
        return 0;
    }
}
