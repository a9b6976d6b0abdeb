// Image and dump files through binary Tcl channels.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

// Size of a file: 0 with the size stored; 1 for a null size pointer; non-zero when the file
// cannot be examined or is larger than 2 GiB - 1. The name is taken literally, whatever it holds.
int nvm_file_size(const char* name, int32_t* size);

// Reads up to `count` bytes of the file into `buf` (count read stored when the pointer is given).
// 0 on success (also for a shorter file), 1 when the file cannot be opened or read.
int nvm_file_read(HostOps ops, const char* name, uint8_t* buf, uint32_t count, uint32_t* read);

// Writes the buffer to a new file; an existing file is never overwritten. 0 on success, 1 on failure.
int nvm_file_write(HostOps ops, const char* name, const uint8_t* buf, uint32_t count, uint32_t* written);
