// What the front end uses of the legacy engine: file size/read/write, the NVRAM size, the image-type
// table and wrapped-file header, the directory search, image version texts, the CRC and the basic
// command procedures.
#pragma once

#include "fwupg/nvm_legacy/commands.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/file_io.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/versions.h"
