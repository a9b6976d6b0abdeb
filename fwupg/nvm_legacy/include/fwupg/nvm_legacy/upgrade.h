// The image upgrade of the legacy family ("nvm upgrade") and the version checks it runs before
// it programs anything.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

struct Tcl_Obj;

// Whether the image of row `row` of the image-type table (`length` bytes as the file carries it)
// may replace the one of its type in NVRAM: 0 go on (newer, or nothing to compare with); 1
// refused, with last error 35 (not newer, or a version that cannot be read), 68 (not a UMP image),
// 30 (directory entry unreadable), 4 (NVRAM unreadable) or 7 (no device). Every read of the image
// is checked against `length`.
int toe_nvm_upgrade_version_check(HostOps ops, int row, const uint8_t* image, uint32_t length);

// 0 when `new_version` is greater than `nvm_version`; otherwise prints why the upgrade stops, with
// both versions in the printed form of the row's type, sets last error 35 and returns 1.
int toe_nvm_compare_versions(HostOps ops, uint32_t new_version, uint32_t nvm_version, int row);

// nvm upgrade [-F] <option> [sub-options] <file>: programs the images of one image family from a
// raw or wrapped image file.
int toe_nvm_upgrade_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
