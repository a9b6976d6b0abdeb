// Carrying an E4 adapter's configuration into a new default configuration, option by option as the
// meta texts describe them: what the user changed survives, kept options (MAC addresses, MBI,
// serial number, manufacturing id) keep their values in both images, everything else takes the
// new default. Then NVM_CFG1, DEFAULT_CFG and META are programmed.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "fwupg/host_ops.h"

extern "C" {
// Recomputes NVM_CFG1 from the adapter's own DEFAULT_CFG and META (facade slot 33): 0 or 1.
int update_nvm_cfg1_e4(HostOps ops);
}

namespace fwupg::nvm::e4 {

// A byte range that is not owned; data may be null (then length is 0).
struct ByteSpan {
    const uint8_t* data = nullptr;
    uint32_t length = 0;
};

struct MergeInputs {
    ByteSpan old_default;  // the adapter's DEFAULT_CFG (may be empty: its fields read as 0)
    ByteSpan old_cfg;     // the adapter's NVM_CFG1
    ByteSpan old_meta;     // the adapter's META text
    ByteSpan new_default;  // the new DEFAULT_CFG
    ByteSpan new_meta;    // the new META text
};

// Out NVM_CFG1 starts as the adapter's NVM_CFG1 and out DEFAULT_CFG as the new DEFAULT_CFG, each
// zero-filled to at least 4240 bytes (and to the longer of the inputs). 0, or -1 with the message
// when a meta text can't be used.
int e4_cfg_merge_meta(const MergeInputs& in, std::vector<uint8_t>& out_cfg, std::vector<uint8_t>& out_default);

// True for an option name (lower case) whose value is kept in both images.
bool e4_meta_keep_name(std::string_view lower_name);

// The bit position of an option in one instance of its entity ("glob", "path", "port", "func");
// -1 for another entity name.
int64_t e4_meta_entity_bit_offset(std::string_view entity, uint32_t offset, uint32_t path, uint32_t port,
                                  uint32_t function);

struct UpdateCfgRequest {
    bool force = false;
    std::vector<uint8_t> new_default;  // the NVM_CFG file, words already in host order
    std::vector<uint8_t> new_meta;     // the META text (from a file or a bundle)
};
// The configuration upgrade of the adapter: 0 on success, 1 on failure.
int e4_update_cfg(const UpdateCfgRequest& request);

// The META image of a bundle (the first type-28 item): false when the bundle has none.
bool e4_bundle_meta(const std::vector<uint8_t>& bundle, std::vector<uint8_t>& meta);

}  // namespace fwupg::nvm::e4
