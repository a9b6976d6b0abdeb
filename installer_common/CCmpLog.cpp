#include "installer_common/CCmpLog.h"

#include <cstring>

#include "installer_common/LogSupport.h"
#include "platform/msvc_format.h"
#include "platform/utf16.h"
#include "platform/win_codepage.h"
#include "platform/win_env.h"
#include "platform/win_file.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"

using namespace win;

namespace {

constexpr const char16_t* kDefaultFolder = u"%systemdrive%\\tvnsystem\\log\\";
constexpr const char16_t* kMainLogName = u"tvnsetup.log";
constexpr const char16_t* kRule = u"===========================================================================";

const char16_t* SeverityPrefix(int severity)
{
    switch (severity) {
    case 1: return u"**WARNING** - ";
    case 2: return u"**ERROR** - ";
    case 3: return u"**CRITICAL** - ";
    default: return u"";
    }
}

// "%s%s" of folder and name, or empty when it does not fit 260 characters.
std::u16string JoinPath(const char16_t* folder, const char16_t* name)
{
    std::u16string path = std::u16string(platform::u16_view(folder)) + std::u16string(platform::u16_view(name));
    return path.size() < MAX_PATH ? path : std::u16string();
}

bool ExpandFolder(const char16_t* text, char16_t (&out)[260])
{
    DWORD needed = ExpandEnvironmentStringsW(text, nullptr, 0);
    if (needed > 260) return false;
    ExpandEnvironmentStringsW(text, out, 260);
    return true;
}

LogFileRecord EmptyRecord()
{
    LogFileRecord r;
    std::memset(&r, 0, sizeof r);
    r.file = INVALID_HANDLE_VALUE;
    return r;
}

}  // namespace

CCmpLog::CCmpLog(const char16_t* name, const char16_t* folder)
{
    if (!folder || !*folder) folder = kDefaultFolder;
    LogFileRecord main = EmptyRecord();
    if (!ExpandFolder(kDefaultFolder, main.folder)) {
        m_error = kPathTooLong;
        return;
    }
    platform::copy_utf16(kMainLogName, main.name, 256);
    m_records.push_back(main);
    LogFileRecord verbose = EmptyRecord();
    if (!ExpandFolder(folder, verbose.folder)) {
        m_error = kPathTooLong;
        return;
    }
    if (name && *name)
        platform::copy_utf16(platform::u16_view(name), verbose.name, 256);
    else
        MakeTempLogName(u"_DZ", verbose.name, 256);
    m_records.push_back(verbose);
}

CCmpLog::~CCmpLog()
{
    // The files are closed here too: an owner that never calls Close must not leak them.
    for (auto& r : m_records) CloseRecord(r);
}

LogFileRecord* CCmpLog::MainRecord() { return m_records.size() > 0 ? &m_records[0] : nullptr; }

LogFileRecord* CCmpLog::VerboseRecord() { return m_records.size() > 1 ? &m_records[1] : nullptr; }

const char16_t* CCmpLog::GetVerboseLogName() const { return m_records.size() > 1 ? m_records[1].name : nullptr; }

const char16_t* CCmpLog::GetVerboseLogFolder() const { return m_records.size() > 1 ? m_records[1].folder : nullptr; }

void CCmpLog::SetVerbose(int flag) { m_verbose = flag; }

bool CCmpLog::OpenRecord(LogFileRecord& r)
{
    CloseRecord(r);
    CreateDirectoryPath(r.folder);
    std::u16string path = JoinPath(r.folder, r.name);
    if (path.empty()) return false;
    // Append-only access: every write lands at the current end of the file, even when other
    // processes append to the same log at the same time.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    r.file = h;
    r.open = 1;
    return true;
}

bool CCmpLog::CloseRecord(LogFileRecord& r)
{
    if (!r.open) return true;
    bool ok = CloseHandle(r.file) != FALSE;
    r.file = INVALID_HANDLE_VALUE;
    r.open = 0;
    return ok;
}

int CCmpLog::Open()
{
    if (m_verbose) {
        if (LogFileRecord* v = VerboseRecord(); v && !OpenRecord(*v)) return kOpenFailed;
    }
    if (LogFileRecord* m = MainRecord(); m && !OpenRecord(*m)) return kOpenFailed;
    return kOk;
}

int CCmpLog::Close()
{
    bool ok = true;
    for (auto& r : m_records) ok = CloseRecord(r) && ok;
    return ok ? kOk : kCloseFailed;
}

void CCmpLog::Append(HANDLE file, const std::u16string& text)
{
    if (file == INVALID_HANDLE_VALUE || text.empty()) return;
    std::string bytes;
    if (!platform::to_code_page(text, CP_ACP, bytes)) return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);  // write errors are ignored
}

void CCmpLog::WriteText(HANDLE file, const char16_t* format, va_list args)
{
    // The formatter returns the whole text at once, so there is no grow-and-retry loop to bound.
    Append(file, platform::vformat_msvc(format, args));
}

void CCmpLog::WriteFormat(HANDLE file, const char16_t* format, ...)
{
    va_list ap;
    va_start(ap, format);
    WriteText(file, format, ap);
    va_end(ap);
}

void CCmpLog::Write(int type, int severity, const char16_t* source_file, int line, const char16_t* format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::u16string text = platform::vformat_msvc(format, ap);
    va_end(ap);

    // Prefix and text go out in one write, so entries of other threads or processes never land
    // between them.
    LogFileRecord* main = MainRecord();
    if ((type == 0 || type == 3 || type == 4) && main && main->open)
        Append(main->file, SeverityPrefix(severity) + text);

    LogFileRecord* verbose = VerboseRecord();
    if (type >= 1 && type <= 4 && m_verbose && verbose && verbose->open) {
        std::u16string prefix;
        if (type == 1 || type == 3) {
            if (severity >= 0 && severity <= 3) {
                char16_t time[64];
                GetTimeString(time, 64);
                prefix = platform::format_msvc(u"[%s]::%s[%d] ", time, source_file ? FileTitleOf(source_file) : u"",
                                               line) +
                         SeverityPrefix(severity);
            }
        } else {
            prefix = SeverityPrefix(severity);
        }
        Append(verbose->file, prefix + text);
    }
}

void CCmpLog::BeginSession()
{
    char16_t source[MAX_PATH] = {};
    char16_t version[32] = {};
    char16_t date[255] = {};
    GetModuleFileTitle(source);
    GetModuleVersionString(version, 32);
    GetDateTimeString(date, 255);
    LogFileRecord* verbose = VerboseRecord();
    if (m_verbose && verbose && verbose->open)
        WriteFormat(verbose->file,
                    u"%s\r\nSource:          %s\r\nVersion:         %s\r\nStub Version:    %s\r\nLog Date:        "
                    u"%s\r\n\r\nVerbose Log Session Start ...\r\n\r\n",
                    kRule, source, version, m_stubVersion, date);
    LogFileRecord* main = MainRecord();
    if (main && main->open)
        WriteFormat(main->file,
                    u"%s\r\nSource:          %s\r\nVersion:         %s\r\nLog Date:        %s\r\n\r\nLog Session "
                    u"Start...\r\n\r\n",
                    kRule, source, version, date);
}

void CCmpLog::EndSession(int return_code)
{
    char16_t time[64];
    GetTimeString(time, 64);
    const char16_t* format = u"\r\n\r\nLog Session End. [%s]\r\nReturn Code (%d)\r\n%s\r\n\r\n";
    LogFileRecord* verbose = VerboseRecord();
    if (m_verbose && verbose && verbose->open) WriteFormat(verbose->file, format, time, return_code, kRule);
    LogFileRecord* main = MainRecord();
    if (main && main->open) WriteFormat(main->file, format, time, return_code, kRule);
}

void CCmpLog::RelocateVerboseLog(const char16_t* new_name, const char16_t* new_folder)
{
    LogFileRecord* r = VerboseRecord();
    if (!r || !new_name || !*new_name) return;
    if (!new_folder) new_folder = u"";
    if (platform::u16_view(new_name) == platform::u16_view(r->name) &&
        platform::u16_view(new_folder) == platform::u16_view(r->folder))
        return;
    std::u16string new_path = JoinPath(new_folder, new_name);
    std::u16string old_path = JoinPath(r->folder, r->name);
    if (new_path.empty() || old_path.empty()) return;

    auto store_names = [&] {
        platform::copy_utf16(platform::u16_view(new_name), r->name, 256);
        platform::copy_utf16(platform::u16_view(new_folder), r->folder, 260);
    };

    if (!PathExists(new_path.c_str())) {
        bool was_open = r->open;
        CloseRecord(*r);
        if (MoveFileW(old_path.c_str(), new_path.c_str())) store_names();
        // Reopen whichever file the record names now: after a failed rename that is the old
        // log, so verbose logging goes on where it was.
        if (was_open) {
            std::u16string path = JoinPath(r->folder, r->name);
            HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                r->file = h;
                r->open = 1;
            }
        }
        return;
    }
    if (!r->open) return;

    HANDLE target = CreateFileW(new_path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) return;
    std::string contents;
    bool ok = SetFilePointer(r->file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    char buf[65536];
    DWORD got = 0;
    while (ok && (ok = ReadFile(r->file, buf, sizeof buf, &got, nullptr) != FALSE) && got > 0) contents.append(buf, got);
    DWORD written = 0;
    // Keep the old log when it cannot be read, is empty, or could not be copied whole.
    if (!ok || contents.empty() || contents.size() > 0xFFFFFFFFu ||
        !WriteFile(target, contents.data(), DWORD(contents.size()), &written, nullptr) ||
        written != contents.size()) {
        CloseHandle(target);
        return;
    }
    CloseRecord(*r);
    DeleteFileW(old_path.c_str());
    r->file = target;
    r->open = 1;
    store_names();
}
