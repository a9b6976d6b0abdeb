// The "ipmi" command: the link settings editor ("cfg") and the integrity check ("crc"). No command
// table registers it, and it refuses device index 0, the only one the front end publishes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include <tcl.h>

#include "fwupg/host_ops.h"
#include "fwupg/nvm_legacy/ipmi_cfg.h"
#include "ipmi_image.h"

namespace {

// Item labels, padded to 52 characters and ending ": ".
constexpr const char* ITEMS[] = {
    "Dummy String",
    "Link speed {10/100(0),10(1),100(2),1000(3),all(4)}  : ",
    "Link duplexity {Full(0), Half(1)}                   : ",
    "Link pause capability {Enable(0), Disable(1)}       : ",
    "Link Auto-neg {Enable(0), Disable(1)}               : ",
};
constexpr const char* DEFAULTS[] = {"Dummy String", "4", "0", "0", "0"};

// Each item: its bits in the settings byte, its largest value and its value names.
struct item_row {
    int shift;
    uint8_t mask;
    unsigned max;
    const char* names[5];
};
constexpr item_row ROWS[] = {
    {0, 0, 0, {}},
    {0, 0x07, 4, {"10/100", "10", "100", "1000", "All"}},
    {5, 0x01, 1, {"Full", "Half"}},
    {6, 0x01, 1, {"Enabled", "Disabled"}},
    {7, 0x01, 1, {"Enabled", "Disabled"}},
};
static_assert(std::size(ROWS) == std::size(ITEMS) && std::size(DEFAULTS) == std::size(ITEMS));
constexpr int LAST_ITEM = 4;

void flush_hook()
{
    HostOps ops;
    if (get_current_host_ops(&ops) && ops.nop2)
        ops.nop2();
}

Tcl_Obj* number(uint32_t v)
{
    HostOps ops;
    if (get_current_host_ops(&ops) && ops.nop4)
        ops.nop4();
    return Tcl_NewWideIntObj(Tcl_WideInt(v));
}

// The editor: words[0] is "cfg"; further words are inputs, none means interactive.
int editor(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    uint8_t settings = 0;
    if (toe_ipmi_cfg_load(interp, &settings) != 0) {
        // Never save a settings byte that was not read.
        Tcl_AppendResult(interp, "Error reading IPMI config.", static_cast<char*>(nullptr));
        return TCL_ERROR;
    }
    const bool interactive = objc < 2;
    Tcl_Obj* results = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(results);
    bool marked = false;
    int item = 0;
    for (int word = 1;; ++word) {
        std::string input;
        if (interactive) {
            toe_ipmi_menu(interp, settings);
            Tcl_Channel in = Tcl_GetStdChannel(TCL_STDIN);
            Tcl_Obj* line = Tcl_NewObj();
            Tcl_IncrRefCount(line);
            const int n = in ? Tcl_GetsObj(in, line) : -1;
            input = Tcl_GetString(line);
            Tcl_DecrRefCount(line);
            if (n < 0) {
                Tcl_DecrRefCount(results);
                Tcl_AppendResult(interp, "Error reading input.", static_cast<char*>(nullptr));
                return TCL_ERROR;
            }
        } else {
            input = Tcl_GetString(objv[word]);
        }
        const size_t eq = input.find('=');
        std::string value;
        if (eq != std::string::npos) {
            item = int(std::strtol(input.c_str(), nullptr, 10) & 0x7FFFFFFF);
            value = input.substr(eq + 1);
            value.erase(0, value.find_first_not_of(" \t\r\n\v\f") == std::string::npos
                               ? value.size() : value.find_first_not_of(" \t\r\n\v\f"));
        }
        if (input.find("default") != std::string::npos) {
            for (int i = 0; i <= LAST_ITEM; ++i)
                toe_ipmi_item_set(interp, &settings, i, DEFAULTS[i]);
        } else if (input.find("cancel") != std::string::npos) {
            marked = false;
            break;
        } else if (input.find("save") != std::string::npos) {
            marked = true;
            break;
        } else if (eq == std::string::npos) {
            // nothing to do
        } else if (value.empty()) {
            if (const char* text = toe_ipmi_item_text(settings, item, 1))
                Tcl_ListObjAppendElement(interp, results, Tcl_NewStringObj(text, -1));
        } else {
            bool usable = true;
            const size_t close = value.rfind(']');
            if (value[0] == '[' && close != std::string::npos) {
                value[close] = ' ';
                if (Tcl_Eval(interp, value.c_str() + 1) == TCL_OK)
                    value = Tcl_GetStringResult(interp);
                else
                    usable = false;
                Tcl_ResetResult(interp);
            }
            if (usable) {
                toe_ipmi_item_set(interp, &settings, item, value.c_str());
                marked = true;
            }
        }
        if (!interactive && word == objc - 1)
            break;
    }
    bool saved = false;
    if (marked) {
        fwupg_dbg_printf("Saving config...\n");
        saved = toe_ipmi_cfg_save(interp, settings) == 0;
        if (!saved)
            fwupg_dbg_printf("Error, new IPMI config updates not saved.\n");
    }
    if (!interactive)
        Tcl_SetObjResult(interp, results);
    Tcl_DecrRefCount(results);
    fwupg_dbg_printf("Config %ssaved.\n", saved ? "" : "not ");
    return TCL_OK;
}

// The check: words[0] is "crc", then nothing or "-fix".
int check(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    bool fix = false;
    if (objc == 2 && std::strcmp(Tcl_GetString(objv[1]), "-fix") == 0) {
        fix = true;
    } else if (objc != 1) {
        Tcl_WrongNumArgs(interp, 2, objv - 1, "?-fix?");
        return TCL_ERROR;
    }
    ipmi_image image;
    if (image.find_and_read(interp) != 0)
        return TCL_ERROR;
    const uint32_t computed = image.computed_crc(), stored = image.stored_crc();
    Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
    int rc = TCL_OK;
    if (computed == stored) {
        Tcl_ListObjAppendElement(interp, list, Tcl_NewStringObj("OK", -1));
        Tcl_ListObjAppendElement(interp, list, number(computed));
    } else if (fix) {
        image.seal();
        rc = image.write(interp) == 0 ? TCL_OK : TCL_ERROR;
        Tcl_ListObjAppendElement(interp, list, Tcl_NewStringObj("Fixed", -1));
        Tcl_ListObjAppendElement(interp, list, number(computed));
    } else {
        Tcl_ListObjAppendElement(interp, list, number(computed));
        Tcl_ListObjAppendElement(interp, list, number(stored));
    }
    Tcl_SetObjResult(interp, list);
    return rc;
}

}  // namespace

const char* toe_ipmi_item_text(uint8_t settings, int item, int raw)
{
    static char text[32];
    if (item < 1 || item > LAST_ITEM)
        return nullptr;
    const item_row& r = ROWS[item];
    const unsigned v = (settings >> r.shift) & r.mask;
    if (raw)
        std::snprintf(text, sizeof text, "%d", int(v));
    else if (v <= r.max)
        std::snprintf(text, sizeof text, "%s", r.names[v]);
    else
        std::snprintf(text, sizeof text, "Unknown(%d)", int(v));
    return text;
}

int toe_ipmi_item_set(Tcl_Interp*, uint8_t* settings, int item, const char* text)
{
    if (item < 1 || item > LAST_ITEM)
        return 0;
    const item_row& r = ROWS[item];
    // Decimal conversion; a negative number is out of range as an unsigned value.
    const long number = std::strtol(text ? text : "", nullptr, 10);
    const unsigned v = number < 0 || number > 0xFFFF ? 0xFFFFu : unsigned(number);
    if (v > r.max)
        return 1;
    *settings = uint8_t((*settings & ~(r.mask << r.shift)) | v << r.shift);
    return 0;
}

void toe_ipmi_menu(Tcl_Interp*, uint8_t settings)
{
    // Four items never reach the paging point of longer menus.
    for (int i = 1; i <= LAST_ITEM; ++i)
        fwupg_dbg_printf("%2d: %s%s\n", i, ITEMS[i], toe_ipmi_item_text(settings, i, 0));
    fwupg_dbg_printf("Choice (<option>=<value>, ");
    fwupg_dbg_printf("save, ");
    fwupg_dbg_printf("cancel): ");
    flush_hook();
}

int toe_ipmi_help(char* buffer, int, int page, uint32_t* length)
{
    if (page != 0)
        return -1;
    char text[512];
    const int n = std::snprintf(text, sizeof text,
                                "%-*s IPMI-PT manipulation.\n\n"
                                "Usage: ipmi cfg [item=choice]*\n"
                                "           # Configure IPMI config table\n"
                                "       ipmi crc [-fix]\n"
                                "           # Check IPMI config table integrity\n"
                                "Example: ipmi cfg 1=0 2=1\n"
                                "         ipmi crc \n",
                                15, "ipmi");
    std::memcpy(buffer, text, size_t(n) + 1);
    if (length)
        *length = uint32_t(n);
    return 0;
}

int toe_ipmi_cmd(void*, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    try {
        HostOps ops;
        int dev = 0;
        if (!get_current_host_ops(&ops) || !ops.getToeInt || ops.getToeInt(ops.interp, "DEV", &dev) != 0)
            return TCL_ERROR;
        if (dev == 0 || dev == 99) {
            Tcl_AppendResult(interp, "Cannot operate on virtual/arbitrary PCI device.", static_cast<char*>(nullptr));
            return TCL_ERROR;
        }
        if (objc < 2) {
            Tcl_WrongNumArgs(interp, 1, objv, "option=(cfg|crc) ?arg...?");
            return TCL_ERROR;
        }
        static const char* const options[] = {"cfg", "crc", nullptr};
        int which = 0;
        if (Tcl_GetIndexFromObj(interp, objv[1], options, "option", 0, &which) != TCL_OK)
            return TCL_ERROR;
        return which == 0 ? editor(interp, objc - 1, objv + 1) : check(interp, objc - 1, objv + 1);
    } catch (...) {
        return TCL_ERROR;
    }
}
