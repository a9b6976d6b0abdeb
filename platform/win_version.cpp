#include "platform/win_version.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/utf16.h"
#include "platform/version_note.h"
#include "platform/wide_ctype.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"

namespace win {
namespace {

// Layout of the data block: header, fixed info, then `count` entries of
// {u32 key length, u32 value length (both in characters with the NUL), key, value}.
constexpr uint32_t kMagic = 0x56564E54;  // "TNVV"
struct BlockHeader {
    uint32_t magic;
    uint32_t size;
    VS_FIXEDFILEINFO fixed;
    uint32_t count;
};

std::optional<platform::VersionNote> note_of(const WCHAR* path)
{
    std::string p;
    if (DWORD err = platform::map_win_path(platform::u16_view(path), p)) {
        SetLastError(err);
        return std::nullopt;
    }
    struct stat st;
    if (stat(p.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, p));
        return std::nullopt;
    }
    auto note = platform::read_version_note(p);
    if (!note) SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return note;
}

bool parse_four(const std::string& s, DWORD& ms, DWORD& ls)
{
    unsigned v[4];
    int used = 0;
    if (std::sscanf(s.c_str(), "%u.%u.%u.%u%n", &v[0], &v[1], &v[2], &v[3], &used) != 4 || size_t(used) != s.size())
        return false;
    for (unsigned x : v)
        if (x > 0xFFFF) return false;
    ms = (v[0] << 16) | v[1];
    ls = (v[2] << 16) | v[3];
    return true;
}

std::vector<uint8_t> build_block(const platform::VersionNote& note)
{
    BlockHeader h{};
    h.magic = kMagic;
    h.fixed.dwSignature = 0xFEEF04BD;
    h.fixed.dwStrucVersion = 0x00010000;
    h.fixed.dwFileVersionMS = (DWORD(note.version[0]) << 16) | note.version[1];
    h.fixed.dwFileVersionLS = (DWORD(note.version[2]) << 16) | note.version[3];
    h.fixed.dwProductVersionMS = h.fixed.dwFileVersionMS;
    h.fixed.dwProductVersionLS = h.fixed.dwFileVersionLS;
    auto pv = note.strings.find("ProductVersion");
    if (pv != note.strings.end()) parse_four(pv->second, h.fixed.dwProductVersionMS, h.fixed.dwProductVersionLS);
    h.fixed.dwFileFlagsMask = 0x3F;
    h.fixed.dwFileOS = 0x00040004;  // 32-bit Windows on NT
    h.count = uint32_t(note.strings.size());
    std::vector<uint8_t> out(sizeof h);
    for (const auto& [key, value] : note.strings) {
        std::u16string k = platform::to_utf16(key), v = platform::to_utf16(value);
        uint32_t lens[2] = {uint32_t(k.size() + 1), uint32_t(v.size() + 1)};
        size_t at = out.size();
        out.resize(at + sizeof lens + (k.size() + 1 + v.size() + 1) * sizeof(char16_t));
        std::memcpy(out.data() + at, lens, sizeof lens);
        std::memcpy(out.data() + at + sizeof lens, k.c_str(), lens[0] * sizeof(char16_t));
        std::memcpy(out.data() + at + sizeof lens + lens[0] * sizeof(char16_t), v.c_str(), lens[1] * sizeof(char16_t));
    }
    h.size = uint32_t(out.size());
    std::memcpy(out.data(), &h, sizeof h);
    return out;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(const WCHAR* path, DWORD* handle)
{
    if (handle) *handle = 0;
    auto note = note_of(path);
    return note ? DWORD(build_block(*note).size()) : 0;
}

BOOL GetFileVersionInfoW(const WCHAR* path, DWORD, DWORD size, void* data)
{
    auto note = note_of(path);
    if (!note) return FALSE;
    std::vector<uint8_t> block = build_block(*note);
    if (!data || size < block.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(data, block.data(), block.size());
    return TRUE;
}

BOOL VerQueryValueW(const void* data, const WCHAR* sub_block, void** out, UINT* length)
{
    if (!data || !sub_block || !out || !length) return FALSE;
    const auto* base = static_cast<const uint8_t*>(data);
    BlockHeader h;
    std::memcpy(&h, base, sizeof h);
    if (h.magic != kMagic || h.size < sizeof h) return FALSE;
    std::u16string_view q = platform::u16_view(sub_block);
    if (q == u"\\" || q.empty()) {
        *out = const_cast<uint8_t*>(base) + offsetof(BlockHeader, fixed);
        *length = sizeof(VS_FIXEDFILEINFO);
        return TRUE;
    }
    std::u16string_view prefix = u"\\StringFileInfo\\040904B0\\";
    if (q.size() <= prefix.size() ||
        platform::wide_nicmp(q.data(), prefix.data(), prefix.size()) != 0)
        return FALSE;
    std::u16string name(q.substr(prefix.size()));
    size_t at = sizeof h;
    for (uint32_t i = 0; i < h.count; ++i) {
        uint32_t lens[2];
        if (h.size - at < sizeof lens) return FALSE;
        std::memcpy(lens, base + at, sizeof lens);
        size_t bytes = (size_t(lens[0]) + lens[1]) * sizeof(char16_t);
        if (lens[0] == 0 || lens[1] == 0 || (h.size - at - sizeof lens) < bytes) return FALSE;
        const uint8_t* key = base + at + sizeof lens;
        std::u16string k(lens[0] - 1, u'\0');
        std::memcpy(k.data(), key, k.size() * sizeof(char16_t));
        if (platform::wide_icmp(k.c_str(), name.c_str()) == 0) {
            *out = const_cast<uint8_t*>(key) + lens[0] * sizeof(char16_t);
            *length = lens[1];
            return TRUE;
        }
        at += sizeof lens + bytes;
    }
    return FALSE;
}

}  // namespace win
