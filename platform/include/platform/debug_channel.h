// The debug channel: text meant for a debugger watching the process. On Linux it goes to standard
// error; tests install a capturing double.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class DebugChannel {
public:
    virtual ~DebugChannel() = default;
    virtual void output(std::string_view text) = 0;
};

// Writes each text unchanged to standard error.
class StderrDebugChannel : public DebugChannel {
public:
    void output(std::string_view text) override;
};

// Test double: keeps every text in memory.
class CapturingDebugChannel : public DebugChannel {
public:
    void output(std::string_view text) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

// The process's channel: the installed one, or standard error.
DebugChannel& debug_channel();
// Installs `channel` (null restores standard error) and returns the previous installed one.
DebugChannel* set_debug_channel(DebugChannel* channel);

}  // namespace platform
