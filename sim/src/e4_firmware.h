// The E4 device firmware's side of programming, and what an E4 device reports about its firmware.
//
// Programming channel: with a write mode set through ordinal 181, a write at NVRAM offset 0 is not
// stored there; the firmware takes it as an image to install:
//   mode 2: a 32-byte image header (magic 0x669955AA; version 3 with the type in word 2, or 1/2
//           with the type in bits 21-31; a known type; chip-group word 0x400000, 0x200000 on
//           group-B chips; the length in word 6), then the next offset-0 write carries the data;
//   mode 1: one write carries a whole bundle (0xBDBDBDBD, then headed items), each item already
//           typed for the bank it goes to.
// Each image is placed in NVRAM space that no entry of the directory in force uses, at 0x4000 or
// above, with its CRC dword after it; then the *other* directory copy is written with the entry
// replaced or added and seq + 1 (a bundle: the next seq whose bit 0 names the bank written, which
// boots next). The copy in force is never touched, so a power cut anywhere in an install leaves
// it, and every image it lists, valid. Offset 0 itself is never written.
//
// The mode is one-shot: an install (or a refused one) ends it, so later offset-0 writes are raw
// again until the engine sets a mode anew, as it does before every image. Writes at other
// offsets are always raw.
//
// Running state: the active bundle (bank) and the running MFW version change only at a reset,
// which starts the bank that the directory in force names; until then they stay what they were
// when the firmware first changed under them. They are kept in adapters/<name>.mfw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "fw_from_nvram.h"
#include "sim_state.h"
#include "yxmapi/sim_control.h"

namespace sim {

// True when a write goes to the programming channel rather than to NVRAM.
bool e4_channel_takes(const SimAdapter& a, uint32_t offset);

// Serves such a write of `bytes` bytes. A cut fault stops the install's NVRAM writes after
// `cut->cut_after` bytes and returns its status (or ends the process).
uint32_t e4_channel_write(SimState& s, SimAdapter& a, const uint8_t* data, std::size_t bytes,
                          const std::optional<FaultRule>& cut);

// A successful reset of an E4 adapter: the bank the directory in force names becomes active.
void e4_reset(SimState& s, SimAdapter& a);

// The MBA text (FwInfoType6 byte 20, "MBA a.b.c" of the first boot-agent image), the MBI text
// (byte 5,241, "a.b.c" from NVM_CFG1) and the running MFW version and bank, from the NVRAM
// through the test kit's reader.
std::optional<DerivedFirmware> e4_firmware(SimState& s, const SimAdapter& a);

}  // namespace sim
