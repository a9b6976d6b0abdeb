// The option table of the configuration editor: labels, defaults, value-name lists and one row per
// option (field, shown form, accepted input, where offered).
#include <cstdlib>
#include <iterator>

#include "cfg_option_table.h"
#include "fwupg/nvm_legacy/cfg_options.h"
#include "toe_context.h"

// Labels as the menu prints them: a one-line label padded to 52 characters, the last line of a
// longer one to 56 (label 60: 58), each followed by ": ".
const char* const g_toe_cfg_options[TOE_CFG_OPTIONS] = {
    /*  0 */ "Dummy String",
    /*  1 */ "[P] MAC Address                                     : ",
    /*  2 */ "[P] NIC Power Dissipated (D3:D2:D1:D0)              : ",
    /*  3 */ "[P] NIC Power Consumed (D3:D2:D1:D0)                : ",
    /*  4 */ "[P] Vendor ID                                       : ",
    /*  5 */ "[P] Vendor Device ID                                : ",
    /*  6 */ "[P] Subsystem Vendor ID                             : ",
    /*  7 */ "[P] Subsystem Device ID                             : ",
    /*  8 */ "[S] Product Name                                    : ",
    /*  9 */ "[S] Part Number                                     : ",
    /* 10 */ "[S] Engineering Change                              : ",
    /* 11 */ "[S] Serial Number                                   : ",
    /* 12 */ "[S] Manufacturing ID                                : ",
    /* 13 */ "[P] Led Mode { MacMode(0), PhyMode1(1), \n        PhyMode2(2),..., PhyMode7(7) }                  : ",
    /* 14 */ "[S] Design Type: {NIC(0), LOM(1)}                   : ",
    /* 15 */ "",
    /* 16 */ "[P] BAR size: {Disabled(0), 64K(1), 128K(2), \n        ...1M(5),...16M(9), ...64M(11), ...1G(15)}      : ",
    /* 17 */ "[P] Magic Packet WoL { Disable(0), Enable(1) }      : ",
    /* 18 */ "[P] WoL link speed { Auto(0), ...1000FD(6) }        : ",
    /* 19 */ "",
    /* 20 */ "",
    /* 21 */ "[P] MBA { Disable(0), Enable(1) }                   : ",
    /* 22 */ "[P] MBA Link Speed { Auto(0), ...1000FD(6), \n        2500FD(8)}                                      : ",
    /* 23 */ "[P] MBA Boot Protocol { PXE(0), RPL(1), BOOTP(2),  \n        iSCSI boot(3), reserved(4-6), None(7) }         : ",
    /* 24 */ "[P] MBA Boot Type { Auto(0), BBS(1), Int18(2),\n    Int19(3) }                                          : ",
    /* 25 */ "[P] MBA Delay Time (0-15) (0 defaults to 4 seconds,     \n    15 is no delay, 1-14 is delay value in second)      : ",
    /* 26 */ "[P] MBA Setup Hot Key {Ctrl-S(0), Ctrl-B(1)}        : ",
    /* 27 */ "[P] MBA hide setup prompt {Disable(0), Enable(1)}   : ",
    /* 28 */ "[S] Expansion ROM size { Disabled(0),  \n        ...64k(7),...16M(15) }                          : ",
    /* 29 */ "[S] Mgmt Firmware { Disable(0), Enable(1) }         : ",
    /* 30 */ "",
    /* 31 */ "",
    /* 32 */ "",
    /* 33 */ "[P] iSCSI MAC Address                               : ",
    /* 34 */ "[P] MBA VLAN { Disable(0), Enable(1) }              : ",
    /* 35 */ "[P] MBA VLAN value                                  : ",
    /* 36 */ "[S] Vaux current overdraw { Disable(0), Enable(1) } : ",
    /* 37 */ "[S] UMP/NCSI uses RMII { Disable/MII only(0),\n        Enable(1) }                                     : ",
    /* 38 */ "GPIO to decide which mgmt FW to run { Disabled(0),\n    3-7 } (5708 only)                                   : ",
    /* 39 */ "[S] Spare Number                                    : ",
    /* 40 */ "[S] Fiber supporting 2.5G (5708S/09S only)\n    { Disable(0), Enable(1) }                           : ",
    /* 41 */ "[S] Backplane application (5708S/09S/16S only)\n    { Disable(0), Enable(1) }                           : ",
    /* 42 */ "UMP CRS/RXDV select (5708 Bx only){RXDV(0), CRS(1)} : ",
    /* 43 */ "[S] UMP/NCSI PHY Timing (5708 B0 and after) \n        {Disable(0),Enable(1)}                          : ",
    /* 44 */ "[P] SMBus Address {one byte even hex value  \n        (i.e.bit0=0)}                                   : ",
    /* 45 */ "",
    /* 46 */ "Serdes TxACtrl3 value (pre-emphasis, idriver, etc;\n    5708 fiber only) { 16-bit, or Disabled(0) }         : ",
    /* 47 */ "[S] UMP Echo mode { Disabled(0), Enable(1) }        : ",
    /* 48 */ "[S] Allow gigabit link on Vaux \n        {Disabled(0), Enable(1)}                        : ",
    /* 49 */ "[P] Default link setting (serdes only) {Autoneg(0),\nforced 1G(3), forced 2.5G(4), AN w/1G(19),\n    AN w/2.5G(20)}                                      : ",
    /* 50 */ "LED application (5708S A0 and B0 only)\n    {Independent(0), Multicolor(1), All_tied(2)}        : ",
    /* 51 */ "EPB Power Dissipated (D3:D2:D1:D0) (5708 only)      : ",
    /* 52 */ "EPB Power Consumed (D3:D2:D1:D0) (5708 only)        : ",
    /* 53 */ "EPB Power Budget value 0 (5708 only)                : ",
    /* 54 */ "EPB Power Budget value 1 (5708 only)                : ",
    /* 55 */ "EPB Power Budget value 2 (5708 only)                : ",
    /* 56 */ "EPB Power Budget value 3 (5708 only)                : ",
    /* 57 */ "Forced L1 workaround (5708 B1, CQ#23123)\n    { Disable(0), Enable(1) }                           : ",
    /* 58 */ "[S] Read only VPD Vendor Specific Data (V0)         : ",
    /* 59 */ "[S] Port swap { Disable(0), Enable(1) } \n        (5709/16 only)                                  : ",
    /* 60 */ "[S] Remote PHY (5708S and 5709S only)\n        { Disable(0), Enable(1) }                         : ",
    /* 61 */ "[S] PCIE Gen2 (5709/16 only) { Disable(0),\n        Enable(1) }                                     : ",
    /* 62 */ "[S] Function hide {None(0), Reserved(1), Func1(2)} \n        (5709/16 only)                                  : ",
    /* 63 */ "[S] Mgmt FW load choice { Any(0), NCSI(1), UMP(2),\n    IPMI(3), NCSI/IPMI(4), UMP/IPMI(5), NCSI/UMP(6) }\n        (4, 5, 6 are determined by SPIO4 (0/1), 5709 \n        & 5716 only)                                    : ",
    /* 64 */ "[S] NCSI Package ID assignment method { SPIO(0),\n        NVRAM(1) } (5709/16 only)                       : ",
    /* 65 */ "[S] NCSI Package ID assigned value { 0-3 } (5709/16): ",
    /* 66 */ "[S] SMBus Timing { 100kHz(0), 400kHz(1) } (5709/16) : ",
    /* 67 */ "[S] PCIE power budget data 0 (Bits 20-0) (5709/16)  : ",
    /* 68 */ "[S] PCIE power budget data 1 (Bits 20-0) (5709/16)  : ",
    /* 69 */ "[S] PCIE power budget data 2 (Bits 20-0) (5709/16)  : ",
    /* 70 */ "[S] PCIE power budget data 3 (Bits 20-0) (5709/16)  : ",
    /* 71 */ "[S] PCIE power budget data 4 (Bits 20-0) (5709/16)  : ",
    /* 72 */ "[S] PCIE power budget data 5 (Bits 20-0) (5709/16)  : ",
    /* 73 */ "[S] PCIE power budget data 6 (Bits 20-0) (5709/16)  : ",
    /* 74 */ "[S] PCIE power budget data 7 (Bits 20-0) (5709/16)  : ",
    /* 75 */ "[S] Prevent PCIE L1-entry {Disable(0), Enable(1)} \n        (5708, 5709/5716 only)                          : ",
    /* 76 */ "[P] Prevent PCIE relax ordering {Disable(0), \n    Enable(1)} (5709/16)                                : ",
    /* 77 */ "[P] Backup primary MAC address                      : ",
    /* 78 */ "[P] Force Expansion ROM advertisement { Disable(0),\n        Enable(1) }                                     : ",
    /* 79 */ "[S] PCIE Gen2 Preemphasis: { HW(0), 0dB(1),         \n        3_5dB(2), 6_0dB(3) } (5709/16)                  : ",
    /* 80 */ "[P] MBA Boot Retry Count: {0, 1,...6, 7(Indefinite)}: ",
    /* 81 */ "[S] Keep link (no link flap) on reboot {Disable(0), \n    Enable(1)} (5709/16)                                : ",
};

const char* const g_toe_cfg_defaults[TOE_CFG_OPTIONS] = {
    /*  0 */ "Dummy string",
    /*  1 */ "00:10:18:01:02:03",
    /*  2 */ "10:0:0:100",
    /*  3 */ "10:0:0:100",
    /*  4 */ "14e4",
    /*  5 */ "164a",
    /*  6 */ "14e4",
    /*  7 */ "164a",
    /*  8 */ "Zorevuvi KV9 Ethernet Controller",
    /*  9 */ "DOV95706A0",
    /* 10 */ "220197-2",
    /* 11 */ "0123456789",
    /* 12 */ "14e4",
    /* 13 */ "1",
    /* 14 */ "0",
    /* 15 */ "0",
    /* 16 */ "3",
    /* 17 */ "0",
    /* 18 */ "0",
    /* 19 */ "0",
    /* 20 */ "0",
    /* 21 */ "0",
    /* 22 */ "0",
    /* 23 */ "0",
    /* 24 */ "0",
    /* 25 */ "5",
    /* 26 */ "0",
    /* 27 */ "0",
    /* 28 */ "0",
    /* 29 */ "0",
    /* 30 */ "0",
    /* 31 */ "00:00:00:00:00:00",
    /* 32 */ "00:00:00:00:00:00",
    /* 33 */ "00:00:00:00:00:00",
    /* 34 */ "0",
    /* 35 */ "0x0000",
    /* 36 */ "0",
    /* 37 */ "0",
    /* 38 */ "0",
    /* 39 */ "DOV95706A0",
    /* 40 */ "0",
    /* 41 */ "0",
    /* 42 */ "0",
    /* 43 */ "0",
    /* 44 */ "0x00",
    /* 45 */ "0",
    /* 46 */ "0",
    /* 47 */ "0",
    /* 48 */ "0",
    /* 49 */ "0",
    /* 50 */ "0",
    /* 51 */ "10:0:0:100",
    /* 52 */ "10:0:0:100",
    /* 53 */ "0",
    /* 54 */ "0",
    /* 55 */ "0",
    /* 56 */ "0",
    /* 57 */ "0",
    /* 58 */ "0",
    /* 59 */ "0",
    /* 60 */ "0",
    /* 61 */ "0",
    /* 62 */ "0",
    /* 63 */ "0",
    /* 64 */ "0",
    /* 65 */ "0",
    /* 66 */ "0",
    /* 67 */ "0x0",
    /* 68 */ "0x0",
    /* 69 */ "0x0",
    /* 70 */ "0x0",
    /* 71 */ "0x0",
    /* 72 */ "0x0",
    /* 73 */ "0x0",
    /* 74 */ "0x0",
    /* 75 */ "0",
    /* 76 */ "0",
    /* 77 */ "00:00:00:00:00:00",
    /* 78 */ "0",
    /* 79 */ "0",
    /* 80 */ "0",
    /* 81 */ "0",
};

const char* const g_toe_rescfg_options[2] = {
    "Dummy String",
    "ISCSI number of pending tasks                       :",
};
const char* const g_toe_rescfg_defaults[2] = {"Dummy string", "0x20"};

namespace toe_cfg {

namespace {

#define LIST(name, valid, ...)                                                  \
    constexpr const char* name##_NAMES[] = {__VA_ARGS__};                       \
    constexpr int name##_COUNT = int(std::size(name##_NAMES));                  \
    constexpr uint32_t name##_VALID = (valid)

LIST(ONOFF, 0x3, "Disabled", "Enabled");
LIST(DESIGN, 0x3, "NIC", "LOM");
LIST(MEDIA, 0x3, "Copper", "Fiber");
LIST(BAR, 0xFFFF, "Disabled", "64k", "128k", "256k", "512k", "1M", "2M", "4M", "8M", "16M", "32M", "64M", "128M",
     "256M", "512M", "1G");
LIST(LED_A, 0xFF, "MacMode", "PhyMode1", "PhyMode2", "PhyMode3", "PhyMode4", "PhyMode5", "PhyMode6", "PhyMode7");
LIST(LED_B, 0x7FFF, "MacMode", "PhyMode1", "PhyMode2", "PhyMode3", "MacMode2", "PhyMode4", "PhyMode5", "PhyMode6",
     "MacMode3", "PhyMode7", "PhyMode8", "PhyMode9", "MacMode4", "PhyMode10", "PhyMode11");
LIST(LINK, 0x1F, "Autoneg", "Dummy1", "Dummy2", "Forced_1G", "Forced_2.5G");
LIST(SPEED, 0x1FF, "Auto", "10HD", "10FD", "100HD", "100FD", "1000HD", "1000FD", "2.5GHD", "2.5GFD");
LIST(PREEMP, 0xF, "HW", "0dB", "3_5dB", "6_0dB");
LIST(WOLKIND, 0xF, "Disabled", "Magic", "IntPkt", "Both");
LIST(MGMT, 0x7F, "Any", "NCSI", "UMP", "IPMI", "NCSI(0)/IPMI(1)", "UMP(0)/IPMI(1)", "NCSI(0)/UMP(1)");
LIST(BOOT, 0x8F, "PXE", "RPL", "BOOTP", "iSCSI_boot", "reserved", "reserved", "reserved", "None");
LIST(BOOTTYPE, 0xF, "Auto", "BBS", "Int18", "Int19");
LIST(HOTKEY, 0x3, "Ctrl-S", "Ctrl-B");
LIST(ROM, 0xFFFF, "Disabled", "1k", "2k", "4k", "8k", "16k", "32k", "64k", "128k", "256k", "512k", "1M", "2M", "4M",
     "8M", "16M");
LIST(LEDAPP, 0xF, "Independent", "Multicolor", "All_tied", "Dummy");
LIST(CRS, 0x3, "RXDV", "CRS");
LIST(HIDE, 0xF, "None", "Reserved", "Func1", "Invalid");
LIST(PKGID, 0x3, "SPIO", "NVRAM");
LIST(SMB, 0x3, "100kHz", "400kHz");
#undef LIST

#define NAMES(name) {name##_NAMES, name##_COUNT, name##_VALID}
constexpr name_list L_DESIGN = NAMES(DESIGN), L_MEDIA = NAMES(MEDIA), L_BAR = NAMES(BAR), L_LED_A = NAMES(LED_A),
                    L_SPEED = NAMES(SPEED), L_WOLKIND = NAMES(WOLKIND), L_BOOT = NAMES(BOOT),
                    L_BOOTTYPE = NAMES(BOOTTYPE), L_HOTKEY = NAMES(HOTKEY), L_ROM = NAMES(ROM),
                    L_LEDAPP = NAMES(LEDAPP), L_CRS = NAMES(CRS), L_HIDE = NAMES(HIDE), L_PKGID = NAMES(PKGID),
                    L_SMB = NAMES(SMB);

// Where options are offered.
bool all(const facts&, bool) { return true; }
bool hidden(const facts&, bool) { return false; }
bool interactive_only(const facts&, bool interactive) { return interactive; }
bool iscsi_mac(const facts& f, bool interactive) { return interactive && f.board != 5716; }
bool b5708(const facts& f, bool) { return f.board == 5708; }
bool group_5709(const facts& f, bool) { return f.group_5709(); }
bool not_57728(const facts& f, bool) { return f.board != 57728; }
bool rmii(const facts& f, bool) { return f.board == 5708 || f.group_5709(); }
bool fiber_2g5(const facts& f, bool) { return (f.board == 5708 || f.board == 5709) && f.phy != "COPPER"; }
bool not_57728_fiber(const facts& f, bool) { return f.board != 57728 && f.phy != "COPPER"; }
bool a0_5708(const facts& f) { return f.board == 5708 && f.chip_rev == "A0"; }
bool crs_select(const facts& f, bool)
{
    return f.board != 5706 && f.board != 5709 && f.board != 5716 && f.board != 57728 && !a0_5708(f);
}
bool phy_timing(const facts& f, bool) { return f.board != 5706 && !a0_5708(f); }
bool led_app(const facts& f, bool) { return f.board == 5708 && f.phy == "SERDES"; }
bool forced_l1(const facts& f, bool)
{
    return f.board == 5708 && (f.chip_rev == "B0" || f.chip_rev == "B1" || f.dev == 0);
}
bool remote_phy(const facts& f, bool)
{
    if (f.board == 5716)
        return f.phy != "COPPER" && f.phy != "SERDES";
    return f.board != 5706 && f.phy != "COPPER";
}
bool l1_entry(const facts& f, bool) { return f.board == 5708 || f.board == 5709 || f.board == 5716; }
bool keep_link(const facts& f, bool)
{
    return f.svid == "0x1137" && (f.board == 5709 || f.board == 5716) && f.phy != "SERDES";
}

constexpr uint16_t off(size_t o) { return uint16_t(o); }
#define AT(member) off(offsetof(toe_cfg_record, member))
#define VPD_AT(member) off(offsetof(toe_cfg_record, vpd) + offsetof(vpd_info, member))

using fk = field_kind;
using fm = form;
using ru = rule;
constexpr option_row HIDDEN_ROW = {fk::none, 0, 0, fm::dec, nullptr, ru::none, 0, hidden};
constexpr option_row onoff(uint16_t at, bool (*where)(const facts&, bool) = all)
{
    return {fk::u8, at, 0, fm::list, &ONOFF, ru::range, 1, where};
}

}  // namespace

const name_list ONOFF = NAMES(ONOFF), LED_B = NAMES(LED_B), PREEMP = NAMES(PREEMP), MGMT = NAMES(MGMT),
                LINK = NAMES(LINK);
#undef NAMES

const option_row g_rows[82] = {
    /*  0 */ HIDDEN_ROW,
    /*  1 */ {fk::mac, AT(f1), 0, fm::mac, nullptr, ru::mac, 0, interactive_only},
    /*  2 */ {fk::power, AT(f2), 0, fm::power, nullptr, ru::power, 0, all},
    /*  3 */ {fk::power, AT(f3), 0, fm::power, nullptr, ru::power, 0, all},
    /*  4 */ {fk::u16, AT(f4), 0, fm::hex04, nullptr, ru::hex16, 0, all},
    /*  5 */ {fk::u16, AT(f5), 0, fm::hex04, nullptr, ru::hex16, 0, all},
    /*  6 */ {fk::u16, AT(f6), 0, fm::hex04, nullptr, ru::hex16, 0, all},
    /*  7 */ {fk::u16, AT(f7), 0, fm::hex04, nullptr, ru::hex16, 0, all},
    /*  8 */ {fk::text, VPD_AT(product_name), 49, fm::text, nullptr, ru::text_max, 0, all},
    /*  9 */ {fk::text, VPD_AT(pn), 17, fm::text, nullptr, ru::text, 0, all},
    /* 10 */ {fk::text, VPD_AT(ec), 11, fm::text, nullptr, ru::text, 0, all},
    /* 11 */ {fk::text, VPD_AT(sn), 17, fm::text, nullptr, ru::text, 0, all},
    /* 12 */ {fk::text, VPD_AT(mn), 5, fm::text, nullptr, ru::text, 0, all},
    /* 13 */ {fk::u8, AT(f13), 0, fm::led, &L_LED_A, ru::led, 0, all},
    /* 14 */ {fk::u8, AT(f14), 0, fm::list, &L_DESIGN, ru::design, 1, all},
    /* 15 */ {fk::u8, AT(f15), 0, fm::list, &L_MEDIA, ru::none, 0, hidden},
    /* 16 */ {fk::u8, AT(f16), 0, fm::list, &L_BAR, ru::range, 15, all},
    /* 17 */ {fk::u8, AT(f17), 0, fm::list, &ONOFF, ru::wol, 1, all},
    /* 18 */ {fk::u8, AT(f18), 0, fm::list, &L_SPEED, ru::range, 8, all},
    /* 19 */ {fk::u8, AT(f19), 0, fm::list, &L_WOLKIND, ru::none, 0, hidden},
    /* 20 */ {fk::u8, AT(f20), 0, fm::list, &ONOFF, ru::none, 0, hidden},
    /* 21 */ onoff(AT(f21)),
    /* 22 */ {fk::u8, AT(f22), 0, fm::list, &L_SPEED, ru::mba_speed, 0, all},
    /* 23 */ {fk::u16, AT(f23), 0, fm::list, &L_BOOT, ru::one_of, 0x8F, all},
    /* 24 */ {fk::u8, AT(f24), 0, fm::list, &L_BOOTTYPE, ru::range, 3, all},
    /* 25 */ {fk::u8, AT(f25), 0, fm::dec, nullptr, ru::range, 15, all},
    /* 26 */ {fk::u8, AT(f26), 0, fm::list, &L_HOTKEY, ru::range, 1, all},
    /* 27 */ onoff(AT(f27)),
    /* 28 */ {fk::u8, AT(f28), 0, fm::list, &L_ROM, ru::range, 15, all},
    /* 29 */ onoff(AT(f29)),
    /* 30 */ {fk::u8, AT(f30), 0, fm::list, &ONOFF, ru::none, 0, hidden},
    /* 31 */ HIDDEN_ROW,
    /* 32 */ HIDDEN_ROW,
    /* 33 */ {fk::mac, AT(f33), 0, fm::mac_not_5716, nullptr, ru::mac, 0, iscsi_mac},
    /* 34 */ onoff(AT(f34)),
    /* 35 */ {fk::u16, AT(f35), 0, fm::dec, nullptr, ru::tcl_int, 0, all},
    /* 36 */ {fk::u8, AT(f36), 0, fm::list, &ONOFF, ru::lom_vaux, 1, all},
    /* 37 */ onoff(AT(f37), rmii),
    /* 38 */ {fk::u8, AT(f38), 0, fm::dec_disabled, nullptr, ru::range, 7, b5708},
    /* 39 */ {fk::text, AT(f39), 17, fm::text, nullptr, ru::text, 0, all},
    /* 40 */ onoff(AT(f40), fiber_2g5),
    /* 41 */ onoff(AT(f41), not_57728_fiber),
    /* 42 */ {fk::u8, AT(f42), 0, fm::list, &L_CRS, ru::range, 1, crs_select},
    /* 43 */ onoff(AT(f43), phy_timing),
    /* 44 */ {fk::u8, AT(f44), 0, fm::hex02x, nullptr, ru::smbus, 0, all},
    /* 45 */ {fk::u8, AT(f45), 0, fm::list, &ONOFF, ru::none, 0, hidden},
    /* 46 */ {fk::u16, AT(f46), 0, fm::hex04, nullptr, ru::hex16, 0, not_57728_fiber},
    /* 47 */ onoff(AT(f47)),
    /* 48 */ {fk::u8, AT(f48), 0, fm::list, &ONOFF, ru::lom_vaux, 1, all},
    /* 49 */ {fk::u8, AT(f49), 0, fm::link, nullptr, ru::one_of, (1u << 0) | (1u << 3) | (1u << 4) | (1u << 19) | (1u << 20), all},
    /* 50 */ {fk::u8, AT(f50), 0, fm::list, &L_LEDAPP, ru::range, 3, led_app},
    /* 51 */ {fk::power, AT(f51), 0, fm::power, nullptr, ru::power, 0, b5708},
    /* 52 */ {fk::power, AT(f52), 0, fm::power, nullptr, ru::power, 0, b5708},
    /* 53 */ {fk::u32, AT(f53), 0, fm::hex08_5708, nullptr, ru::hex32, 0, b5708},
    /* 54 */ {fk::u32, AT(f54), 0, fm::hex08_5708, nullptr, ru::hex32, 0, b5708},
    /* 55 */ {fk::u32, AT(f55), 0, fm::hex08_5708, nullptr, ru::hex32, 0, b5708},
    /* 56 */ {fk::u32, AT(f56), 0, fm::hex08_5708, nullptr, ru::hex32, 0, b5708},
    /* 57 */ onoff(AT(f57), forced_l1),
    /* 58 */ {fk::text, VPD_AT(v0), 17, fm::text, nullptr, ru::text_v0, 0, all},
    /* 59 */ onoff(AT(f59), not_57728),
    /* 60 */ onoff(AT(f60), remote_phy),
    /* 61 */ onoff(AT(f61), group_5709),
    /* 62 */ {fk::u8, AT(f62), 0, fm::list, &L_HIDE, ru::one_of, (1u << 0) | (1u << 2), group_5709},
    /* 63 */ {fk::u8, AT(f63), 0, fm::list_or_dec, &MGMT, ru::range, 6, group_5709},
    /* 64 */ {fk::u8, AT(f64), 0, fm::list, &L_PKGID, ru::range, 1, group_5709},
    /* 65 */ {fk::u8, AT(f65), 0, fm::dec_known, nullptr, ru::range, 3, group_5709},
    /* 66 */ {fk::u8, AT(f66), 0, fm::list, &L_SMB, ru::range, 1, group_5709},
    /* 67 */ {fk::u32, AT(f67), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 68 */ {fk::u32, AT(f68), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 69 */ {fk::u32, AT(f69), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 70 */ {fk::u32, AT(f70), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 71 */ {fk::u32, AT(f71), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 72 */ {fk::u32, AT(f72), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 73 */ {fk::u32, AT(f73), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 74 */ {fk::u32, AT(f74), 0, fm::hex06_5709, nullptr, ru::budget, 0x1FFFFF, group_5709},
    /* 75 */ {fk::u8, AT(f75), 0, fm::list_5708_5709, &ONOFF, ru::range, 1, l1_entry},
    /* 76 */ {fk::u32, AT(f76), 0, fm::list_5709, &ONOFF, ru::range, 1, group_5709},
    /* 77 */ {fk::mac, AT(f77), 0, fm::mac, nullptr, ru::mac, 0, interactive_only},
    /* 78 */ onoff(AT(f78)),
    /* 79 */ {fk::u32, AT(f79), 0, fm::preemp, &PREEMP, ru::preemp, 3, group_5709},
    /* 80 */ {fk::u32, AT(f80), 0, fm::dec_known, nullptr, ru::range, 7, all},
    /* 81 */ {fk::u32, AT(f81), 0, fm::list, &ONOFF, ru::range, 1, keep_link},
};
#undef AT
#undef VPD_AT

bool read_facts(const HostOps& ops, facts* f)
{
    if (!toe::get_dev(ops, &f->dev))
        return false;
    f->board = toe::board(ops);
    f->chip_rev = toe::toe_var(ops, "CHIP_REV");
    f->phy = toe::toe_var(ops, "PHY_TYPE");
    f->svid = toe::toe_var(ops, "SVID");
    f->vaux = std::strtol(toe::toe_var(ops, "VAUX_PRESET").c_str(), nullptr, 10) != 0;
    return true;
}

uint32_t get_int(const toe_cfg_record* rec, const option_row& row)
{
    const uint8_t* p = field(rec, row);
    switch (row.kind) {
    case field_kind::u8: return *p;
    case field_kind::u16: return *reinterpret_cast<const uint16_t*>(p);
    case field_kind::u32: return *reinterpret_cast<const uint32_t*>(p);
    case field_kind::none:
    case field_kind::mac:
    case field_kind::power:
    case field_kind::text: return 0;
    }
    return 0;
}

void set_int(toe_cfg_record* rec, const option_row& row, uint32_t v)
{
    uint8_t* p = field(rec, row);
    switch (row.kind) {
    case field_kind::u8: *p = uint8_t(v); break;
    case field_kind::u16: *reinterpret_cast<uint16_t*>(p) = uint16_t(v); break;
    case field_kind::u32: *reinterpret_cast<uint32_t*>(p) = v; break;
    case field_kind::none:
    case field_kind::mac:
    case field_kind::power:
    case field_kind::text: break;
    }
}

}  // namespace toe_cfg
