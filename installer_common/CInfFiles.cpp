// The installing side of CInf that works on files: destination folders, the file-list sections
// (copy, delete, rename) with their fallbacks for files in use, and the folder helpers.
#include <cstdio>
#include <functional>
#include <vector>

#include "installer_common/CInf.h"
#include "platform/utf16.h"
#include "platform/win_env.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_setupapi_install.h"

using namespace win;

namespace {

constexpr DWORD kFolderFieldChars = 260;
constexpr DWORD kKeyChars = 512;
constexpr DWORD kNameChars = 256;
constexpr DWORD kListNameChars = 512;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_USER_MAPPED_FILE = 1224;

CStr Field(const INFCONTEXT& context, DWORD index, DWORD size)
{
    std::vector<char16_t> buffer(size);
    if (!SetupGetStringFieldW(&context, index, buffer.data(), size, nullptr)) return CStr();
    return CStr(buffer.data());
}

bool IntField(const INFCONTEXT& context, DWORD index, int* value)
{
    INT v = 0;
    if (!SetupGetIntField(&context, index, &v)) return false;
    *value = v;
    return true;
}

bool EndsWithSeparator(const CStr& s) { return !s.empty() && (s.back() == u'\\' || s.back() == u'/'); }

// `folder` + "\" + `name`, without doubling a separator.
CStr Join(const CStr& folder, const CStr& name)
{
    if (folder.empty() || EndsWithSeparator(folder) || (!name.empty() && (name[0] == u'\\' || name[0] == u'/')))
        return folder + name;
    return folder + u"\\" + name;
}

// Errors of a file that another program holds: the operation waits for the restart.
bool InUse(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

CStr CInf::GetDirIdPath(int dirId) { return CStr(platform::setup_dirid_folder(dirId).c_str()); }

int CInf::ReadDestinationDirs()
{
    if (!m_destinations.empty()) return 1;
    INFCONTEXT context;
    if (!IsOpen() || !SetupFindFirstLineW(m_inf, u"DestinationDirs", nullptr, &context)) return 0;
    do {
        CStr folder;
        const DWORD count = SetupGetFieldCount(&context);
        for (DWORD i = 1; i <= count; ++i) {
            int dirId = 0;
            const CStr piece = IntField(context, i, &dirId) ? GetDirIdPath(dirId) : Field(context, i, kFolderFieldChars);
            folder = Join(folder, piece);
        }
        if (folder.empty()) continue;
        m_destinations.push_back(Field(context, 0, kKeyChars));
        m_destinations.push_back(folder);
    } while (SetupFindNextLine(&context, &context));
    return !m_destinations.empty();
}

int CInf::GetDestinationDir(const char16_t* section, CStr& folder)
{
    folder.clear();
    if (m_destinations.size() == 2) {
        folder = m_destinations[1];
        return 1;
    }
    const CStr wanted(section);
    for (const char16_t* key : {wanted.c_str(), u"DefaultDestDir"})
        for (size_t i = 0; i + 1 < m_destinations.size(); i += 2)
            if (m_destinations[i] == key) {
                folder = m_destinations[i + 1];
                return 1;
            }
    return 0;
}

int CInf::CreateDirectoryTree(const char16_t* folder)
{
    if (!folder || !*folder) return 0;
    if (CreateDirectoryW(folder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return 0;
    CStr parent(folder);
    if (EndsWithSeparator(parent)) parent.pop_back();
    const size_t cut = parent.find_last_of(u"\\/");
    // A path without a separator has no parent to make.
    if (cut == CStr::npos) return 1;
    parent.resize(cut);
    if (parent.empty() || !CreateDirectoryTree(parent.c_str())) return 0;
    return CreateDirectoryW(folder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

int CInf::CreateParentFolder(const char16_t* filePath)
{
    const CStr path(filePath);
    const size_t cut = path.find_last_of(u"\\/");
    if (cut == CStr::npos || cut == 0) return 1;
    return CreateDirectoryTree(path.substr(0, cut).c_str());
}

int CInf::CopyOneFile(const char16_t* source, CStr& tempPath)
{
    const CStr path(source);
    const size_t cut = path.find_last_of(u"\\/");
    const CStr name = cut == CStr::npos ? path : CStr(path.substr(cut + 1));
    const size_t dot = name.rfind(u'.');
    const CStr base = dot == CStr::npos ? name : CStr(name.substr(0, dot));
    const CStr extension = dot == CStr::npos ? CStr() : CStr(name.substr(dot));

    CStr folder = CStr(platform::environment_value(u"TMP").value_or(u""));
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        folder = cut == CStr::npos ? CStr() : CStr(path.substr(0, cut));
    // The first free name: base name, a number, the extension.
    for (unsigned n = 1; n < 0x10000; ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "%u", n);
        CStr candidate = Join(folder, base + platform::to_utf16(number) + extension);
        if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        tempPath = candidate;
        return CopyFileW(source, candidate.c_str(), FALSE) ? 1 : 0;
    }
    return 0;
}

int CInf::ReplaceAtRestart(const char16_t* source, const char16_t* target)
{
    CStr temp;
    if (!CopyOneFile(source, temp) ||
        !MoveFileExW(temp.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT))
        return 0;
    m_reboot = 1;
    return 1;
}

int CInf::ForEachFileLine(const char16_t* section, const std::function<bool(const INFCONTEXT&, const CStr&)>& line)
{
    CStr folder;
    if (!GetDestinationDir(section, folder)) return 0;
    INFCONTEXT context;
    if (!SetupFindFirstLineW(m_inf, section, nullptr, &context)) return 1;
    do {
        if (!line(context, folder)) return 0;
    } while (SetupFindNextLine(&context, &context));
    return 1;
}

int CInf::CopyFileSection(const char16_t* section)
{
    return ForEachFileLine(section, [&](const INFCONTEXT& context, const CStr& folder) {
        const CStr name = Field(context, 1, kNameChars);
        const CStr target = Join(folder, name);
        if (name.empty() || !CreateParentFolder(target.c_str())) return false;
        CStr sourceName = SetupGetFieldCount(&context) >= 2 ? Field(context, 2, kNameChars) : CStr();
        if (sourceName.empty()) sourceName = name;
        const CStr source = m_folder + sourceName;
        int flags = 0;
        const bool keepExisting = IntField(context, 4, &flags) && (flags == 0x10 || flags == 0x10000);
        if (CopyFileW(source.c_str(), target.c_str(), keepExisting ? TRUE : FALSE)) return true;
        const DWORD error = GetLastError();
        if (InUse(error) || error == ERROR_USER_MAPPED_FILE) return ReplaceAtRestart(source.c_str(), target.c_str()) != 0;
        return error == ERROR_FILE_EXISTS && keepExisting;
    });
}

int CInf::DeleteFileSection(const char16_t* section)
{
    return ForEachFileLine(section, [&](const INFCONTEXT& context, const CStr& folder) {
        const CStr name = Field(context, 1, kListNameChars);
        if (name.empty()) return false;
        const CStr path = Join(folder, name);
        auto deleteAtRestart = [&] {
            if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
            m_reboot = 1;
            return true;
        };
        int flags = 0;
        if (IntField(context, 4, &flags) && (flags == 1 || flags == 0x10000)) return deleteAtRestart();
        if (DeleteFileW(path.c_str())) return true;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || (InUse(error) && deleteAtRestart());
    });
}

int CInf::RenameFileSection(const char16_t* section)
{
    return ForEachFileLine(section, [&](const INFCONTEXT& context, const CStr& folder) {
        if (SetupGetFieldCount(&context) != 2) return false;
        const CStr newPath = Join(folder, Field(context, 1, kNameChars));
        const CStr oldPath = Join(folder, Field(context, 2, kNameChars));
        if (MoveFileW(oldPath.c_str(), newPath.c_str())) return true;
        if (!InUse(GetLastError()) ||
            !MoveFileExW(oldPath.c_str(), newPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT))
            return false;
        m_reboot = 1;
        return true;
    });
}

int CInf::ProcessFileLists(const char16_t* section, const char16_t* key, int (CInf::*process)(const char16_t*))
{
    if (!ReadDestinationDirs()) return 0;
    int result = 1;
    INFCONTEXT context;
    if (!section || !SetupFindFirstLineW(m_inf, section, key, &context)) return 1;
    do {
        const DWORD count = SetupGetFieldCount(&context);
        for (DWORD i = 1; i <= count; ++i) {
            const CStr list = Field(context, i, kListNameChars);
            if (SetupGetLineCountW(m_inf, list.c_str()) < 0) continue;  // no such section: nothing to do
            if (!(this->*process)(list.c_str())) result = 0;
        }
    } while (SetupFindNextMatchLineW(&context, key, &context));
    return result;
}

int CInf::ProcessCopyFiles(const char16_t* section) { return ProcessFileLists(section, u"CopyFiles", &CInf::CopyFileSection); }
int CInf::ProcessDelFiles(const char16_t* section) { return ProcessFileLists(section, u"DelFiles", &CInf::DeleteFileSection); }
int CInf::ProcessRenFiles(const char16_t* section) { return ProcessFileLists(section, u"RenFiles", &CInf::RenameFileSection); }
