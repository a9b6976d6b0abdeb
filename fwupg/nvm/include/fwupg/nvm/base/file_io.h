// Binary file operations shared by the program, dump and user-block commands.
#pragma once

#include <cstdint>

#include <tcl.h>

extern "C" {

// 0 with the size stored; non-zero when the file does not exist or its size does not fit.
int common_nvm_file_size(const char* path, uint32_t* size);
// Reads up to `length` bytes. 0, or 1 (count 0) on failure.
int common_nvm_read_file(Tcl_Interp* interp, const char* path, uint8_t* buffer, uint32_t length, uint32_t* count);
// Writes a new file; never replaces one that exists. 0, or 1 on failure (a partly written file is
// removed again).
int common_nvm_write_file(Tcl_Interp* interp, const char* path, const uint8_t* buffer, uint32_t length,
                          uint32_t* count);

}  // extern "C"
