// The IPMI configuration image as the engine holds it: host words, plus the spare word the
// programming stages its CRC word in.
#pragma once

#include <cstdint>

#include "fwupg/nvm_legacy/ipmi_cfg.h"

struct ipmi_image {
    uint32_t words[TOE_IPMI_CFG_BYTES / 4 + 1] = {};

    // Finds the image (creating a default one when there is none) and reads it. 0, or 1 when it
    // cannot be created, found or read.
    int find_and_read(Tcl_Interp* interp);
    // Programs the 552 bytes as the IPMI_CFG image: the programming's status.
    int write(Tcl_Interp* interp);

    uint32_t computed_crc() const;   // CRC word of bytes 0-547
    uint32_t stored_crc() const;
    void seal();                     // stores the computed CRC word
    uint8_t settings() const;
    void set_settings(uint8_t s);
};
