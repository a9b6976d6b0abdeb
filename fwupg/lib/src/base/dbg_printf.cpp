// The engines' debug print. The text is formatted here and handed on as data ("%s"), so a percent
// sign in it is never read as a directive again. Short texts are formatted on the stack; a longer
// one (listings, dumps) is formatted again into a buffer of its size and emitted whole.
#include "fwupg/debug_log.h"
#include "fwupg/host_ops.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

namespace {

constexpr size_t kLineSize = 528;

void emit(const char* fmt, va_list ap) noexcept
{
    if (!fmt || !fwupg::GetDebugLog().ChannelEnabled()) return;
    va_list again;
    va_copy(again, ap);
    char line[kLineSize];
    int n = std::vsnprintf(line, sizeof line, fmt, ap);
    if (n >= 0 && static_cast<size_t>(n) < sizeof line) {
        LogDebugString("%s", line);
    } else if (n >= 0) {
        std::unique_ptr<char[]> big(new (std::nothrow) char[static_cast<size_t>(n) + 1]);
        if (big) {
            std::vsnprintf(big.get(), static_cast<size_t>(n) + 1, fmt, again);
            LogDebugString("%s", big.get());
        } else {
            LogDebugString("%s", line);  // no memory for the whole text: its start is better than nothing
        }
    }
    va_end(again);
}

}  // namespace

extern "C" void fwupg_dbg_printf(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit(fmt, ap);
    va_end(ap);
}

extern "C" void fwupg_dbg_printf_ex(int, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit(fmt, ap);
    va_end(ap);
}
