// Test support of the image-file checks: a facade double and a selected adapter with its ::toe
// facts in a Tcl interpreter.
//
// The double passes the file operations, the image-version text, the NVRAM size and the image-type
// lookup on to the real facade (and so to the engines); it answers the questions about the
// adapter's NVRAM contents (directory presence, presence matching against a full image, per-port
// configuration words) from its own fields, and counts the calls.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include <tcl.h>

#include "fwupg/fwupg_kv9.h"
#include "platform/testing/temp_root.h"
#include "testkit/bytes.h"

namespace imgtest {

class FacadeDouble final : public IFwUpgKv9 {
public:
    // Adapter side.
    std::set<uint32_t> legacyDir;   // types the legacy-format directory holds (slot 26)
    std::set<uint32_t> extDir;      // types slot 27 reports present
    int mbaMatch = 1, ncsiMatch = 1, febMatch = 1, ccmMatch = 1;  // slots 49-52
    std::map<uint32_t, uint32_t> portCfgWords;  // selector -> word (slot 53); missing fails
    bool portCfgOffsetFails = false;
    uint32_t portCfgOffset = 0x400;              // slot 54

    std::map<int, int> calls;  // slot -> count

    uint32_t nvm_help(char*, uint32_t, uint32_t, uint32_t*) override { return Unexpected(1); }
    int nvm_read(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(2); }
    int nvm_show(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(3); }
    int nvm_write(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(4); }
    int nvm_fill(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(5); }
    int nvm_upgrade(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(6); }
    int nvm_cfg(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(7); }
    int nvm_prg(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(8); }
    int nvm_dump(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(9); }
    int nvm_dir(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(10); }
    int nvm_crc(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(11); }
    int nvm_usrblk(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(12); }
    int nvm_rescfg(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(13); }
    int nvm_crc_check(HostOps) override { return Unexpected(14); }
    int nvm_dir_57710(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(15); }
    int nvm_crc_57710(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(16); }
    int nvm_dump_57710(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(17); }
    int nvm_prg_57710(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(18); }
    int nvm_update_cfg_e4(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(19); }
    int nvm_upgrade_mbi(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(20); }
    int nvm_upgrade_57710(HostOps, int, Tcl_Obj* const[]) override { return Unexpected(21); }
    int nvm_crc_check_57710(HostOps) override { return Unexpected(22); }
    int set_wol(HostOps, uint32_t) override { return Unexpected(23); }
    int set_nvm_cfg(HostOps, cfg_request*) override { return Unexpected(24); }
    int show_nvm_cfg(HostOps, cfg_request*) override { return Unexpected(25); }
    int find_dir_entry(HostOps ops, uint32_t dirType, int32_t* index) override;
    int has_ext_dir_image(HostOps ops, uint32_t dirType, int32_t* out) override;
    int set_cfg_bit24_57710(HostOps, uint32_t) override { return Unexpected(28); }
    int set_nvm_cfg_57710(HostOps, cfg_request*) override { return Unexpected(29); }
    int set_nvm_cfg_e4(HostOps, cfg_request*) override { return Unexpected(30); }
    int show_nvm_cfg_e4(HostOps, cfg_request*) override { return Unexpected(31); }
    int show_nvm_cfg_57710(HostOps, cfg_request*, uint32_t) override { return Unexpected(32); }
    int update_nvm_cfg1_e4(HostOps) override { return Unexpected(33); }
    int show_active_swim(HostOps) override { return Unexpected(34); }
    int has_ump_image(HostOps) override { return Unexpected(35); }
    int has_ipmi_image(HostOps) override { return Unexpected(36); }
    int has_ncsi_image(HostOps) override { return Unexpected(37); }
    int has_mba_image(HostOps) override { return Unexpected(38); }
    int has_ump_image_57710(HostOps) override { return Unexpected(39); }
    int has_ipmi_image_57710(HostOps) override { return Unexpected(40); }
    int has_ncsi_image_57710(HostOps) override { return Unexpected(41); }
    int has_mba_image_57710(HostOps) override { return Unexpected(42); }
    int file_size(const char* path, uint32_t* size) override;
    int read_file(HostOps ops, const char* path, uint8_t* buffer, uint32_t count, uint32_t* countRead) override;
    int write_file(HostOps, const char*, const uint8_t*, uint32_t, uint32_t*) override { return Unexpected(45); }
    char* image_version_string(HostOps ops, const uint8_t* image, uint32_t imageLen, uint32_t nvmOffset,
                               const char* name, char* text, size_t textSize) override;
    long nvm_size(HostOps ops) override;
    int lookup_image_type(HostOps ops, const char* option, uint32_t tag, uint32_t* dirType) override;
    int mba_presence_matches(HostOps, const uint8_t*) override { return Count(49), mbaMatch; }
    int ncsi_presence_matches(HostOps, const uint8_t*) override { return Count(50), ncsiMatch; }
    int feb_presence_matches(HostOps, const uint8_t*) override { return Count(51), febMatch; }
    int image_presence_matches(HostOps, const uint8_t*, uint32_t) override { return Count(52), ccmMatch; }
    int get_port_cfg_word(HostOps ops, uint32_t selector, const uint8_t* image, uint32_t* value) override;
    int get_port_cfg_word_offset(HostOps ops, uint32_t selector, uint32_t* offset) override;
    int get_ext_phy_type(HostOps, uint32_t, uint32_t*) override { return Unexpected(55); }
    int get_ext_phy_types(HostOps, uint32_t, uint32_t) override { return Unexpected(56); }
    int file_version_string(HostOps, const char*, uint32_t, char*) override { return Unexpected(57); }
    int nvm_board_check_57710(HostOps) override { return Unexpected(58); }

private:
    int Count(int slot) { return ++calls[slot]; }
    int Unexpected(int slot);
};

// The adapter a check works on.
struct Adapter {
    uint32_t family = 4;
    uint32_t chipId = 0x5709u << 12;  // chip number 0x5709, revision A0
    uint32_t port = 0;
    uint32_t function = 0;
    uint16_t vid = 0x14E4, did = 0x1639, svid = 0x14E4, ssid = 0x1639;
    uint32_t nvmSize = 0x40000;
    std::string phyType = "COPPER";
    uint32_t extPhy1 = 0, extPhy2 = 0;
};

// A test's world: a temporary folder, an interpreter, the facade double in place of the facade,
// and a selected adapter whose facts are published in ::toe.
class ImageCheckWorld {
public:
    ImageCheckWorld();
    ~ImageCheckWorld();
    ImageCheckWorld(const ImageCheckWorld&) = delete;
    ImageCheckWorld& operator=(const ImageCheckWorld&) = delete;

    void Select(const Adapter& a);
    // Writes the bytes to a file in the temporary folder and returns its path.
    std::string File(const testkit::Bytes& bytes, const std::string& name = "image.bin");

    Tcl_Interp* interp = nullptr;
    FacadeDouble facade;
    platform::testing::TempDir dir;
    // Makes the bytes (NVRAM order) the adapter's NVRAM as the host record's reads see it.
    void UseNvram(const testkit::Bytes& nvram);

private:
    IFwUpgKv9* previous_ = nullptr;
};

}  // namespace imgtest
