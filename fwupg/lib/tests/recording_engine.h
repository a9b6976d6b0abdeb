// The recording fake of the engine procedures (recording_engine.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "fwupg/engine_procs.h"

struct RecordedCall {
    std::string name;            // engine procedure reached
    bool hasOps = false;         // it received a record by value
    HostOps ops{};               // that record
    std::vector<uintptr_t> args; // the other arguments, as words, in order
    HostOps* current = nullptr;  // g_pHostOps while it ran
    HostOps currentCopy{};       // what it pointed at
};

// The last call any fake procedure saw (every fake returns 77, a null text or 4242).
extern RecordedCall g_lastCall;
// Run by every fake procedure after recording (nesting and throwing tests).
extern std::function<void()> g_duringCall;
