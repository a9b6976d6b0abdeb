// The configuration options that "prg -skip_options" keeps on the adapter's other devices: their
// values are noted as "nvm cfg" lines before programming and evaluated again after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fwupg/host_ops.h"

struct toe_prg_saved_options {
    struct entry {
        uint32_t device;
        std::string line;   // "nvm cfg N=V ..." at most 404 characters
    };
    std::vector<entry> entries;   // at most 40
    uint32_t noted_device = 0;
};

// Visits devices 1 to ::toe(TOTAL_DEV) - 1 that sit on the bus of ::toe(BUS) and notes the
// options' values in their raw form. 0, or 1 when a configuration record cannot be read.
int toe_prg_save_options(const HostOps& ops, const std::vector<int>& options, toe_prg_saved_options* saved);
// Evaluates each noted line with its device selected, then selects the noted device again.
void toe_prg_restore_options(const HostOps& ops, const toe_prg_saved_options& saved);
