// Building the host callback record for a command: the interpreter, the front end's callbacks and
// the selected adapter's chip id.
#pragma once

#include <cstdint>
#include <functional>

#include "fwupg/host_ops.h"

// Zeroes `ops`, stores the interpreter and the client data, fills slots 1-15, devIndex 0 and the
// selected adapter's chip id; returns `ops`.
HostOps* BuildHostOps(HostOps* ops, Tcl_Interp* interp, uint64_t clientData);

// The individual callbacks (also reachable through a built record).
extern "C" {
int HostGetToeInt(Tcl_Interp* interp, const char* name, int* out);
void HostOpsNop();
int HostGetChar();
uint32_t HostNvmReadDword(uint32_t devIndex, uint32_t offset, uint32_t* out, uint8_t swap);
uint32_t HostNvmWriteDword(uint32_t devIndex, uint32_t offset, uint32_t value, uint8_t swap);
uint32_t HostNvmReadBlock(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap);
uint32_t HostNvmWriteBlock(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap);
uint32_t HostRegRead(uint32_t devIndex, uint32_t reg, uint32_t* out);
uint32_t HostRegWrite(uint32_t devIndex, uint32_t reg, uint32_t value);
int HostTclEval(Tcl_Interp* interp, const char* script);
void HostSetLastError(uint32_t code);
}

namespace fwupg {
// Where slot 3 takes console characters from: standard input unless replaced (null restores it).
void SetHostInputSource(std::function<int()> source);
}  // namespace fwupg
