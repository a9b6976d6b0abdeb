// The virtual NVRAM buffer (an NVRAM image file held in memory) and the routines that reach the
// legacy directory through the record of the facade operation in progress.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwupg/host_ops.h"

struct virt_nvm_buffer {
    uint8_t* data;   // Tcl allocator; null when nothing is loaded
    uint32_t size;   // file size rounded up to a multiple of 4
};
extern virt_nvm_buffer g_virt_nvm;
// Name of the virtual NVRAM file handed to the loader; empty unless a caller sets it.
extern char virt_nvm_file_name[260];

void virt_nvm_free();
// Drops the virtual buffer and accepts every device: 0.
int toe_nvm_check_dev(uint32_t dev);
// Loads the file into the buffer. 0, or 1 with last error 13/34 and a message.
int virt_nvm_load(HostOps ops, const char* file_name);
// Tells the user that an image file stands in for the adapter and is not written back. 0.
int nvm_file_write_refused(HostOps ops, const char* file_name);

// Version text of the first image whose name contains `name` (empty when none is found).
void toe_nvm_image_version_by_name(HostOps ops, const char* name, char* text, size_t text_size);

// The same routines through the current facade record; the first argument is ignored. They return
// -1 (and print why) when no facade operation is in progress.
int cur_nvm_find_dir_entry(void* ignored, uint32_t dir_type, int* index);
int cur_nvm_read_dir_entry(void* ignored, int index, uint32_t* nvm_offset, uint32_t* byte_count,
                           uint32_t* sram_addr, uint32_t* dir_type, uint32_t* processor);
int cur_nvm_read_range(void* ignored, uint8_t* buf, int swap, uint32_t length, uint32_t nvm_offset,
                       uint32_t* read_length);
// Programs the buffer as the image of a directory type (see toe_nvm_prog_image_by_type).
int cur_nvm_write_image(void* ignored, uint8_t* buf, uint32_t length, uint32_t dir_type);
int cur_nvm_image_version_by_name(void* ignored, const char* name, char* text, size_t text_size);
