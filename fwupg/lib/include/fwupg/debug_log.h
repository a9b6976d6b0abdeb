// The library's debug outputs: a levelled log file, on only while a file name is set, and the
// debug channel (off unless switched on). Both format into one shared buffer under one lock.
//
// A log-file line: "M/D/YYYY HH:MM:SS.mmm LEVEL-NAME pid.tid message\r\n", the level name padded
// to 11 characters. The file is opened and closed for every line, so the log survives a crash up to
// its last line and may be removed between lines.
#pragma once

#include "fwupg/sync_objects.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
class DebugChannel;
}

// Level bits; the first set bit in this order names the line.
enum DebugLevel : uint8_t {
    DBG_INFORMATION = 1,
    DBG_WARNING = 2,
    DBG_DEBUG = 4,
    DBG_DIAG_ERROR = 16,
};

// Writes one line to the debug-log file (nothing, and no lock taken, while no file is named).
void LogDebugMsg(uint8_t level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Writes "CIM Provider pid.tid: message\r\n" to the debug channel while the channel is switched on.
void LogDebugString(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

namespace fwupg {

// Local time as the log shows it.
struct DebugTime {
    int year = 0, month = 0, day = 0;  // month 1-12
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Where the log takes its time and ids from; tests inject fixed ones.
struct DebugLogSource {
    std::function<DebugTime()> now;
    std::function<unsigned long()> process_id;
    std::function<unsigned long()> thread_id;
    // The machine's local clock, getpid() and the kernel thread id.
    static DebugLogSource System();
};

// The 11-character name of a level ("" when no known bit is set).
const char* DebugLevelName(unsigned level);

class DebugLog {
public:
    static constexpr size_t kFileNameSize = 260;     // bytes, with the terminator
    static constexpr size_t kBufferSize = 2097152;   // shared formatting buffer

    // `channel` null: the process's platform debug channel at each call.
    DebugLog(CSyncObject& lock, DebugLogSource source, platform::DebugChannel* channel = nullptr);
    ~DebugLog();
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    // Names the log file; empty turns the file log off. A name that does not fit 259 bytes or
    // holds a NUL is refused (false) and the current name is kept.
    bool SetFileName(std::string_view name);
    std::string FileName() const;

    void SetChannelEnabled(bool on) { channel_on_.store(on); }
    bool ChannelEnabled() const { return channel_on_.load(); }

    void WriteV(uint8_t level, const char* fmt, va_list ap) noexcept;
    void ChannelV(const char* suffix, const char* fmt, va_list ap) noexcept;

private:
    // Formats into the shared buffer (lock held); returns the message length or -1.
    long FormatLocked(const char* fmt, va_list ap);
    // The head, the formatted message of `length` bytes in the shared buffer, and CR LF.
    std::string Line(const char* head, size_t headLength, long length) const;

    CSyncObject& lock_;
    DebugLogSource source_;
    platform::DebugChannel* channel_;
    std::atomic<bool> file_on_{false};
    std::atomic<bool> channel_on_{false};
    char file_name_[kFileNameSize] = {};
    std::unique_ptr<char[]> buffer_;  // allocated at first use
};

// The process-wide log behind LogDebugMsg and LogDebugString, guarded by g_DebugLogLock.
DebugLog& GetDebugLog();

}  // namespace fwupg

extern fwupg::CCriticalSection g_DebugLogLock;
