// Showing an option's value and checking and storing typed values, by the rows of the option table.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tcl.h>

#include "cfg_option_table.h"
#include "fwupg/nvm_legacy/cfg_options.h"
#include "fwupg/nvm_legacy/features.h"
#include "toe_context.h"

using namespace toe_cfg;

namespace {

constexpr uint32_t PREEMP_VALUES[] = {0x00000000u, 0xC0000000u, 0xA0000000u, 0xE0000000u};

const option_row* row_of(int option)
{
    return option >= 1 && option < TOE_CFG_OPTIONS ? &g_rows[option] : nullptr;
}

// The C library's decimal conversion: "abc" is 0, trailing text is ignored, and a negative number
// (or one beyond the range of long) becomes a large unsigned value that every range refuses.
uint32_t decimal(const char* text)
{
    const long v = std::strtol(text, nullptr, 10);
    return v < 0 || v > 0xFFFFFFFFL ? 0xFFFFFFFFu : uint32_t(v);
}

struct text_out {
    char buf[128];
    const char* put(const char* fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        return buf;
    }
};

const char* list_text(text_out& out, const name_list& l, uint32_t v, bool raw)
{
    if (raw)
        return out.put("%d", int(v));
    if (v < uint32_t(l.count) && (l.valid >> v & 1u))
        return out.put("%s", l.names[v]);
    return out.put("Unknown(%d)", int(v));
}

// Stores the first room - 1 characters of a text field.
void store_text(uint8_t* p, size_t room, const char* value)
{
    const size_t n = strnlen(value, room - 1);
    std::memcpy(p, value, n);
    std::memset(p + n, 0, room - n);
}

// An enable that needs LOM (option 14) first; the warning goes to the Tcl standard output.
int lom_vaux(toe_cfg_record* rec, const option_row& row, int option, uint32_t v, std::string* message)
{
    if (v > 1)
        return 1;
    if (v == 1) {
        if (!rec->f14) {
            if (message)
                *message += "Set option 14 to LOM first, aborted. ";
            return 1;
        }
        if (Tcl_Channel out = Tcl_GetStdChannel(TCL_STDOUT)) {
            Tcl_WriteChars(out,
                           option == 36 ? "Warning: make sure the system supports LOM Vaux current overdraw\n\n"
                                        : "Warning: make sure the system allows gigabit link on Vaux\n\n",
                           -1);
            Tcl_Flush(out);
        }
    }
    set_int(rec, row, v);
    return 0;
}

}  // namespace

int64_t toe_cfg_preemp_convert(uint32_t value, bool to_index)
{
    if (to_index) {
        for (int i = 0; i < 4; ++i)
            if (PREEMP_VALUES[i] == value)
                return i;
        fwupg_dbg_printf("invalid gen2_tx_preemp value\n");
        return -1;
    }
    if (value < 4)
        return PREEMP_VALUES[value];
    fwupg_dbg_printf("invalid gen2_tx_preemp index\n");
    return -1;
}

bool toe_cfg_mba_speed_invalid(const char* phy_type, uint8_t fiber_2g5, uint8_t speed)
{
    if (!phy_type || std::strcmp(phy_type, "SERDES") != 0)
        return speed > 6;
    if (speed >= 8)
        return fiber_2g5 == 0;
    return speed != 0 && speed != 6;
}

bool toe_cfg_option_offered(const HostOps& ops, int option, bool interactive, std::string* message)
{
    if (message)
        message->clear();
    const option_row* row = row_of(option);
    facts f;
    if (!row || !g_toe_cfg_options[option][0] || !read_facts(ops, &f))
        return false;
    if (option == 33 && f.board == 5716 && message)
        *message = "N/A for 5716";
    return row->offered(f, interactive);
}

const char* toe_cfg_option_text(const HostOps& ops, const toe_cfg_record* rec, int option, bool raw)
{
    static text_out out;
    const option_row* row = row_of(option);
    if (!row || row->kind == field_kind::none || !rec)
        return nullptr;
    const int board = toe::board(ops);
    const bool group = board == 5709 || board == 5716 || board == 57728;
    const uint8_t* p = field(rec, *row);
    const uint32_t v = get_int(rec, *row);
    switch (row->shown) {
    case form::list: return list_text(out, *row->list, v, raw);
    case form::dec: return out.put("%d", int(v));
    case form::hex04: return out.put("%04X", v);
    case form::hex08: return out.put("%08X", v);
    case form::hex02x: return out.put("0x%02x", v);
    case form::mac: return out.put("%02x:%02x:%02x:%02x:%02x:%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
    case form::power: return out.put("%d:%d:%d:%d", p[3], p[2], p[1], p[0]);
    case form::text: {
        const char* t = reinterpret_cast<const char*>(p);
        const size_t n = strnlen(t, row->room);
        if (n == 0 && raw)
            return out.put("\"\"");
        return out.put("%.*s", int(n), t);
    }
    case form::led: return list_text(out, group ? LED_B : *row->list, v, raw);
    case form::mac_not_5716:
        if (board == 5716)
            return out.put("N/A for 5716");
        return out.put("%02x:%02x:%02x:%02x:%02x:%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
    case form::dec_disabled: return v == 0 && !raw ? out.put("Disabled") : out.put("%d", int(v));
    case form::link: {
        if (raw)
            return out.put("%d", int(v));
        const uint32_t speed = v % 8;
        if (speed >= 5)
            return out.put("Unknown(%d)", int(speed));
        return out.put("%s%s", (v & 0x10) ? "AN w/" : "", LINK.names[speed]);
    }
    case form::hex08_5708: return board == 5708 ? out.put("%08X", v) : out.put("N/A (5708 only)");
    case form::list_or_dec:
        return v <= row->limit && !raw ? out.put("%s", row->list->names[v]) : out.put("%d", int(v));
    case form::dec_known: return v <= row->limit || raw ? out.put("%d", int(v)) : out.put("Unknown(%d)", int(v));
    case form::hex06_5709: return group ? out.put("0x%06X", v) : out.put("N/A (5709/16 only)");
    case form::list_5708_5709:
        if (board == 5708 || board == 5709 || board == 5716)
            return list_text(out, *row->list, v, raw);
        return out.put("N/A (5708, 5709/16 only)");
    case form::list_5709: return group ? list_text(out, *row->list, v, raw) : out.put("N/A (5709/16 only)");
    case form::preemp: {
        const int64_t index = toe_cfg_preemp_convert(v, true);
        // A register value outside the four has no index: its raw form is one the setter refuses,
        // so a dump never turns it into another value.
        if (index < 0)
            return raw ? out.put("-1") : out.put("Unknown(0x%08X)", v);
        return list_text(out, *row->list, uint32_t(index), raw);
    }
    }
    return nullptr;
}

int toe_cfg_option_set(const HostOps& ops, toe_cfg_record* rec, int option, const char* value, std::string* message)
{
    if (!toe_cfg_option_offered(ops, option, true, message))
        return 1;
    facts f;
    if (!read_facts(ops, &f) || !rec)
        return 1;
    if (message)
        message->clear();
    if (!value)
        value = "";
    const option_row& row = g_rows[option];
    uint8_t* p = field(rec, row);
    const uint32_t v = decimal(value);
    switch (row.accepts) {
    case rule::range:
        if (v > row.limit)
            return 1;
        set_int(rec, row, v);
        return 0;
    case rule::one_of:
        if (v >= 32 || !(row.limit >> v & 1u))
            return 1;
        set_int(rec, row, v);
        return 0;
    case rule::mac: {
        unsigned b[6];
        if (std::sscanf(value, "%02x:%02x:%02x:%02x:%02x:%02x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6)
            return 1;
        for (int i = 0; i < 6; ++i)
            p[i] = uint8_t(b[i]);
        return 0;
    }
    case rule::power: {
        int d[4];
        if (std::sscanf(value, "%d:%d:%d:%d", &d[3], &d[2], &d[1], &d[0]) != 4)
            return 1;
        for (int i = 0; i < 4; ++i)
            p[i] = uint8_t(d[i]);
        return 0;
    }
    case rule::hex16:
    case rule::hex32: {
        unsigned x = 0;
        if (std::sscanf(value, row.accepts == rule::hex16 ? "%04X" : "%08X", &x) != 1)
            return 1;
        set_int(rec, row, x);
        return 0;
    }
    case rule::smbus: {
        unsigned x = 0;
        if (std::sscanf(value, "0x%02x", &x) != 1 || (x & 1u))
            return 1;
        set_int(rec, row, x);
        return 0;
    }
    case rule::budget: {
        unsigned x = 0;
        if (std::sscanf(value, "0x%08X", &x) != 1 || x > row.limit)
            return 1;
        set_int(rec, row, x);
        return 0;
    }
    case rule::text:
        store_text(p, row.room, value);
        return 0;
    case rule::text_max:
        if (std::strlen(value) > size_t(row.room) - 2)
            return 1;
        store_text(p, row.room, value);
        return 0;
    case rule::text_v0:
        store_text(p, row.room, std::strcmp(value, "\"\"") == 0 || std::strcmp(value, "{}") == 0 ? "" : value);
        return 0;
    case rule::tcl_int: {
        // Any Tcl integer, cut to the field's 16 bits; a text that is no integer changes nothing.
        Tcl_Obj* obj = Tcl_NewStringObj(value, -1);
        Tcl_IncrRefCount(obj);
        Tcl_WideInt w = 0;
        if (Tcl_GetWideIntFromObj(nullptr, obj, &w) == TCL_OK)
            set_int(rec, row, uint32_t(w) & 0xFFFFu);
        Tcl_DecrRefCount(obj);
        return 0;
    }
    case rule::led:
        if (v > (f.group_5709() ? 14u : 7u))
            return 1;
        set_int(rec, row, v);
        return 0;
    case rule::design:
        if (v == 1) {
            set_int(rec, row, v);
            return 0;
        }
        if (v == 0 && !rec->f36 && !rec->f48) {
            set_int(rec, row, v);
            return 0;
        }
        if (v == 0 && message) {
            if (rec->f36)
                *message += "Disable option 36 first. ";
            if (rec->f48)
                *message += "Disable option 48 first. ";
            *message += "Aborted. ";
        }
        return 1;
    case rule::wol:
        if (v > 1)
            return 1;
        if (v == 1 && toe_wol_rule_refuses(f.board, f.phy == "SERDES", f.vaux, rec->f14))
            return 1;
        set_int(rec, row, v);
        return 0;
    case rule::mba_speed:
        if (toe_cfg_mba_speed_invalid(f.phy.c_str(), rec->f40, uint8_t(v)))
            return 1;
        set_int(rec, row, v & 0xFFu);
        return 0;
    case rule::lom_vaux:
        return lom_vaux(rec, row, option, v, message);
    case rule::preemp:
        if (v > row.limit)
            return 1;
        set_int(rec, row, uint32_t(toe_cfg_preemp_convert(v, false)));
        return 0;
    case rule::none:
        return 1;
    }
    return 1;
}
