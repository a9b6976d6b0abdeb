// The logging front end: free functions that format an entry and hand it to the logger named by
// a LogContext.
#pragma once

#include "installer_common/CCmpLog.h"

struct LogContext {
    CCmpLog* log = nullptr;    // not owned
    char16_t prefix[64] = {};  // e.g. "[Pelar]"

    void Set(CCmpLog* logger, const char16_t* text);
    void SetPrefix(const char16_t* text);
};

// The process's context, set by the component that owns the logger.
extern LogContext* g_pLogContext;

// Main log (type 0). The finished text is written as it is: a '%' in it stays a '%'.
void LogMessage(LogContext* context, const char16_t* source_file, int line, const char16_t* format, ...);
// Verbose log with time, file and line (type 1), the context's prefix and a blank before the text.
void LogVerbose(LogContext* context, const char16_t* source_file, int line, const char16_t* format, ...);
// Trace level: writes nothing.
void LogTrace(LogContext* context, const char16_t* source_file, int line, const char16_t* format, ...);
void LogMessageA(LogContext* context, const char* source_file, int line, const char* format, ...);
void LogVerboseA(LogContext* context, const char* source_file, int line, const char* format, ...);
void LogTraceA(LogContext* context, const char* source_file, int line, const char* format, ...);

// Logs entering and leaving a function at trace level.
class FunctionTracker {
public:
    explicit FunctionTracker(const char* function);
    ~FunctionTracker();
    FunctionTracker(const FunctionTracker&) = delete;
    FunctionTracker& operator=(const FunctionTracker&) = delete;

private:
    const char* m_function;
};
