#include "fwupg/debug_log.h"

#include "platform/debug_channel.h"
#include "platform/safe_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <unistd.h>

fwupg::CCriticalSection g_DebugLogLock;

namespace fwupg {

const char* DebugLevelName(unsigned level)
{
    if (level & DBG_INFORMATION) return "INFORMATION";
    if (level & DBG_WARNING) return "WARNING    ";
    if (level & DBG_DEBUG) return "DEBUG      ";
    if (level & DBG_DIAG_ERROR) return "DIAG_ERROR ";
    return "";
}

DebugLogSource DebugLogSource::System()
{
    DebugLogSource s;
    s.now = [] {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        tm local{};
        localtime_r(&ts.tv_sec, &local);
        DebugTime t;
        t.year = local.tm_year + 1900;
        t.month = local.tm_mon + 1;
        t.day = local.tm_mday;
        t.hour = local.tm_hour;
        t.minute = local.tm_min;
        t.second = local.tm_sec;
        t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
        return t;
    };
    s.process_id = [] { return static_cast<unsigned long>(getpid()); };
    s.thread_id = [] { return static_cast<unsigned long>(gettid()); };
    return s;
}

DebugLog::DebugLog(CSyncObject& lock, DebugLogSource source, platform::DebugChannel* channel)
    : lock_(lock), source_(std::move(source)), channel_(channel)
{
}

DebugLog::~DebugLog() = default;

bool DebugLog::SetFileName(std::string_view name)
{
    if (name.size() >= kFileNameSize || name.find('\0') != std::string_view::npos) return false;
    SyncLock hold(lock_);
    std::memcpy(file_name_, name.data(), name.size());
    file_name_[name.size()] = '\0';
    file_on_.store(!name.empty());
    return true;
}

std::string DebugLog::FileName() const
{
    SyncLock hold(lock_);
    return file_name_;
}

long DebugLog::FormatLocked(const char* fmt, va_list ap)
{
    if (!buffer_) {
        buffer_.reset(new (std::nothrow) char[kBufferSize]);
        if (!buffer_) return -1;
    }
    int n = std::vsnprintf(buffer_.get(), kBufferSize, fmt, ap);
    if (n < 0) return -1;
    // A longer message keeps its first kBufferSize - 1 characters.
    return std::min<long>(n, static_cast<long>(kBufferSize) - 1);
}

std::string DebugLog::Line(const char* head, size_t headLength, long length) const
{
    std::string line;
    line.reserve(headLength + static_cast<size_t>(length) + 2);
    line.append(head, headLength);
    line.append(buffer_.get(), static_cast<size_t>(length));
    line.append("\r\n");
    return line;
}

void DebugLog::WriteV(uint8_t level, const char* fmt, va_list ap) noexcept
{
    if (!file_on_.load() || !fmt) return;
    try {
        SyncLock hold(lock_);
        if (!file_name_[0]) return;
        long length = FormatLocked(fmt, ap);
        if (length < 0) return;

        const DebugTime t = source_.now();
        char head[160];
        int head_length = std::snprintf(head, sizeof head, "%d/%d/%d %02d:%02d:%02d.%03d %s %lu.%lu ", t.month,
                                        t.day, t.year, t.hour, t.minute, t.second, t.millisecond,
                                        DebugLevelName(level), source_.process_id(), source_.thread_id());
        if (head_length < 0) return;
        // Never through a link, and only into a regular file: the line is lost otherwise, as it is
        // when the file cannot be opened; logging never fails its caller.
        const int file = platform::open_log_for_append(file_name_);
        if (file < 0) return;
        const std::string line = Line(head, std::min<size_t>(head_length, sizeof head - 1), length);
        platform::write_all(file, line.data(), line.size());  // one write: lines of two processes never mix
        ::close(file);
    } catch (...) {
    }
}

void DebugLog::ChannelV(const char* suffix, const char* fmt, va_list ap) noexcept
{
    if (!fmt || !*fmt || !channel_on_.load()) return;
    try {
        SyncLock hold(lock_);
        long length = FormatLocked(fmt, ap);
        if (length < 0) return;
        char head[96];
        int head_length = std::snprintf(head, sizeof head, "CIM Provider %lu.%lu%s: ", source_.process_id(),
                                        source_.thread_id(), suffix ? suffix : "");
        if (head_length < 0) return;
        const std::string text = Line(head, std::min<size_t>(head_length, sizeof head - 1), length);
        (channel_ ? *channel_ : platform::debug_channel()).output(text);
    } catch (...) {
    }
}

DebugLog& GetDebugLog()
{
    static DebugLog log(g_DebugLogLock, DebugLogSource::System());
    return log;
}

}  // namespace fwupg

void LogDebugMsg(uint8_t level, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fwupg::GetDebugLog().WriteV(level, fmt, ap);
    va_end(ap);
}

void LogDebugString(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fwupg::GetDebugLog().ChannelV("", fmt, ap);
    va_end(ap);
}
