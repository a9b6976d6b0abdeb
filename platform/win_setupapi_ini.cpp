// The INI-file lines of an install section: UpdateInis, UpdateIniFields and Ini2Reg (their rules
// are in platform/win_setupapi_install.h).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "platform/ini_text.h"
#include "platform/win_codepage.h"
#include "platform/registry_store.h"
#include "platform/win_error.h"
#include "platform/win_setupapi_install.h"
#include "setupapi_lines.h"

namespace win::setup_lines {
namespace {

using platform::ini::Entry;
using platform::ini::same_name;
using platform::ini::Text;

// The Windows folder, where an INI file named alone is.
constexpr int kWindowsDirId = 10;

// The Windows path of an INI file as a line names it; empty when it names none. A name alone is
// in the Windows folder; whatever the name, the path is one of a drive of the machine (the folder
// of a directory id is one, or none).
std::u16string ini_path(const std::u16string& name)
{
    if (name.empty()) return {};
    if (name.size() >= 2 && name[1] == u':') {
        const bool letter = (name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z');
        return letter ? name : std::u16string();
    }
    int dirid = kWindowsDirId;
    std::u16string rest = name;
    if (name[0] == u'%') {
        const size_t end = name.find(u'%', 1);
        if (end == std::u16string::npos || end == 1) return {};
        dirid = 0;
        for (size_t i = 1; i < end; ++i) {
            if (name[i] < u'0' || name[i] > u'9' || dirid > 100000) return {};
            dirid = dirid * 10 + (name[i] - u'0');
        }
        rest = name.substr(end + 1);
    }
    const std::u16string folder = platform::setup_dirid_folder(dirid);
    if (folder.empty()) return {};
    return rest.empty() || rest[0] == u'\\' ? folder + rest : folder + u'\\' + rest;
}

// One INI file read for a line: the file, and its text as it was read.
struct IniFile {
    platform::ini::File file;
    Text text{GetACP()};
};

// Reads the file (platform/ini_file.h); with `for_change` a file another handle holds without
// sharing its writing is found in use (32) before anything changes. A file or folder that does
// not exist reads as empty (a line that then writes it fails with 3 for the missing folder).
DWORD load(const std::u16string& name, bool for_change, IniFile* file)
{
    const std::u16string path = ini_path(name);
    if (path.empty()) return ERROR_INVALID_DATA;
    const DWORD e = platform::ini::open(path, for_change, &file->file);
    if (e && e != ERROR_PATH_NOT_FOUND) return e;
    file->text = Text(file->file.bytes(), GetACP());
    return ERROR_SUCCESS;
}

// Writes the file back, whole, when the line changed it. A UTF-16 file torn in half a character
// is refused (13) rather than written without its last byte.
DWORD save(const IniFile& file)
{
    const std::string bytes = file.text.bytes();
    if (bytes == file.file.bytes()) return ERROR_SUCCESS;
    if (file.text.torn()) return ERROR_INVALID_DATA;
    return file.file.replace(bytes);
}

// The flags field at `index`; false when it is there and no number.
bool flags_field(const INFCONTEXT& line, DWORD index, DWORD* flags)
{
    *flags = 0;
    return SetupGetFieldCount(&line) < index || field(line, index).empty() || int_field(line, index, flags);
}

struct IniEntry {
    bool given = false;
    std::u16string key, value;
};

std::u16string trimmed(std::u16string_view s)
{
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
    return std::u16string(s);
}

// "key=value" of a line's field; a field without '=' is a key with an empty value.
IniEntry entry_of(const std::u16string& text)
{
    IniEntry e;
    if (text.empty()) return e;
    e.given = true;
    const size_t eq = text.find(u'=');
    e.key = trimmed(std::u16string_view(text).substr(0, eq));
    if (eq != std::u16string::npos) e.value = trimmed(std::u16string_view(text).substr(eq + 1));
    return e;
}

// Removes the lines, last first, so that the earlier indexes stay right.
void erase_lines(Text& text, std::vector<size_t> lines)
{
    std::sort(lines.rbegin(), lines.rend());
    for (size_t line : lines) text.erase(line);
}

DWORD update_ini_line(const INFCONTEXT& line, HKEY)
{
    const std::u16string name = field(line, 1), section = field(line, 2);
    const IniEntry old = entry_of(field(line, 3)), added = entry_of(field(line, 4));
    DWORD flags = 0;
    if (name.empty() || section.empty() || !flags_field(line, 5, &flags)) return ERROR_INVALID_DATA;
    const bool rename = flags & 2;
    if (rename && (!old.given || !added.given)) return ERROR_INVALID_DATA;
    IniFile file;
    if (DWORD e = load(name, true, &file)) return e;
    Text& text = file.text;
    const std::vector<Entry> entries = text.entries(section);
    auto matches = [&](const Entry& e) {
        return (old.key == u"*" || same_name(e.key, old.key)) &&
               (!(flags & 1) || old.value == u"*" || same_name(e.value, old.value));
    };
    auto first = std::find_if(entries.begin(), entries.end(), matches);
    if (rename) {
        if (first == entries.end()) return ERROR_SUCCESS;
        std::vector<size_t> others;
        for (const Entry& e : entries)
            if (e.line != first->line && same_name(e.key, added.key)) others.push_back(e.line);
        if (!text.set(first->line, added.key, first->value)) return ERROR_NO_UNICODE_TRANSLATION;
        erase_lines(text, others);
    } else if (!old.given) {
        if (!added.given) return ERROR_SUCCESS;
        const auto e = text.find(section, added.key);
        if (e ? !text.set(e->line, added.key, added.value) : !text.append(section, added.key, added.value))
            return ERROR_NO_UNICODE_TRANSLATION;
    } else if (!added.given) {
        std::vector<size_t> lines;
        for (const Entry& e : entries)
            if (matches(e)) lines.push_back(e.line);
        erase_lines(text, lines);
    } else if (first != entries.end() && !text.set(first->line, added.key, added.value)) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    return save(file);
}

bool field_separator(char16_t c) { return c == u' ' || c == u'\t' || c == u','; }

DWORD update_ini_fields_line(const INFCONTEXT& line, HKEY)
{
    const std::u16string name = field(line, 1), section = field(line, 2), key = field(line, 3);
    const std::u16string old = field(line, 4), added = field(line, 5);
    DWORD flags = 0;
    if (name.empty() || section.empty() || key.empty() || !flags_field(line, 6, &flags)) return ERROR_INVALID_DATA;
    IniFile file;
    if (DWORD e = load(name, true, &file)) return e;
    auto entry = file.text.find(section, key);
    if (!entry) {
        if (added.empty()) return ERROR_SUCCESS;
        if (!file.text.append(section, key, added)) return ERROR_NO_UNICODE_TRANSLATION;
        return save(file);
    }
    std::u16string_view value = entry->value;
    value = value.substr(0, value.find(u';'));
    std::vector<std::u16string> fields;
    for (size_t i = 0; i < value.size();) {
        if (field_separator(value[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < value.size() && !field_separator(value[end])) ++end;
        fields.emplace_back(value.substr(i, end - i));
        i = end;
    }
    auto found = old.empty() ? fields.end() : std::find_if(fields.begin(), fields.end(), [&](const std::u16string& f) {
        return flags & 1 ? platform::ini::wildcard_match(old, f) : same_name(old, f);
    });
    if (found != fields.end()) {
        if (added.empty())
            fields.erase(found);
        else
            *found = added;
    } else if (added.empty() ||
               std::any_of(fields.begin(), fields.end(), [&](const std::u16string& f) { return same_name(added, f); })) {
        return ERROR_SUCCESS;  // nothing to change
    } else {
        fields.push_back(added);
    }
    std::u16string joined;
    for (const std::u16string& f : fields) joined += (joined.empty() ? u"" : flags & 2 ? u"," : u" ") + f;
    if (!file.text.set(entry->line, entry->key, joined)) return ERROR_NO_UNICODE_TRANSLATION;
    return save(file);
}

DWORD ini_to_registry_line(const INFCONTEXT& line, HKEY relative)
{
    const std::u16string name = field(line, 1), section = field(line, 2), key = field(line, 3);
    const std::u16string sub_key = field(line, 5);
    DWORD flags = 0;
    if (name.empty() || section.empty() || !flags_field(line, 6, &flags)) return ERROR_INVALID_DATA;
    const bool delete_moved = flags & 1, replace_existing = flags & 2;
    HKEY root = root_of(field(line, 4), relative);
    if (!root) return GetLastError();
    IniFile file;
    if (DWORD e = load(name, delete_moved, &file)) return e;
    // Bit 1 clear: a sub-key that is there already keeps what it holds, and nothing moves.
    HKEY target = nullptr;
    if (!replace_existing && RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_READ, &target) == ERROR_SUCCESS) {
        RegCloseKey(target);
        return ERROR_SUCCESS;
    }
    std::vector<Entry> entries = file.text.entries(section);
    std::erase_if(entries, [&](const Entry& e) { return !key.empty() && !same_name(e.key, key); });
    // Entries that are to leave a file it cannot write back whole are not moved at all.
    if (delete_moved && !entries.empty() && file.text.torn()) return ERROR_INVALID_DATA;
    if (LSTATUS e = RegCreateKeyExW(root, sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                    nullptr, &target, nullptr))
        return DWORD(e);
    std::vector<size_t> moved;
    DWORD result = ERROR_SUCCESS;
    for (const Entry& e : entries) {
        const std::u16string data = e.value + u'\0';
        result = DWORD(RegSetValueExW(target, e.key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                      DWORD(data.size() * sizeof(char16_t))));
        if (result) break;
        moved.push_back(e.line);
    }
    RegCloseKey(target);
    if (result) return result;
    if (!delete_moved) return ERROR_SUCCESS;
    // The values are stored before their entries leave the file, so neither copy is lost.
    if (!platform::registry::Batch::finish_current()) return ERROR_WRITE_FAULT;
    erase_lines(file.text, moved);
    return save(file);
}

}  // namespace

DWORD install_ini_lines(HINF inf, const WCHAR* section, bool ini_files, bool ini_to_registry, HKEY relative)
{
    if (ini_files) {
        if (DWORD e = for_each_listed_line(inf, section, u"UpdateInis", update_ini_line, relative)) return e;
        if (DWORD e = for_each_listed_line(inf, section, u"UpdateIniFields", update_ini_fields_line, relative)) return e;
    }
    if (ini_to_registry)
        if (DWORD e = for_each_listed_line(inf, section, u"Ini2Reg", ini_to_registry_line, relative)) return e;
    return ERROR_SUCCESS;
}

}  // namespace win::setup_lines
