// Reader of legacy-family NVRAM images: the images that the bootstrap record and the directory
// list, with the version texts an adapter reports for them. The simulated management library
// derives a legacy adapter's firmware information from this. Never throws on bad input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testkit/legacy_image.h"

namespace testkit::legacy {

struct listed_image {
    std::string name;    // kind name; "?" for a directory type the family does not know
    uint32_t dir_type;
    int index;           // directory entry; -1 for the boot code named by the bootstrap record
    uint32_t offset;     // linear NVRAM offset
    uint32_t length;     // bytes, CRC word included
    std::string version; // "" when the image cannot be read or carries no version
};

// The boot code (when the bootstrap record has its magic), then directory entries 0-15 that are
// in use. The boot-code address is taken as linear unless only its buffered-flash reading
// (page << 9 | byte, 264-byte pages) names a block that passes the CRC check.
std::vector<listed_image> list_images(const bytes& nvram);

// The first listed image of a kind.
std::optional<listed_image> find_image(const bytes& nvram, std::string_view name);

// The version text of an image of a kind read from NVRAM:
//   MBA: "<slot> a.b.c;" per boot-agent slot present;
//   ISCSI_B: "ipv4 ", "ipv6 " or "ipv4_ipv6 " (by the IP layout mark in word 3) and the pointed text;
//   ISB_CPRG, FCOE_B, FEB_CPRG, CCM: the printable text (at most 12 characters) that word 1 points at;
//   ISB_CFG*, FEB_CFG*: "va.b" from word 0; IPMI_CFG: the low four bits of its first byte;
//   USR_BLK: ""; every other kind: the NUL-ended text at bytes 16-27.
std::string version_text(std::string_view name, const bytes& nvram, uint32_t offset, uint32_t length);

// True when the directory's CRC is right, so the listing reflects a written directory rather than
// erased or foreign flash.
bool directory_valid(const bytes& nvram);

}  // namespace testkit::legacy
