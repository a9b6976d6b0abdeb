// Fixture builder of the simulated machine: describes adapters and writes them, with their NVRAM
// images, under <root>/adapters/, where the simulated management library YXMAPIa finds them. Also
// writes the library's control file (fault injection, reported version) and reads its journal
// file. Tests and fixture tools use only this; nobody writes these files by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "yxmapi/sim_control.h"
#include "yxmapi/yxmapi.h"

namespace sim {

// Raised by the writers for a description that the library could not serve.
struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Chip identifiers as PhyNicInfo reports them.
// Legacy and 57710-class: chip number (bits 12-27; legacy 0x5706/0x5708/0x5709/0x5716, 57710-class
// the PCI device id), revision (bits 8-11), metal (bits 0-7).
constexpr uint32_t chip_id(uint32_t chip_number, uint32_t rev, uint32_t metal)
{
    return (chip_number & 0xFFFF) << 12 | (rev & 0xF) << 8 | (metal & 0xFF);
}
// E4: device id in the high half, revision (bits 8-11), metal (bits 0-7).
constexpr uint32_t chip_id_e4(uint32_t device_id, uint32_t rev, uint32_t metal)
{
    return (device_id & 0xFFFF) << 16 | (rev & 0xF) << 8 | (metal & 0xFF);
}

// One simulated adapter (one PCI function). Unless a test wants otherwise, the NicInfoEx ids and
// function equal the PhyNicInfo ones; set the nic_* overrides to make them differ.
//
// The functions of one board share its flash: give them the same `board` name and they open one
// NVRAM file, one claim lock, one PHY image and one running-firmware state, and share the register
// writes (chip registers and shared memory) of their `path` (E2/E3 chips have two).
struct AdapterDef {
    std::string name;  // file stem under adapters/: letters, digits, '-', '_', '.'
    std::string board;  // file stem of the board's shared files; empty: the adapter's own name
    uint32_t path = 0;  // register and shared-memory path of the board this function sits on
    uint32_t family = yxmapi::kFamily57710;

    // Three separate handle spaces.
    uint32_t list_handle = 0;     // ordinals 51, 77, 104, 116, 184
    uint32_t api_handle = 0;      // claim, release, reset, NVRAM, registers, PHY, MFW (never 0xFFFFFFFF)
    uint32_t service_handle = 0;  // ordinal 18

    bool driver_access = true;
    std::string mac;  // MAC text as the record carries it (at most 19 characters)
    uint32_t driver_major = 0, driver_minor = 0, driver_build = 0;
    uint32_t vid = 0x14E4, did = 0, svid = 0x14E4, ssid = 0;
    uint32_t bus = 0, device = 0, function = 0;
    uint32_t slot = 0;
    uint32_t chip_id = 0;
    uint32_t flash_word = 0;  // NVRAM size in bits 12-31 (at least 1 KiB), bit 0 buffered
    uint32_t capabilities = 0;
    uint32_t port = 0;
    uint32_t mode_arg = 0;
    uint32_t ext_phy_id1 = 0, ext_phy_id2 = 0;
    uint32_t port_count = 1;
    std::string service_name;     // empty: ordinal 18 fails
    // The display name of the adapter's network connection, which write_adapter puts into the
    // machine's registry under the service name; empty: the connection has none.
    std::string connection_name;
    std::optional<uint32_t> nic_vid, nic_did, nic_svid, nic_ssid, nic_function;

    std::map<uint32_t, uint32_t> registers;  // chip registers and shared memory words; others read 0

    // Firmware record of the family (type 4, 5 or 6). The record reports what the NVRAM holds; a
    // text set here overrides its field whatever the NVRAM says (a test opts into that per field).
    // The PHY text (FwInfoType5 byte 484) is the factory value instead: the last PHY image written
    // replaces it.
    std::map<std::size_t, std::string> fw_texts;
    std::optional<uint32_t> mbi_packed;  // FwInfoType5 byte 800 override; unset: from the NVRAM
    std::string mfw_version;     // MfwInfo version text (E4); empty: ordinal 185 fails
    uint32_t active_bundle = 0;  // MfwInfo active bundle (E4)

    AdapterDef& fw_text(yxmapi::TextField field, std::string text)
    {
        fw_texts[field.off] = std::move(text);
        return *this;
    }
    AdapterDef& reg(uint32_t offset, uint32_t value)
    {
        registers[offset] = value;
        return *this;
    }
    uint32_t nvram_size() const { return flash_word & yxmapi::nic::kFlashSizeMask; }
    // Stem of the board's NVRAM, lock, PHY and running-state files.
    const std::string& board_name() const { return board.empty() ? name : board; }
    // Stem of the register file of the function's path.
    std::string registers_name() const { return path ? board_name() + ".path" + std::to_string(path) : board_name(); }
};

// A coherent adapter of a family (4, 5, 6, or any other value for an unsupported family) with
// distinct handles in each space derived from `index`, a MAC text, PCI location bus index+1,
// function 0, a chip id of the family, a 512 KiB NVRAM and a service name. Tests adjust fields.
AdapterDef make_adapter(uint32_t family, uint32_t index, std::string name = {});

// Writes <root>/adapters/<name>.adapter (replaced whole), the connection name into the registry
// of the root (HKEY_LOCAL_MACHINE, network class key, "<service>\Connection", value "Name") and,
// when the adapter's board has no NVRAM file yet, an erased one (0xFF bytes) of the NVRAM size.
// Throws BuildError for a description the library could not serve (bad name, text that does not
// fit its field, firmware text at no field of the family's record, API handle 0xFFFFFFFF, NVRAM
// below 1 KiB).
void write_adapter(const std::string& root, const AdapterDef& desc);

// Writes bytes into the NVRAM file of an adapter (or of a board, by its board name) at a byte
// offset (the file is created when missing). An adapter of a board writes the board's NVRAM.
void set_nvram(const std::string& root, const std::string& name, std::span<const uint8_t> bytes,
               std::size_t offset = 0);
// The whole NVRAM file of an adapter, or of a board by its board name.
std::vector<uint8_t> read_nvram(const std::string& root, const std::string& name);
// The board name of an adapter described in the root; the name itself when there is no such
// description (a board name, or an adapter not written yet).
std::string board_of(const std::string& root, const std::string& name);

// The description text of a description, and its parse (the library reads descriptions through this).
std::string format_adapter(const AdapterDef& desc);
// Parses a description; on failure returns nothing and sets `error`.
std::optional<AdapterDef> parse_adapter(std::string_view name, std::string_view text, std::string* error);
// Checks a description as write_adapter does; empty text when it is fine.
std::string validate_adapter(const AdapterDef& desc);

// The text fields of the firmware record of a family (empty for other families).
std::span<const yxmapi::TextField> fw_text_fields(uint32_t family);

// Files of the simulated machine.
std::string adapters_dir(const std::string& root);
std::string description_path(const std::string& root, const std::string& name);
std::string nvram_path(const std::string& root, const std::string& name);
std::string lock_path(const std::string& root, const std::string& name);
std::string registers_path(const std::string& root, const std::string& name);  // register writes
std::string phy_image_path(const std::string& root, const std::string& name);  // last PHY image written
std::string running_state_path(const std::string& root, const std::string& name);  // E4 running bank
std::string control_path(const std::string& root);
std::string journal_path(const std::string& root);
// Names of the adapters described in the root, sorted (the library's enumeration order).
std::vector<std::string> adapter_names(const std::string& root);

// ---------------------------------------------------------------------------------------------
// Control file: faults and the reported version. The library reads it at initialisation (and at
// a version query before that); each rule's call count starts at 0 when it is read.

struct FaultRule {
    uint32_t ordinal = 0;
    std::string adapter;  // adapter name; empty: any adapter, and calls that take none
    uint32_t nth = 0;     // fail only the nth matching call (1 = first); 0: every matching call
    uint32_t status = YXSIM_E_INJECTED;
    // Ordinal 67: write just the first `cut_after` bytes of the data, then fail (a power loss).
    // Ordinal 131: the PHY keeps its old firmware (it commits only a whole image), the call fails.
    std::optional<uint32_t> cut_after;
    bool exit_after_cut = false;  // and end the process at once, as the power loss would
    // NVRAM calls (67, 68) only: match just the calls whose bytes meet [from, to) (`to` unset:
    // from + 1, the call covering that byte); a call outside the range is not counted.
    std::optional<uint32_t> from{}, to{};
    // Count matching calls across sessions and processes (kept in yxmapi.faultcount), not from
    // each initialisation.
    bool persist = false;
    // With a cut: the flash erases sectors of this many bytes before programming them, so the
    // rest of the sector that the cut struck reads 0xFF (unset: the old bytes stay).
    std::optional<uint32_t> erase_sector{};
    // Silent faults, the call reporting success: ordinal 68 XORs the first data word read with
    // `flip`; ordinal 67 with `lost` stores nothing.
    std::optional<uint32_t> flip{};
    bool lost = false;
    // True for the faults the NVRAM call itself carries out (cut, flip, lost).
    bool acted_by_call() const { return cut_after || flip || lost; }
};

struct Control {
    std::vector<FaultRule> faults;
    std::optional<uint32_t> version_major, version_minor, version_build;  // ordinal 1
};

std::string format_control(const Control& control);
// One rule as its "fault=" value (also the key of its count across sessions).
std::string format_fault(const FaultRule& rule);
std::string fault_count_path(const std::string& root);
// Lines that do not parse are skipped; their descriptions go to `errors` when given.
Control parse_control(std::string_view text, std::vector<std::string>* errors = nullptr);
void write_control(const std::string& root, const Control& control);

// ---------------------------------------------------------------------------------------------
// Journal file: one line per call of every process that used the root.

std::string format_journal_line(const YxSimCall& call);
std::optional<YxSimCall> parse_journal_line(std::string_view line);
std::vector<YxSimCall> read_journal_file(const std::string& root);

// Register writes stored by the library, as "offset=value" lines.
std::string format_registers(const std::map<uint32_t, uint32_t>& regs);
std::map<uint32_t, uint32_t> parse_registers(std::string_view text);

}  // namespace sim
