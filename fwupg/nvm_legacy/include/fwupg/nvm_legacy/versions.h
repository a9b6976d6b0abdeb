// Version texts of legacy images in NVRAM or in an image file, and the image header routines of
// the upgrade: boot-code version word, version parsing, PCI ID patch of boot ROMs, CCM detection.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwupg/host_ops.h"

// Version text of the image named `name` (a row name of the image-type table), taken from `buf`
// (`buf_len` bytes; every read is checked against it) or, when `buf` is null, from the image at
// `nvm_offset` in NVRAM. An MBA gives up to eight "name a.b.c" items joined by ";". The text is
// empty when the device is not known or a read fails (last error 4).
void toe_nvm_image_versions(HostOps ops, const uint8_t* buf, uint32_t buf_len, uint32_t nvm_offset,
                            const char* name, char* text, size_t text_size);

// The version text that an image's word at byte 4 points at (iSCSI boot, FCoE boot, CCM): the
// bytes from (word & 3) of the 16-byte group at (word & 0xFFFC), ended by a NUL or the group's end.
// From `buf` when given, else from NVRAM at `nvm_offset`; either way every read lies within the
// first `limit` bytes of the image. 0; 1 when an NVRAM read fails; 2 when the text would lie
// outside the image.
int toe_image_pointed_version(HostOps ops, uint32_t dev, const uint8_t* buf, uint32_t limit, uint32_t nvm_offset,
                              char (&text)[17]);

// Prints a ";"-separated version list under a listing column. Returns 1.
int toe_nvm_print_versions(const char* text);

// The word at `nvm_offset + 28`, 0xFFFFFFFF on any failure.
uint32_t toe_nvm_image_dword28(HostOps ops, uint32_t nvm_offset);

// a.b.c after `prefix` packed as a << 24 | (b & 0xFF) << 16 | (c & 0xFFFF). 0, or 0xFFFFFFFF when
// the text has no such version.
uint32_t toe_parse_version(const char* text, const char* prefix, uint32_t* out);

// Makes every image of a PCI expansion ROM answer to the given IDs, renewing the checksum of
// code-type-0 images. 0; -1 on a ROM that is malformed, cut off or of an unknown device.
int toe_rom_patch_pci_ids(uint8_t* buf, uint32_t length, uint16_t vendor_id, uint16_t device_id);

// 1 when a CCM image carries an embedded directory, 0 when not or when the image is too short.
int ccm_is_embedded(const uint8_t* buf, uint32_t length);

// Code revisions of the ROM kinds of an MBA image, one slot per kind (0 = absent); `names` receives
// the name of each slot filled. With `buf` the images are read from it (bounded by `buf_len`),
// otherwise from NVRAM at `nvm_offset`, bounded by the MBA directory entry. 0, or 1 on failure.
int toe_option_rom_versions(HostOps ops, uint32_t revisions[8], const uint8_t* buf, uint32_t buf_len,
                            uint32_t nvm_offset, const char* names[8], uint32_t dev);
