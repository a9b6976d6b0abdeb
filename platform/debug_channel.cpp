#include "platform/debug_channel.h"

#include <cstdio>

namespace platform {

namespace {
DebugChannel* g_installed = nullptr;
}

void StderrDebugChannel::output(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

DebugChannel& debug_channel()
{
    static StderrDebugChannel standard_error;
    return g_installed ? *g_installed : standard_error;
}

DebugChannel* set_debug_channel(DebugChannel* channel)
{
    DebugChannel* previous = g_installed;
    g_installed = channel;
    return previous;
}

}  // namespace platform
