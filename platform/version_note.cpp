#include "platform/version_note.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace platform {
namespace {

constexpr const char* kSectionName = ".note.tvnver";

template <typename T>
bool read_at(const std::vector<uint8_t>& f, uint64_t off, T& out)
{
    if (off > f.size() || f.size() - off < sizeof(T)) return false;
    std::memcpy(&out, f.data() + off, sizeof(T));
    return true;
}

std::optional<VersionNote> parse_note(const uint8_t* p, uint64_t size)
{
    if (size < 12) return std::nullopt;
    uint32_t namesz, descsz, type;
    std::memcpy(&namesz, p, 4);
    std::memcpy(&descsz, p + 4, 4);
    std::memcpy(&type, p + 8, 4);
    uint64_t nameEnd = 12 + ((uint64_t(namesz) + 3) & ~uint64_t(3));
    if (type != 1 || namesz != 4 || nameEnd > size || std::memcmp(p + 12, "TVN", 4) != 0) return std::nullopt;
    if (descsz < 8 || descsz > size - nameEnd) return std::nullopt;
    const uint8_t* d = p + nameEnd;
    VersionNote note;
    for (int i = 0; i < 4; ++i) note.version[i] = uint16_t(d[2 * i] | (d[2 * i + 1] << 8));
    uint64_t pos = 8;
    while (pos < descsz) {
        const char* s = reinterpret_cast<const char*>(d + pos);
        size_t len = strnlen(s, descsz - pos);
        if (len == 0 || len == descsz - pos) break;  // end marker, or unterminated
        std::string entry(s, len);
        auto eq = entry.find('=');
        if (eq != std::string::npos) note.strings[entry.substr(0, eq)] = entry.substr(eq + 1);
        pos += len + 1;
    }
    return note;
}

}  // namespace

std::optional<VersionNote> read_version_note(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (f.size() < 64 || std::memcmp(f.data(), "\x7f" "ELF", 4) != 0 || f[4] != 2 || f[5] != 1)
        return std::nullopt;
    uint64_t shoff;
    uint16_t shentsize, shnum, shstrndx;
    if (!read_at(f, 0x28, shoff) || !read_at(f, 0x3A, shentsize) || !read_at(f, 0x3C, shnum) ||
        !read_at(f, 0x3E, shstrndx) || shentsize < 64 || shstrndx >= shnum)
        return std::nullopt;
    auto section = [&](uint16_t i, uint32_t& name, uint64_t& off, uint64_t& size) {
        uint64_t base = shoff + uint64_t(i) * shentsize;
        return read_at(f, base, name) && read_at(f, base + 0x18, off) && read_at(f, base + 0x20, size) &&
               off <= f.size() && size <= f.size() - off;
    };
    uint32_t strName;
    uint64_t strOff, strSize;
    if (!section(shstrndx, strName, strOff, strSize)) return std::nullopt;
    for (uint16_t i = 0; i < shnum; ++i) {
        uint32_t name;
        uint64_t off, size;
        if (!section(i, name, off, size) || name >= strSize) continue;
        const char* nm = reinterpret_cast<const char*>(f.data() + strOff + name);
        if (strnlen(nm, strSize - name) == strSize - name || std::strcmp(nm, kSectionName) != 0) continue;
        return parse_note(f.data() + off, size);
    }
    return std::nullopt;
}

}  // namespace platform
