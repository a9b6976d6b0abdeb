#include "installer_common/Log.h"

#include <cstdarg>
#include <string>

#include "platform/msvc_format.h"
#include "platform/utf16.h"

LogContext* g_pLogContext = nullptr;

namespace {

// An entry's text holds at most 1023 characters. A longer one is cut there (never inside a
// surrogate pair) and keeps its closing line end, so the log stays one entry a line.
constexpr size_t kMaxEntry = 1023;

std::u16string Bounded(std::u16string text)
{
    if (text.size() <= kMaxEntry) return text;
    bool line_end = text.size() >= 2 && text.compare(text.size() - 2, 2, u"\r\n") == 0;
    size_t keep = line_end ? kMaxEntry - 2 : kMaxEntry;
    if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    text.resize(keep);
    if (line_end) text += u"\r\n";
    return text;
}

void Emit(LogContext* context, int type, const char16_t* source_file, int line, std::u16string text)
{
    if (!context || !context->log) return;
    if (type == 1) text = std::u16string(platform::u16_view(context->prefix)) + u" " + text;
    text = Bounded(std::move(text));
    context->log->Write(type, 0, source_file, line, u"%s", text.c_str());
}

void EmitWide(LogContext* context, int type, const char16_t* source_file, int line, const char16_t* format,
              va_list ap)
{
    Emit(context, type, source_file, line, platform::vformat_msvc(format, ap));
}

void EmitNarrow(LogContext* context, int type, const char* source_file, int line, const char* format, va_list ap)
{
    std::string narrow = platform::vformat_msvc(format, ap);
    if (narrow.size() > kMaxEntry) {
        size_t keep = kMaxEntry;
        while (keep > 0 && (static_cast<unsigned char>(narrow[keep]) & 0xC0) == 0x80) --keep;
        narrow.resize(keep);
    }
    char16_t file[260] = {};
    if (source_file) platform::to_utf16(source_file, file, 260);
    Emit(context, type, source_file ? file : nullptr, line, platform::to_utf16(narrow));
}

}  // namespace

void LogContext::Set(CCmpLog* logger, const char16_t* text)
{
    log = logger;
    SetPrefix(text);
}

void LogContext::SetPrefix(const char16_t* text) { platform::copy_utf16(platform::u16_view(text), prefix, 64); }

void LogMessage(LogContext* context, const char16_t* source_file, int line, const char16_t* format, ...)
{
    va_list ap;
    va_start(ap, format);
    EmitWide(context, 0, source_file, line, format, ap);
    va_end(ap);
}

void LogVerbose(LogContext* context, const char16_t* source_file, int line, const char16_t* format, ...)
{
    va_list ap;
    va_start(ap, format);
    EmitWide(context, 1, source_file, line, format, ap);
    va_end(ap);
}

void LogTrace(LogContext*, const char16_t*, int, const char16_t*, ...) {}

void LogMessageA(LogContext* context, const char* source_file, int line, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    EmitNarrow(context, 0, source_file, line, format, ap);
    va_end(ap);
}

void LogVerboseA(LogContext* context, const char* source_file, int line, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    EmitNarrow(context, 1, source_file, line, format, ap);
    va_end(ap);
}

void LogTraceA(LogContext*, const char*, int, const char*, ...) {}

FunctionTracker::FunctionTracker(const char* function) : m_function(function)
{
    LogTrace(g_pLogContext, u"FunctionTracker", 26, u"Entering function %hs.\r\n", m_function);
}

FunctionTracker::~FunctionTracker()
{
    LogTrace(g_pLogContext, u"FunctionTracker", 31, u"Exiting function %hs.\r\n", m_function);
}
