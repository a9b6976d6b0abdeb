// The profile items of an install section: groups (folders) and shortcuts of the all-users
// Start menu (their rules are in platform/win_setupapi_install.h).
//
// This machine's shell has no link object, so a shortcut file holds a stand-in text in place of
// the shell's binary link: the target, the command line the shell would run and the working
// folder, one "name=value" a line.
#include <cerrno>
#include <string>
#include <unistd.h>

#include "platform/debug_channel.h"
#include "platform/safe_file.h"
#include "platform/utf16.h"
#include "platform/whole_file.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_setupapi_install.h"
#include "setupapi_lines.h"

namespace win::setup_lines {
namespace {

// The all-users Programs folder of the Start menu, where items go unless they name another folder.
constexpr int kCommonPrograms = 16407;
// Shell folder numbers (CSIDL) are directory ids less this.
constexpr int kShellFolderDirIds = 0x4000;

struct Item {
    std::u16string section;
    std::u16string name;
    DWORD flags = 0;
};

void say(const std::u16string& section, const std::string& text)
{
    platform::debug_channel().output("ProfileItems [" + platform::to_utf8(section) + "]: " + text + "\n");
}

// A file or folder name the system accepts: not empty, none of \ / : * ? " < > | or control
// characters, not ending in a dot or blank (so never "." or "..").
bool file_name(std::u16string_view name)
{
    if (name.empty() || name.back() == u'.' || name.back() == u' ') return false;
    for (char16_t c : name)
        if (c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) return false;
    return true;
}

// A relative folder path of such names joined by '\'.
bool relative_folder(std::u16string_view path)
{
    for (size_t start = 0;;) {
        const size_t end = path.find(u'\\', start);
        if (!file_name(path.substr(start, end == std::u16string_view::npos ? end : end - start))) return false;
        if (end == std::u16string_view::npos) return true;
        start = end + 1;
    }
}

std::u16string joined(std::u16string folder, const std::u16string& name)
{
    if (name.empty()) return folder;
    return folder.empty() || folder.back() == u'\\' ? folder + name : folder + u'\\' + name;
}

// "dirid[,subdir][,file]": the folder of the id with the rest joined to it; empty for an unknown
// id or a sub-path that is no relative folder.
std::u16string folder_of(const INFCONTEXT& line, DWORD first, DWORD last)
{
    DWORD dirid = 0;
    if (!int_field(line, first, &dirid)) return {};
    std::u16string path = dirid > 0xFFFF ? std::u16string() : platform::setup_dirid_folder(int(dirid));
    if (path.empty()) return {};
    for (DWORD i = first + 1; i <= last && i <= SetupGetFieldCount(&line); ++i) {
        const std::u16string part = field(line, i);
        if (part.empty()) continue;
        if (!relative_folder(part)) return {};
        path = joined(path, part);
    }
    return path;
}

// Makes a folder and its missing parents.
DWORD make_folders(const std::u16string& folder)
{
    for (size_t at = folder.find(u'\\'); ; at = folder.find(u'\\', at + 1)) {
        const std::u16string part = folder.substr(0, at);
        if (part.size() > 2 && !CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return GetLastError();
        if (at == std::u16string::npos) return ERROR_SUCCESS;
    }
}

// Writes the shortcut whole: a new private file beside it, then renamed over it.
DWORD write_link(const std::u16string& path, const std::string& text)
{
    std::string linux_path;
    if (DWORD e = platform::map_win_path(path, linux_path)) return e;
    const platform::NameState state = platform::name_state(linux_path);
    if (state == platform::NameState::NotRegular) return ERROR_ACCESS_DENIED;  // a folder or a link
    if (!platform::write_whole_file(linux_path, text.data(), text.size())) return error_from_errno(errno, linux_path);
    return ERROR_SUCCESS;
}

DWORD remove_link(const std::u16string& path)
{
    std::string linux_path;
    if (DWORD e = platform::map_win_path(path, linux_path)) return e;
    return platform::remove_regular_file(linux_path) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Removes an empty group; a missing one is nothing to remove, one that still holds something is
// left as it is (145), since its files are not the line's to delete.
DWORD remove_group(const std::u16string& path)
{
    std::string linux_path;
    if (DWORD e = platform::map_win_path(path, linux_path)) return e;
    const platform::NameState state = platform::name_state(linux_path);
    if (state == platform::NameState::Free) return ERROR_SUCCESS;
    if (rmdir(linux_path.c_str()) == 0) return ERROR_SUCCESS;
    if (errno == ENOTEMPTY || errno == EEXIST) return ERROR_DIR_NOT_EMPTY;
    return errno == ENOTDIR ? ERROR_DIRECTORY : error_from_errno(errno, linux_path);
}

// The "Name" line of an item section: the name and its flags; false (13) when it is missing.
DWORD item_of(HINF inf, const std::u16string& section, Item* item)
{
    item->section = section;
    INFCONTEXT line;
    if (!SetupFindFirstLineW(inf, section.c_str(), u"Name", &line)) return ERROR_INVALID_DATA;
    item->name = field(line, 1);
    if (SetupGetFieldCount(&line) >= 2 && !field(line, 2).empty() && !int_field(line, 2, &item->flags))
        return ERROR_INVALID_DATA;
    return file_name(item->name) ? ERROR_SUCCESS : ERROR_INVALID_NAME;
}

// The folder the item goes in: the Programs folder, or the shell folder SubDir names with
// FLG_PROFITEM_CSIDL, with SubDir below it otherwise.
DWORD base_folder(HINF inf, const Item& item, std::u16string* folder)
{
    INFCONTEXT line;
    const bool has_sub_dir = SetupFindFirstLineW(inf, item.section.c_str(), u"SubDir", &line);
    const std::u16string sub_dir = has_sub_dir ? field(line, 1) : std::u16string();
    if (item.flags & FLG_PROFITEM_CSIDL) {
        DWORD shell_folder = 0;
        if (!has_sub_dir || !int_field(line, 1, &shell_folder)) return ERROR_INVALID_DATA;
        *folder = shell_folder < 0x100 ? platform::setup_dirid_folder(kShellFolderDirIds + int(shell_folder)) : u"";
        if (folder->empty()) {
            say(item.section, "shell folder " + std::to_string(shell_folder) +
                                  " is not on this machine: it models the all-users profile alone");
            return ERROR_NOT_SUPPORTED;
        }
        return ERROR_SUCCESS;
    }
    if (!sub_dir.empty() && !relative_folder(sub_dir)) return ERROR_INVALID_DATA;
    const std::u16string programs = platform::setup_dirid_folder(kCommonPrograms);
    if (programs.empty()) {
        say(item.section, "the all-users Programs folder is not on this machine");
        return ERROR_NOT_SUPPORTED;
    }
    *folder = joined(programs, sub_dir);
    return ERROR_SUCCESS;
}

DWORD make_link(HINF inf, const Item& item, const std::u16string& folder)
{
    INFCONTEXT line;
    if (!SetupFindFirstLineW(inf, item.section.c_str(), u"CmdLine", &line)) return ERROR_INVALID_DATA;
    // "dirid,subdir,file", or "dirid,file" without the sub-folder.
    const DWORD count = SetupGetFieldCount(&line);
    if (count < 2) return ERROR_INVALID_DATA;
    const std::u16string file = field(line, count >= 3 ? 3 : 2);
    const std::u16string target_folder = folder_of(line, 1, count >= 3 ? 2 : 1);
    if (target_folder.empty() || !file_name(file)) return ERROR_INVALID_DATA;
    const std::u16string target = joined(target_folder, file);
    std::u16string working;
    if (SetupFindFirstLineW(inf, item.section.c_str(), u"WorkingDir", &line)) {
        working = folder_of(line, 1, 2);
        if (working.empty()) return ERROR_INVALID_DATA;
    }
    const std::string text = "[Shortcut]\r\nTarget=" + platform::to_utf8(target) + "\r\nCommandLine=\"" +
                             platform::to_utf8(target) + "\"\r\nWorkingFolder=" + platform::to_utf8(working) + "\r\n";
    if (DWORD e = make_folders(folder)) return e;
    return write_link(joined(folder, item.name + u".lnk"), text);
}

DWORD run_item(HINF inf, const std::u16string& section)
{
    if (SetupGetLineCountW(inf, section.c_str()) < 0) return ERROR_SUCCESS;  // a missing section is passed over
    Item item;
    if (DWORD e = item_of(inf, section, &item)) return e;
    std::u16string folder;
    if (DWORD e = base_folder(inf, item, &folder)) return e;
    const bool group = item.flags & FLG_PROFITEM_GROUP, remove = item.flags & FLG_PROFITEM_DELETE;
    if (group) return remove ? remove_group(joined(folder, item.name)) : make_folders(joined(folder, item.name));
    return remove ? remove_link(joined(folder, item.name + u".lnk")) : make_link(inf, item, folder);
}

}  // namespace

DWORD check_profile_items(HINF inf, const WCHAR* section)
{
    return for_each_listed_section(inf, section, u"ProfileItems", [&](const std::u16string& name) -> DWORD {
        Item item;
        if (SetupGetLineCountW(inf, name.c_str()) < 0 || item_of(inf, name, &item)) return ERROR_SUCCESS;
        if (item.flags & FLG_PROFITEM_CURRENTUSER) {
            say(name, "current-user items are not made: this machine models no user profile, only the all-users one");
            return ERROR_NOT_SUPPORTED;
        }
        // A shell folder this machine lacks; any other fault of the item is the install's to report.
        std::u16string folder;
        return base_folder(inf, item, &folder) == ERROR_NOT_SUPPORTED ? ERROR_NOT_SUPPORTED : ERROR_SUCCESS;
    });
}

DWORD install_profile_items(HINF inf, const WCHAR* section)
{
    return for_each_listed_section(inf, section, u"ProfileItems",
                                   [&](const std::u16string& name) { return run_item(inf, name); });
}

}  // namespace win::setup_lines
