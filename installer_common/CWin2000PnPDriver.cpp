#include "installer_common/CWin2000PnPDriver.h"

#include <algorithm>
#include <vector>

#include "installer_common/SystemUtils.h"
#include "platform/utf16.h"
#include "platform/win_fs.h"
#include "platform/win_library.h"
#include "platform/win_newdev.h"
#include "platform/win_setupapi_inf.h"

using namespace win;

namespace {

constexpr DWORD kFieldChars = 4096;
constexpr DWORD kSectionNameChars = 4096;
constexpr size_t kCatalogChars = 260;

using UpdateDriverFunction = BOOL (*)(HANDLE, const WCHAR*, const WCHAR*, DWORD, BOOL*);

// The compressed-name twin: ".sys" gives ".sy_", ".in" gives ".in_", no dot gives "._".
CStr CompressedName(const CStr& name)
{
    const size_t dot = name.rfind(u'.');
    CStr twin(name);
    if (dot == CStr::npos)
        twin += u"._";
    else if (name.size() - dot > 3)
        twin.back() = u'_';
    else
        twin += u'_';
    return twin;
}

CStr StringField(const INFCONTEXT& context, DWORD index, DWORD size)
{
    std::vector<char16_t> buffer(size);
    if (!SetupGetStringFieldW(&context, index, buffer.data(), size, nullptr)) return CStr();
    return CStr(buffer.data());
}

// "<system drive>\TVNSYSTEM\pnpdrvs".
CStr StagingFolder()
{
    char16_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return CStr(std::u16string_view(system).substr(0, 2)) + u"\\TVNSYSTEM\\pnpdrvs";
}

}  // namespace

CWin2000PnPDriver::CWin2000PnPDriver(const char16_t* infName, int force) : m_infName(infName), m_force(force ? 1 : 0) {}

CWin2000PnPDriver::~CWin2000PnPDriver() = default;

void CWin2000PnPDriver::AddHardwareId(const char16_t* id)
{
    const CStr text(id);
    if (std::find(m_hardwareIds.begin(), m_hardwareIds.end(), text) == m_hardwareIds.end()) m_hardwareIds.push_back(text);
}

void CWin2000PnPDriver::AddDeviceId(const char16_t* deviceId) { AddHardwareId(BuildHardwareId(deviceId).c_str()); }

void CWin2000PnPDriver::AddFile(const char16_t* name)
{
    const CStr text(name);
    if (text.empty() || std::find(m_stagingFiles.begin(), m_stagingFiles.end(), text) != m_stagingFiles.end()) return;
    m_stagingFiles.push_back(text);
    m_stagingFiles.push_back(CompressedName(text));
}

int CWin2000PnPDriver::StageFiles(const char16_t* folder)
{
    AddFile(m_infName.c_str());
    char16_t pluginFolder[MAX_PATH] = {};
    GetModuleFolder(pluginFolder, MAX_PATH);
    const CStr infPath = CStr(pluginFolder) + u"\\" + m_infName;
    HINF inf = SetupOpenInfFileW(infPath.c_str(), nullptr, INF_STYLE_WIN4, nullptr);

    INFCONTEXT context;
    for (const char16_t* key : {u"CatalogFile", u"CatalogFile.nt", u"CatalogFile.ntx86", u"CatalogFile.ntia64",
                                u"CatalogFile.ntamd64"})
        if (SetupFindFirstLineW(inf, u"Version", key, &context)) AddFile(StringField(context, 1, kCatalogChars).c_str());

    // The sections with a CopyFiles line, in file order.
    std::vector<char16_t> names(kSectionNameChars);
    GetPrivateProfileSectionNamesW(names.data(), kSectionNameChars, infPath.c_str());
    std::vector<CStr> fileLists;
    for (const char16_t* section = names.data(); *section; section += platform::u16_length(section) + 1) {
        if (!SetupFindFirstLineW(inf, section, u"CopyFiles", &context)) continue;
        do {
            const DWORD count = SetupGetFieldCount(&context);
            for (DWORD i = 1; i <= count; ++i) {
                const CStr field = StringField(context, i, kFieldChars);
                INFCONTEXT first;
                if (!field.empty() && field[0] == u'@')
                    AddFile(field.c_str() + 1);
                else if (!field.empty() && SetupFindFirstLineW(inf, field.c_str(), nullptr, &first))
                    fileLists.push_back(field);
            }
        } while (SetupFindNextMatchLineW(&context, u"CopyFiles", &context));
    }
    // Each line of a file list: its source name (field 2), else its destination name (field 1).
    for (const CStr& list : fileLists) {
        if (!SetupFindFirstLineW(inf, list.c_str(), nullptr, &context)) continue;
        do {
            const DWORD count = SetupGetFieldCount(&context);
            CStr name = count >= 2 ? StringField(context, 2, kFieldChars) : CStr();
            if (name.empty() && count >= 1) name = StringField(context, 1, kFieldChars);
            AddFile(name.c_str());
        } while (SetupFindNextLine(&context, &context));
    }

    // The folder's parent is made too: without it nothing could be staged and the update would
    // point the installer at an INF that is not there.
    const CStr staging(folder);
    const size_t cut = staging.find_last_of(u"\\/");
    if (cut != CStr::npos && cut > 0) CreateDirectoryW(staging.substr(0, cut).c_str(), nullptr);
    CreateDirectoryW(folder, nullptr);
    int result = 1;
    for (const CStr& name : m_stagingFiles) {
        const CStr target = CStr(folder) + u"\\" + name;
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!CopyFileW(name.c_str(), target.c_str(), FALSE)) result = 0;
    }
    if (inf != INVALID_HANDLE_VALUE) SetupCloseInfFile(inf);
    return result;
}

int CWin2000PnPDriver::Update(int selective, int alreadyCurrent)
{
    if (m_hardwareIds.empty()) return selective && alreadyCurrent ? 0 : 1;

    char16_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const CStr newdevPath = CStr(system) + u"\\newdev.dll";
    const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HMODULE newdev = LoadLibraryW(newdevPath.c_str());
    SetErrorMode(mode);
    if (!newdev) return 2;
    auto update = reinterpret_cast<UpdateDriverFunction>(GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesW"));
    if (!update) {
        FreeLibrary(newdev);
        return 3;
    }

    const CStr folder = StagingFolder();
    StageFiles(folder.c_str());
    const CStr infPath = folder + u"\\" + m_infName;
    bool failed = false;
    for (const CStr& id : m_hardwareIds) {
        BOOL reboot = FALSE;
        if (!update(nullptr, id.c_str(), infPath.c_str(), m_force ? INSTALLFLAG_FORCE : 0, &reboot)) failed = true;
        m_rebootFlags |= reboot;
    }
    FreeLibrary(newdev);
    return failed ? 4 : 0;
}
