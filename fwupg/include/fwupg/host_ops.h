// The host callback record: the only way the NVRAM engines reach the adapter (NVRAM, registers),
// the console, the interpreter and the last-error code. Built by the front end for each command and
// passed by value (144 bytes) to every engine procedure.
#pragma once

#include <cstddef>
#include <cstdint>

struct Tcl_Interp;

extern "C" {

typedef int (*HostGetToeIntFn)(Tcl_Interp* interp, const char* name, int* out);
typedef void (*HostNopFn)();
typedef int (*HostGetCharFn)();
typedef uint32_t (*HostNvmReadDwordFn)(uint32_t devIndex, uint32_t offset, uint32_t* out, uint8_t swap);
typedef uint32_t (*HostNvmWriteDwordFn)(uint32_t devIndex, uint32_t offset, uint32_t value, uint8_t swap);
typedef uint32_t (*HostNvmReadBlockFn)(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf,
                                       uint8_t swap);
typedef uint32_t (*HostNvmWriteBlockFn)(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf,
                                        uint8_t swap);
typedef uint32_t (*HostRegReadFn)(uint32_t devIndex, uint32_t reg, uint32_t* out);
typedef uint32_t (*HostRegWriteFn)(uint32_t devIndex, uint32_t reg, uint32_t value);
typedef int (*HostTclEvalFn)(Tcl_Interp* interp, const char* script);
typedef void (*HostSetLastErrorFn)(uint32_t code);

struct HostOps {
    Tcl_Interp* interp;                 // slot 0: interpreter of the command in progress
    HostGetToeIntFn getToeInt;          // slot 1
    HostNopFn nop2;                     // slot 2: after prompts, during long writes
    HostGetCharFn getChar;              // slot 3
    HostNopFn nop4;                     // slot 4: called for each integer put in a result list
    HostNvmReadDwordFn nvmReadDword;    // slot 5
    HostNvmWriteDwordFn nvmWriteDword;  // slot 6
    HostNvmReadBlockFn nvmReadBlock;    // slot 7
    HostNvmWriteBlockFn nvmWriteBlock;  // slot 8
    HostRegReadFn regRead;              // slot 9
    HostRegWriteFn regWrite;            // slot 10
    HostTclEvalFn tclEval;              // slot 11
    HostNopFn nop12;                    // slots 12-14: after an adapter was marked for reset
    HostNopFn nop13;
    HostNopFn nop14;
    HostSetLastErrorFn setLastError;    // slot 15 (may be empty: then the engine skips the call)
    uint32_t devIndex;
    uint32_t chipId;
    uint64_t clientData;
};

// Engine status codes stored through setLastError / returned by the NVRAM and register slots.
enum HostStatus : uint32_t {
    HOST_OK = 0,
    HOST_READ_FAILED = 4,
    HOST_WRITE_FAILED = 18,
    HOST_NO_ACCESS = 41,
    HOST_REG_WRITE_FAILED = 43,
};

// The record of the facade operation in progress (null outside one).
extern HostOps* g_pHostOps;

// One level of the current-record stack: the value g_pHostOps had before a facade operation made
// its caller's record current. Each operation keeps its frame on its own stack.
struct HostOpsFrame {
    HostOps* previous;
};

// Makes `ops` current, remembering the previous record in `frame`.
void push_host_ops(HostOpsFrame* frame, HostOps* ops);
// Makes the record remembered in `frame` current again.
void pop_host_ops(HostOpsFrame* frame);

// Copies the current record into `out` and returns out; returns null (and copies nothing) when no
// facade operation is in progress.
HostOps* get_current_host_ops(HostOps* out);

// The engines' debug print: formats and hands the text to the library's debug log.
void fwupg_dbg_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void fwupg_dbg_printf_ex(int ignored, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

}  // extern "C"

namespace fwupg {

// Makes a record current for the lifetime of the guard (nesting allowed); the previous record is
// restored when the guard ends, also when an exception passes.
class HostOpsScope {
public:
    explicit HostOpsScope(HostOps* ops) { push_host_ops(&frame_, ops); }
    ~HostOpsScope() { pop_host_ops(&frame_); }
    HostOpsScope(const HostOpsScope&) = delete;
    HostOpsScope& operator=(const HostOpsScope&) = delete;

private:
    HostOpsFrame frame_;
};

}  // namespace fwupg

static_assert(sizeof(void*) == 8, "the record layout assumes a 64-bit target");
static_assert(sizeof(HostOps) == 144);
static_assert(offsetof(HostOps, setLastError) == 120);
static_assert(offsetof(HostOps, devIndex) == 128);
static_assert(offsetof(HostOps, chipId) == 132);
static_assert(offsetof(HostOps, clientData) == 136);
