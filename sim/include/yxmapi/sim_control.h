// Extra exports of the simulated management library, for tests and benchmarks: the in-memory
// call journal, the counters, the status codes it returns, and the stand-in for the registry's
// network-connection name of an adapter. The front end never needs these to work.
#pragma once

#include <cstdint>

extern "C" {

// Status codes of the simulated library (any non-zero value is a failure to the front end).
enum YxSimStatus : uint32_t {
    YXSIM_OK = 0,
    YXSIM_E_NOT_INITIALIZED = 0xE0000001,
    YXSIM_E_BAD_HANDLE = 0xE0000002,
    YXSIM_E_BAD_VERSION = 0xE0000003,
    YXSIM_E_BAD_ARGUMENT = 0xE0000004,
    YXSIM_E_OUT_OF_RANGE = 0xE0000005,
    YXSIM_E_CLAIMED_ELSEWHERE = 0xE0000006,
    YXSIM_E_NOT_HOLDER = 0xE0000007,
    YXSIM_E_IO = 0xE0000008,
    YXSIM_E_NO_DRIVER_ACCESS = 0xE0000009,
    YXSIM_E_WRONG_FAMILY = 0xE000000A,
    YXSIM_E_BUFFER_TOO_SMALL = 0xE000000B,
    YXSIM_E_NOT_FOUND = 0xE000000C,
    YXSIM_E_NOT_SUPPORTED = 0xE000000D,  // e.g. a reset of an adapter that cannot be reset
    YXSIM_E_INJECTED = 0xE00000FF,  // default status of an injected fault
};

// One journalled call. Fields an ordinal does not take are 0.
struct YxSimCall {
    uint32_t ordinal;
    uint32_t handle;   // the handle argument, in whatever space the ordinal uses
    uint32_t offset;   // NVRAM byte offset
    uint32_t count;    // dword count (67/68), byte length (131), handle count (50), buffer length (18)
    uint32_t mode;     // reset mode (33), write mode (181), access type (71/72), flags (34)
    uint32_t reg;      // register offset (71/72)
    uint32_t value;    // register value read or written; first data dword of a 67 write
    uint32_t status;
    uint32_t pid;
};

struct YxSimCounters {
    uint64_t calls[256];  // calls per ordinal, successful or not
    uint64_t nvramBytesRead;
    uint64_t nvramBytesWritten;
    uint64_t resets;      // successful resets (33)
    uint64_t phyWrites;   // successful PHY firmware writes (131)
};

// Number of journalled calls of this process, and a copy of up to `max` of them from `first`;
// returns the number copied.
uint32_t yxsim_journal_size(void);
uint32_t yxsim_journal_read(uint32_t first, YxSimCall* out, uint32_t max);
// Empties the in-memory journal and zeroes the counters (the journal file is left alone).
void yxsim_reset_journal(void);
void yxsim_get_counters(YxSimCounters* out);

typedef uint32_t (*YxSimJournalSizeFn)(void);
typedef uint32_t (*YxSimJournalReadFn)(uint32_t, YxSimCall*, uint32_t);
typedef void (*YxSimResetJournalFn)(void);
typedef void (*YxSimGetCountersFn)(YxSimCounters*);
}
