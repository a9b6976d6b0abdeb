// Version texts of E4 images, read from a new image in memory or from the copy in NVRAM, and
// their comparison by image type. MBA images (expansion-ROM chains) are compared component by
// component, and their EFI drivers give a UEFI version from a PE image that may be compressed.
#pragma once

#include <cstdint>
#include <string>

#include "fwupg/nvm/e4/directory.h"

namespace fwupg::nvm::e4 {

// An image to read: the new data in memory, or the image at an NVRAM offset. Every read is
// bounded by `size` (the buffer's length, or the directory entry's byte count).
struct ImageRef {
    bool from_buffer;
    uint32_t nvm_off;
    const uint8_t* data;
    uint32_t size;

    static ImageRef buffer(const uint8_t* data, uint32_t size) { return {true, 0, data, size}; }
    static ImageRef nvram(uint32_t offset, uint32_t size) { return {false, offset, nullptr, size}; }
    // 0, or -1 when the range leaves the image or the read fails.
    int read(uint32_t relative, void* out, uint32_t length) const;
    int read_u32(uint32_t relative, uint32_t* out) const { return read(relative, out, 4); }
};

inline constexpr int kMbaSlots = 8;
extern const char* const kMbaSlotNames[kMbaSlots];

// Versions kept between the version texts and the checks, and read by the board fix-ups. The
// remembered versions come from new data only (never from the NVRAM's images), and a package or
// an image upgrade starts without any, so the fix-ups never write a version of another package.
struct VersionState {
    uint32_t new_mba[kMbaSlots];   // components of the MBA image being programmed
    uint32_t nvm_mba[kMbaSlots];   // components of the MBA image in NVRAM
    uint32_t last_uefi;            // UEFI driver version of the MBA data being programmed, or 0
    uint32_t last_pci30_revision;  // code revision of the PCI 3.0 legacy image of that data, or 0
    uint32_t last_mim[4];          // the four numbers of the last new MIM version text checked
};
VersionState& version_state();
// Forgets the remembered versions (UEFI, PCI 3.0 revision, MIM): called when a package or an
// image upgrade on its own begins.
void forget_remembered_versions();

// The version text of an image of the type; empty when the type has none or it can't be read.
std::string e4_image_version_str(const ImageRef& image, uint32_t type);

// 0 when `newer` is newer than `old` by the type's rule or the type is not compared, else -1.
int e4_image_version_newer(uint32_t type, const std::string& old, const std::string& newer);

// Walks at most 8 expansion-ROM images: 0 with the eight component versions, or -1 when a read
// leaves the image or an image has no length. A walk of new data (from a buffer) also sets
// version_state().last_uefi and last_pci30_revision to the versions it found, or 0.
int e4_mba_component_versions(const ImageRef& image, uint32_t versions[kMbaSlots]);

// UEFI version (Major << 16 | Minor) of the EFI image at `at`, `length` bytes long. From NVRAM a
// non-zero NVM_CFG1 UEFI word answers first. 0, or -1 ("invalid EFI image").
int e4_efi_image_version(const ImageRef& image, uint32_t at, uint32_t length, uint32_t* out);

// Compares the MBA in NVRAM (offset, byte count) with the new one, slot by slot; 0 or -1.
int e4_mba_version_check(const ImageRef& nvm_image, const uint8_t* data, uint32_t length);

// The MBA component text: "NAME a.b.c;..." of every non-zero slot, the last ";" removed.
std::string mba_version_text(const uint32_t versions[kMbaSlots]);

// "TIM a.b.c.d" of TIM1 in a bundle packed a<<24|b<<16|c<<8|d; -1 without one (or a bad bundle).
int e4_bundle_tim_version(const uint8_t* bundle, uint32_t length, uint32_t* out);
// The TIM version of bank 0 (TIM1) or bank 1 (TIM2) in NVRAM, its parts read as hexadecimal;
// 1 for another bank or a missing image.
int e4_nvm_tim_version(const e4_nvm_dir* dir, uint32_t bank, uint32_t* out);

}  // namespace fwupg::nvm::e4
