// The plug-in's logger: a main log ("%systemdrive%\tvnsystem\log\tvnsetup.log"), always, and a
// verbose log when verbose logging is on. Both are text in the system ANSI code page, shared for
// reading and writing, and only ever appended to.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/win_types.h"

struct LogFileRecord {
    char16_t folder[260];  // ends with a backslash as built
    char16_t name[256];
    int open;
    win::HANDLE file;
};

class CCmpLog {
public:
    // Entry types: 0 main log; 1 verbose log with time, file and line; 2 verbose log; 3 both,
    // the verbose one with time, file and line; 4 both.
    // Severities: 0 none, 1 warning, 2 error, 3 critical.
    enum Error { kOk = 0, kCloseFailed = 102, kOpenFailed = 103, kPathTooLong = 104 };

    // `name` and `folder` of the verbose log; NULL or empty: a generated "_DZ" name and the main
    // log's folder. A folder that expands to more than 260 characters sets error 104.
    CCmpLog(const char16_t* name, const char16_t* folder);
    virtual ~CCmpLog();

    virtual int Open();
    virtual int Close();
    virtual void BeginSession();
    virtual void Write(int type, int severity, const char16_t* source_file, int line, const char16_t* format, ...);
    virtual void EndSession(int return_code);
    virtual void SetVerbose(int flag);

    void WriteText(win::HANDLE file, const char16_t* format, va_list args);
    void WriteFormat(win::HANDLE file, const char16_t* format, ...);
    // Moves the verbose log to `new_folder` + `new_name`: a rename when nothing is there yet, else
    // its contents are appended to the file there and the old file is deleted. Virtual, like every
    // operation that touches the files, because the plug-in calls it on the logger a host hands
    // over: each module keeps its own table of file handles, so the host's code must do it.
    virtual void RelocateVerboseLog(const char16_t* new_name, const char16_t* new_folder);

    int IsVerbose() const { return m_verbose; }
    int GetErrorCode() const { return m_error; }
    // NULL when the record could not be built.
    const char16_t* GetVerboseLogName() const;
    const char16_t* GetVerboseLogFolder() const;

private:
    LogFileRecord* MainRecord();
    LogFileRecord* VerboseRecord();
    bool OpenRecord(LogFileRecord& record);
    bool CloseRecord(LogFileRecord& record);
    void Append(win::HANDLE file, const std::u16string& text);

    const char16_t* m_stubVersion = u"";
    int m_error = 0;
    std::vector<LogFileRecord> m_records;
    int m_verbose = 0;
};
