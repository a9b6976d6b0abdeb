#include "platform/win_setupapi_inf.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/inf_file.h"
#include "platform/ini_file.h"
#include "platform/ini_text.h"
#include "platform/state_file.h"
#include "platform/utf16.h"
#include "platform/win_codepage.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"
#include "platform/win_setupapi_install.h"

namespace win {
namespace {

namespace inf = platform::inf;

struct InfObject : platform::HandleObject {
    inf::File file;
};

std::shared_ptr<InfObject> inf_of(HINF h)
{
    auto object = platform::lookup_handle_as<InfObject>(h);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// The line a context names; null with the last error set.
const inf::Line* line_of(const INFCONTEXT* c, std::shared_ptr<InfObject>* keep = nullptr)
{
    if (!c) return fail_with<const inf::Line*>(ERROR_INVALID_PARAMETER, nullptr);
    auto object = inf_of(c->Inf);
    if (!object) return nullptr;
    if (c->Section >= object->file.sections.size() || c->Line >= object->file.sections[c->Section].lines.size())
        return fail_with<const inf::Line*>(ERROR_INVALID_PARAMETER, nullptr);
    if (keep) *keep = object;
    return &object->file.sections[c->Section].lines[c->Line];
}

// Copies text with its NUL, or only reports the size.
BOOL put_text(const std::u16string& text, WCHAR* buffer, DWORD size, DWORD* required)
{
    const DWORD needed = DWORD(text.size() + 1);
    if (required) *required = needed;
    if (!buffer) return TRUE;
    if (size < needed) return fail_with<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(buffer, text.c_str(), needed * sizeof(WCHAR));
    return TRUE;
}

// Finds a line of the section from `start` on: the next one, or the next with the key.
BOOL find_from(HINF h, const inf::File& file, UINT section, UINT start, const WCHAR* key, INFCONTEXT* out)
{
    const auto& lines = file.sections[section].lines;
    for (UINT i = start; i < lines.size(); ++i) {
        if (key && !(lines[i].key && inf::same_name(*lines[i].key, platform::u16_view(key)))) continue;
        *out = INFCONTEXT{h, h, section, i};
        return TRUE;
    }
    return fail_with<BOOL>(ERROR_LINE_NOT_FOUND, FALSE);
}

bool read_mapped(const WCHAR* path, std::string* bytes)
{
    std::string linux_path;
    if (DWORD err = platform::map_win_path(platform::u16_view(path), linux_path)) return fail_with<bool>(err, false);
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail_with<bool>(ERROR_ACCESS_DENIED, false);
    auto text = platform::read_file(linux_path);
    if (!text) return fail_with<bool>(ERROR_ACCESS_DENIED, false);
    *bytes = std::move(*text);
    return true;
}

}  // namespace

HINF SetupOpenInfFileW(const WCHAR* path, const WCHAR* class_name, DWORD style, UINT* error_line)
{
    if (error_line) *error_line = 0;
    std::string bytes;
    if (!path || !read_mapped(path, &bytes)) return INVALID_HANDLE_VALUE;
    // Directory ids in the lines' text become their folders, for every directive alike.
    inf::ParseResult parsed = inf::parse(inf::decode(bytes), [](unsigned dirid) -> std::optional<std::u16string> {
        std::u16string folder = platform::setup_dirid_folder(int(dirid));  // at most nine digits
        if (folder.empty()) return std::nullopt;
        return folder;
    });
    if (!parsed.ok) {
        if (error_line) *error_line = parsed.error_line;
        return fail_with<HINF>(ERROR_GENERAL_SYNTAX, INVALID_HANDLE_VALUE);
    }
    auto value_of = [&](std::u16string_view key) -> std::u16string {
        const inf::Section* version = parsed.file.find(u"Version");
        if (!version) return {};
        for (const inf::Line& l : version->lines)
            if (l.key && inf::same_name(*l.key, key)) return l.values.empty() ? std::u16string() : l.values[0];
        return {};
    };
    if (style & INF_STYLE_WIN4) {
        const std::u16string signature = value_of(u"Signature");
        if (!inf::same_name(signature, u"$Windows NT$") && !inf::same_name(signature, u"$Chicago$") &&
            !inf::same_name(signature, u"$Windows 95$"))
            return fail_with<HINF>(ERROR_WRONG_INF_STYLE, INVALID_HANDLE_VALUE);
    }
    if (class_name && !inf::same_name(value_of(u"Class"), platform::u16_view(class_name)))
        return fail_with<HINF>(ERROR_CLASS_MISMATCH, INVALID_HANDLE_VALUE);
    auto object = std::make_shared<InfObject>();
    object->file = std::move(parsed.file);
    SetLastError(ERROR_SUCCESS);
    return platform::register_handle(std::move(object));
}

void SetupCloseInfFile(HINF inf)
{
    if (platform::lookup_handle_as<InfObject>(inf)) CloseHandle(inf);
}

BOOL SetupFindFirstLineW(HINF h, const WCHAR* section, const WCHAR* key, INFCONTEXT* context)
{
    auto object = inf_of(h);
    if (!object) return FALSE;
    if (!section || !context) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const auto& sections = object->file.sections;
    for (UINT s = 0; s < sections.size(); ++s)
        if (inf::same_name(sections[s].name, platform::u16_view(section))) return find_from(h, object->file, s, 0, key, context);
    return fail_with<BOOL>(ERROR_LINE_NOT_FOUND, FALSE);
}

BOOL SetupFindNextLine(const INFCONTEXT* in, INFCONTEXT* out) { return SetupFindNextMatchLineW(in, nullptr, out); }

BOOL SetupFindNextMatchLineW(const INFCONTEXT* in, const WCHAR* key, INFCONTEXT* out)
{
    std::shared_ptr<InfObject> object;
    if (!line_of(in, &object)) return FALSE;
    if (!out) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const INFCONTEXT from = *in;
    return find_from(from.Inf, object->file, from.Section, from.Line + 1, key, out);
}

LONG SetupGetLineCountW(HINF h, const WCHAR* section)
{
    auto object = inf_of(h);
    if (!object) return -1;
    const inf::Section* s = object->file.find(platform::u16_view(section));
    if (!s) return fail_with<LONG>(ERROR_SECTION_NOT_FOUND, -1);
    return LONG(s->lines.size());
}

BOOL SetupGetLineTextW(const INFCONTEXT* context, HINF h, const WCHAR* section, const WCHAR* key, WCHAR* buffer,
                       DWORD size, DWORD* required)
{
    INFCONTEXT found;
    if (!context) {
        if (!SetupFindFirstLineW(h, section, key, &found)) return FALSE;
        context = &found;
    }
    const inf::Line* line = line_of(context);
    if (!line) return FALSE;
    std::u16string text;
    for (size_t i = 0; i < line->values.size(); ++i) text += (i ? u"," : u"") + line->values[i];
    return put_text(text, buffer, size, required);
}

DWORD SetupGetFieldCount(const INFCONTEXT* context)
{
    const inf::Line* line = line_of(context);
    return line ? DWORD(line->values.size()) : 0;
}

BOOL SetupGetStringFieldW(const INFCONTEXT* context, DWORD index, WCHAR* buffer, DWORD size, DWORD* required)
{
    const inf::Line* line = line_of(context);
    if (!line) return FALSE;
    if (index == 0) return put_text(line->key.value_or(u""), buffer, size, required);
    if (index > line->values.size()) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    return put_text(line->values[index - 1], buffer, size, required);
}

BOOL SetupGetIntField(const INFCONTEXT* context, DWORD index, INT* value)
{
    const inf::Line* line = line_of(context);
    if (!line) return FALSE;
    if (!value) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (index > line->values.size()) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const std::string text = platform::to_utf8(index == 0 ? line->key.value_or(u"") : line->values[index - 1]);
    if (text.empty()) return fail_with<BOOL>(ERROR_INVALID_DATA, FALSE);
    // Decimal unless the digits start with 0x: a leading 0 is no octal mark ("010" is ten).
    const size_t digits = text[0] == '-' || text[0] == '+' ? 1 : 0;
    const bool hex = text.size() > digits + 1 && text[digits] == '0' && (text[digits + 1] | 0x20) == 'x';
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
    if (errno || *end || v < -0x80000000LL || v > 0xFFFFFFFFLL) return fail_with<BOOL>(ERROR_INVALID_DATA, FALSE);
    *value = static_cast<INT>(static_cast<uint32_t>(v));
    return TRUE;
}

DWORD GetPrivateProfileSectionNamesW(WCHAR* buffer, DWORD size, const WCHAR* file)
{
    if (!buffer || size == 0) return 0;
    std::vector<std::u16string> names;
    platform::ini::File ini;
    if (file && platform::ini::open(platform::u16_view(file), false, &ini) == ERROR_SUCCESS)
        names = platform::ini::Text(ini.bytes(), GetACP()).section_names();
    DWORD at = 0;
    for (const std::u16string& n : names) {
        // Room for the name, its NUL and the closing NUL.
        if (at + n.size() + 2 > size) {
            buffer[at] = 0;
            if (at + 1 < size) buffer[at + 1] = 0;
            return size >= 2 ? size - 2 : 0;
        }
        std::memcpy(buffer + at, n.c_str(), (n.size() + 1) * sizeof(WCHAR));
        at += DWORD(n.size() + 1);
    }
    buffer[at] = 0;
    return at;
}

}  // namespace win
