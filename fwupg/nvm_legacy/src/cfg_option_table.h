// The rows of the configuration options: where each option's field lies in the record, how its
// value is shown, which input it accepts and where it is offered. Shared by the editor's parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fwupg/host_ops.h"
#include "fwupg/nvm_legacy/cfg_record.h"

namespace toe_cfg {

// A list of value names; `valid` marks the indexes shown by name (others show "Unknown(%d)").
struct name_list {
    const char* const* names;
    int count;
    uint32_t valid;
};

enum class field_kind : uint8_t { none, u8, u16, u32, mac, power, text };

// How a value is shown. Most rows use the generic forms; the rest name the option they serve.
enum class form : uint8_t {
    list, dec, hex04, hex08, hex02x, mac, power, text,
    led,             // 13: LED-A, or LED-B on the 5709 group
    mac_not_5716,    // 33
    dec_disabled,    // 38: "Disabled" for 0
    link,            // 49
    hex08_5708,      // 53-56
    list_or_dec,     // 63
    dec_known,       // 65, 80: "%d" up to the limit, "Unknown(%d)" beyond
    hex06_5709,      // 67-74
    list_5708_5709,  // 75
    list_5709,       // 76
    preemp,          // 79
};

// Which input an option accepts.
enum class rule : uint8_t {
    range,       // decimal, at most `limit`
    one_of,      // decimal, a bit of `limit` set
    mac, power, hex16, hex32,
    smbus,       // "0x%02x", even
    budget,      // "0x%08X", at most `limit`
    text,        // the first room - 1 characters are kept
    text_max,    // refused when longer than room - 2 characters
    text_v0,     // as text; "" or {} empties it
    tcl_int,     // 35: any Tcl integer, 16 bits kept; no integer leaves the field
    led,         // 13
    design,      // 14
    wol,         // 17
    mba_speed,   // 22
    lom_vaux,    // 36, 48
    preemp,      // 79
    none,        // hidden
};

// The adapter facts the rules look at.
struct facts {
    int board;
    std::string chip_rev, phy, svid;
    int vaux;
    uint32_t dev;
    bool group_5709() const { return board == 5709 || board == 5716 || board == 57728; }
};
// Reads ::toe; false when the device index cannot be read.
bool read_facts(const HostOps& ops, facts* f);

struct option_row {
    field_kind kind;
    uint16_t offset;   // of the field in toe_cfg_record
    uint8_t room;      // text fields: bytes including the terminator
    form shown;
    const name_list* list;
    rule accepts;
    uint32_t limit;
    bool (*offered)(const facts&, bool interactive);
};
extern const option_row g_rows[82];

// Integer fields as unsigned values.
uint32_t get_int(const toe_cfg_record* rec, const option_row& row);
void set_int(toe_cfg_record* rec, const option_row& row, uint32_t v);
inline uint8_t* field(toe_cfg_record* rec, const option_row& row) { return reinterpret_cast<uint8_t*>(rec) + row.offset; }
inline const uint8_t* field(const toe_cfg_record* rec, const option_row& row)
{
    return reinterpret_cast<const uint8_t*>(rec) + row.offset;
}

extern const name_list ONOFF, LED_B, PREEMP, MGMT, LINK;

}  // namespace toe_cfg
