// The fixed CRC-protected regions at the start of a legacy NVRAM and the one-pass CRC check of
// every protected piece (regions, boot code, directory images).
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

struct toe_nvm_region {
    const char* name;
    uint32_t start;    // NVRAM byte offset
    uint32_t length;   // bytes; the last dword holds the CRC of the bytes before it
};

constexpr int TOE_NVM_REGIONS = 4;
extern const toe_nvm_region g_toe_nvm_regions[TOE_NVM_REGIONS];

// Whether the CRC check prints its table; the crc command sets it before each run.
extern bool g_toe_crc_print;

// The boot code's dword count above which the bootstrap is taken as naming no boot code.
constexpr uint32_t TOE_BC1_MAX_DWORDS = 4096;
