// Chip registers and offsets into the management firmware's shared memory that the engine reads
// and writes, each named once. Addresses are those of the register read and write host operations.
#pragma once

#include <cstdint>

namespace fwupg::nvm {

// Registers.
constexpr uint32_t kRegShmemBase = 0xA2B4;         // base of path 0's shared memory (0: none)
constexpr uint32_t kRegShmem2Hook = 0xA460;        // non-zero: path 1's base is at this value + kShmem2Path1Base
constexpr uint32_t kRegGenericPor0 = 0xA470;       // MISC_REG_GENERIC_POR_0, set to 1 after programming
constexpr uint32_t kRegChipRevision = 0xA410;      // low byte non-zero on revisions that take the MFW bits
constexpr uint32_t kRegPortModeOverride = 0xA720;  // bit 0 set: bit 1 is the four-port mode
constexpr uint32_t kRegPortModeStrap = 0xA750;     // bit 0: four-port mode when not overridden
constexpr uint32_t kRegRevidStep = 0x2008;         // low 4 bits choose the REVID control value of a new MFW pair

constexpr uint32_t kShmem2Path1Base = 52;

// Shared memory, relative to its base.
constexpr uint32_t kShmemRunningMfw = 8;   // running management firmware's version word
constexpr uint32_t kShmemSharedPart = 12;  // shared configuration part, 10 words
constexpr uint32_t kShmemPortPart = 52;    // port configuration part of port p at + p x kShmemPortStride
constexpr uint32_t kShmemBoardIds = 56;    // board ids word of the port part of port 0
constexpr uint32_t kShmemPortStride = 400;
constexpr uint32_t kShmemPhy2Type = 412;       // second external PHY's type, + port x kShmemPortStride
constexpr uint32_t kShmemPhyType = 436;        // external PHY's type, + port x kShmemPortStride
constexpr uint32_t kShmemSharedFeature = 852;  // shared feature word
constexpr uint32_t kShmemPortFeature = 856;    // port feature part of port p at + p x kShmemPortFeatureStride
constexpr uint32_t kShmemPortFeatureStride = 116;

// Reads the shared-memory base of path 0 (kRegShmemBase) into *base: 0, or -1 when the register
// cannot be read. A base of 0 means no shared memory; each caller decides what that means to it.
int shmem_base(uint32_t* base);

}  // namespace fwupg::nvm
