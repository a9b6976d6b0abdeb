#include "installer_common/CInf.h"

#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/utf16.h"

using namespace win;

namespace {

constexpr DWORD kVersionChars = 4096;
constexpr DWORD kSectionNameChars = 16384;
constexpr size_t kPathChars = 260;
constexpr DWORD kFieldChars = 256;

bool IsAbsolute(const std::u16string& p)
{
    if (p.size() >= 2 && p[1] == u':') return true;
    return !p.empty() && (p[0] == u'\\' || p[0] == u'/');
}

// The path made absolute against the current folder, at most 260 characters.
CStr FullPath(const char16_t* path)
{
    std::u16string p(platform::u16_view(path));
    if (!IsAbsolute(p)) {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd)) p = platform::to_utf16(cwd) + u"/" + p;
    }
    if (p.size() > kPathChars - 1) p.resize(kPathChars - 1);
    return CStr(p);
}

// Shared by every CInf of the process (one install at a time).
struct InstallState {
    std::vector<std::u16string> fileErrors;
    int fileErrorFlag = 0;
    int ignoreDeleteErrors = 0;
    int mediaRequests = 0;
};

InstallState& State()
{
    static InstallState state;
    return state;
}

}  // namespace

const std::vector<std::u16string>& CInf::GetFileErrors() { return State().fileErrors; }
int CInf::GetFileErrorFlag() { return State().fileErrorFlag; }
void CInf::ClearFileErrors() { State().fileErrors.clear(); }
void CInf::ResetMediaRequests() { State().mediaRequests = 0; }
void CInf::SetIgnoreDeleteErrors(int ignore) { State().ignoreDeleteErrors = ignore; }

unsigned CInf::FileQueueCallback(void* context, unsigned notification, uintptr_t param1, uintptr_t)
{
    InstallState& state = State();
    const auto* paths = reinterpret_cast<const FILEPATHS_W*>(param1);
    auto text = [](const WCHAR* s) { return std::u16string(platform::u16_view(s)); };
    switch (notification) {
    case SPFILENOTIFY_DELETEERROR:
        if (!state.ignoreDeleteErrors) {
            state.fileErrors.push_back(u"File Delete Error: " + (paths ? text(paths->Target) : std::u16string()));
            state.fileErrorFlag = 1;
        }
        return FILEOP_SKIP;
    case SPFILENOTIFY_COPYERROR:
        state.fileErrors.push_back(u"File Copy Error: " + (paths ? text(paths->Source) : std::u16string()) + u" --> " +
                                   (paths ? text(paths->Target) : std::u16string()));
        state.fileErrorFlag = 1;
        return FILEOP_SKIP;
    case SPFILENOTIFY_NEEDMEDIA:
        // The first request is answered; asking again means the media is not there.
        if (++state.mediaRequests == 1) return FILEOP_DOIT;
        state.fileErrorFlag = 1;
        return FILEOP_SKIP;
    case SPFILENOTIFY_FILEOPDELAYED:
        if (context) static_cast<CInf*>(context)->m_reboot = 1;
        return FILEOP_DOIT;
    default:
        return FILEOP_DOIT;
    }
}

CInf::CInf(const char16_t* path)
{
    State().fileErrorFlag = 0;
    State().ignoreDeleteErrors = 0;
    m_path = FullPath(path);
    const size_t cut = m_path.find_last_of(u"\\/");
    m_folder = CStr(std::u16string_view(m_path).substr(0, cut == CStr::npos ? 0 : cut + 1));
    m_inf = SetupOpenInfFileW(m_path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ReadVersion();
}

CInf::~CInf()
{
    if (m_inf != INVALID_HANDLE_VALUE) SetupCloseInfFile(m_inf);
}

int CInf::IsOpen() { return m_inf != INVALID_HANDLE_VALUE; }

const char16_t* CInf::GetSignature() { return m_signature.empty() ? nullptr : m_signature.c_str(); }
const char16_t* CInf::GetClass() { return m_class.empty() ? nullptr : m_class.c_str(); }
const char16_t* CInf::GetClassGuid() { return m_classGuid.empty() ? nullptr : m_classGuid.c_str(); }

int CInf::ReadVersion()
{
    if (!IsOpen()) return 0;
    struct Key {
        const char16_t* name;
        CStr* out;
    };
    const Key keys[] = {{u"Signature", &m_signature}, {u"Class", &m_class}, {u"ClassGUID", &m_classGuid}};
    std::vector<char16_t> buffer(kVersionChars);
    int result = 0;
    // Each key is read only when the one before it was found.
    for (const Key& k : keys) {
        result = SetupGetLineTextW(nullptr, m_inf, u"Version", k.name, buffer.data(), kVersionChars, nullptr);
        if (!result) break;
        *k.out = CStr(buffer.data());
    }
    FindCopyFilesSections();
    FindAddServiceSections();
    FindSoftwareSettingsSections();
    return result;
}

std::vector<CStr> CInf::SectionNames() const
{
    std::vector<char16_t> buffer(kSectionNameChars);
    std::vector<CStr> names;
    GetPrivateProfileSectionNamesW(buffer.data(), kSectionNameChars, m_path.c_str());
    for (const char16_t* p = buffer.data(); *p; p += platform::u16_length(p) + 1) names.emplace_back(p);
    return names;
}

std::vector<CStr> CInf::SectionsWithKey(const char16_t* key) const
{
    std::vector<CStr> out;
    if (m_inf == INVALID_HANDLE_VALUE) return out;
    for (const CStr& name : SectionNames()) {
        INFCONTEXT context;
        if (SetupFindFirstLineW(m_inf, name.c_str(), key, &context)) out.push_back(name);
    }
    return out;
}

int CInf::FindCopyFilesSections()
{
    for (CStr& s : SectionsWithKey(u"CopyFiles")) m_copyFiles.push_back(s);
    return 1;
}

int CInf::FindAddServiceSections()
{
    for (CStr& s : SectionsWithKey(u"AddService")) m_addService.push_back(s);
    return 1;
}

int CInf::FindSoftwareSettingsSections()
{
    if (m_inf == INVALID_HANDLE_VALUE) return 1;
    for (const CStr& name : SectionNames())
        if (name.FindNoCase(u".SoftwareSettings") >= 0) m_softwareSettings.push_back(name);
    return 1;
}

int CInf::FindAddServiceLine(const char16_t* section, INFCONTEXT* context)
{
    if (!IsOpen()) return 0;
    if (!section) {
        if (m_addService.empty()) return 0;
        section = m_addService.front().c_str();
    }
    return SetupFindFirstLineW(m_inf, section, u"AddService", context);
}

int CInf::GetServiceName(const char16_t* section, char16_t* buffer, size_t size)
{
    INFCONTEXT context;
    if (!buffer || !FindAddServiceLine(section, &context)) return 0;
    return SetupGetStringFieldW(&context, 1, buffer, DWORD(size), nullptr);
}

int CInf::GetServiceStartType(const char16_t* section, int* startType)
{
    INFCONTEXT context;
    if (!startType || !FindAddServiceLine(section, &context)) return 0;
    char16_t install[kFieldChars] = {};
    if (!SetupGetStringFieldW(&context, 3, install, kFieldChars, nullptr)) return 0;
    INFCONTEXT start;
    if (!SetupFindFirstLineW(m_inf, install, u"StartType", &start)) return 0;
    INT value = 0;
    if (!SetupGetIntField(&start, 1, &value)) return 0;
    *startType = value;
    return 1;
}
