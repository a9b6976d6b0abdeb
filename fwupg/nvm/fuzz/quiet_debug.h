// The fuzz targets run the parsers without the library's debug log: its print is silent here.
#pragma once

#include "fwupg/host_ops.h"

extern "C" void fwupg_dbg_printf(const char*, ...) {}
extern "C" void fwupg_dbg_printf_ex(int, const char*, ...) {}
