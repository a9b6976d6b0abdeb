// Installation of images into the extended directory and the housekeeping of an upgrade around
// it: superseded images, SWIM sets, BOOT_CFG_SHADOW, NIC_PRTION, and the NPAR setting writers.
#pragma once

#include <cstdint>

extern "C" {

int common_nvm_install_ext_image(const uint8_t* buffer, uint32_t length, uint32_t row, uint8_t check_version,
                                 int quiet, int remove_swim, int dry_run);
int common_nvm_delete_old_bc_ncsi();
int common_nvm_delete_mfw_images(uint32_t mode, int remove_swim);
int common_nvm_delete_swim_b_set();
int common_nvm_swim_sets(uint32_t* running_set, uint32_t* new_set);
int common_nvm_purge_foreign_swim(uint32_t* running_set);
int common_nvm_mfw1_version_text(char* out, uint32_t size);
int common_nvm_mba_version_texts(char* out_a, char* out_b, uint32_t size);
void common_nvm_create_boot_cfg_shadow();
int common_nvm_ensure_nic_prtion();
int common_nvm_init_npar_block(int flag);
int common_nvm_npar_macs_set();
// The MAC words (upper, lower) of function f (0-7): those of its port's configuration block, the
// lower word moved on by 4 per function pair (8 per function quad in four-port mode).
int common_nvm_function_mac(uint32_t f, uint32_t mac[2]);
int common_nvm_noop();

// NPAR setting writers: compare slices of the configuration record with the stored images and
// install what changed (forced, quiet).
int common_nvm_sync_nic_prtion(const uint8_t* record, uint8_t nic_prtion[508]);
int common_nvm_sync_niv(const uint8_t* record, uint8_t niv[1124], uint8_t nivprofiles[10240]);
int common_nvm_sync_nivprofiles(const uint8_t* record, uint8_t nivprofiles[10240]);
int common_nvm_sync_cfg_shared(const uint8_t* record, uint8_t cfg_shared[256]);

// Version of the MFW1 image being installed and of the running firmware (four numbers each).
extern int g_new_mfw_version[4];
extern int g_running_mfw_version[4];

}  // extern "C"
