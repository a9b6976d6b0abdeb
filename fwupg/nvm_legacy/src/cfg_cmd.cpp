// "cfg": the configuration editor of a legacy adapter. Options are set, queried, reset to their
// defaults or dumped, from console lines (menu shown before each) or from the command's words, and
// the record is written back on "save".
#include <cstdio>
#include <cstring>
#include <string>

#include "cfg_input.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/formats/vpd.h"
#include "fwupg/nvm_legacy/cfg_options.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr uint32_t CHIP_ID_REGISTER = 0x808;
constexpr uint32_t CHIP_5709 = 0x57090000u, CHIP_5709_COPPER = 0x57090003u;
constexpr size_t DUMP_NAME_MAX = 79;

// Options that take effect only after a power cycle, and those that live in the VPD.
constexpr int POWER_CYCLE[] = {2, 3, 4, 5, 6, 7, 16, 51, 52, 53, 54, 55, 56, 67, 68, 69, 70, 71, 72, 73, 74};
constexpr int VPD_OPTIONS[] = {8, 9, 10, 11, 12, 58};

template <size_t N>
bool listed(const int (&list)[N], long option)
{
    for (int o : list)
        if (o == option)
            return true;
    return false;
}

// The power rows of the chip's table name options 5/7 (device ID), 3/52 and 2/51.
constexpr struct {
    int column;
    int options[2];
} POWER_ROWS[] = {{0, {5, 7}}, {1, {3, 52}}, {2, {2, 51}}};

struct session {
    session(const HostOps& o, toe_cfg::input& i) : ops(o), in(i) {}
    const HostOps& ops;
    toe_cfg::input& in;
    toe_cfg_record rec{};
    toe_cfg::result_list results;
    bool changed = false, power_cycle = false, vpd = false;
};

void load_defaults(session& s)
{
    for (int n = 0; n < TOE_CFG_OPTIONS; ++n)
        toe_cfg_option_set(s.ops, &s.rec, n, g_toe_cfg_defaults[n], nullptr);   // refusals left as they are
    uint32_t dev = 0, chip = 0;
    if (toe::get_dev(s.ops, &dev) && s.ops.regRead && s.ops.regRead(dev, CHIP_ID_REGISTER, &chip) == 0) {
        if (chip == CHIP_5709 && toe::toe_var(s.ops, "PHY_TYPE") == "COPPER")
            chip = CHIP_5709_COPPER;
        for (const auto& row : POWER_ROWS)
            if (const char* text = toe_cfg_power_lookup(chip, row.column))
                for (int option : row.options)
                    toe_cfg_option_set(s.ops, &s.rec, option, text, nullptr);
    }
    vpd_set_defaults(&s.rec.vpd, VPD_DEF_NAME | VPD_DEF_PN | VPD_DEF_EC | VPD_DEF_SN | VPD_DEF_MN | VPD_DEF_V0);
    s.vpd = true;
}

// "dump FILE": false when the command fails.
bool dump(session& s, const std::string& word)
{
    std::string name;
    if (s.in.interactive()) {
        const size_t blank = word.find(' ');
        const size_t start = blank == std::string::npos ? blank : word.find_first_not_of(' ', blank);
        if (start != std::string::npos)
            name = word.substr(start, word.find(' ', start) - start);
        if (name.empty()) {
            fwupg_dbg_printf("Error, config dump file name missing.\n");
            toe_pause(s.ops.interp, "");
            return true;
        }
    } else if (!s.in.take_word(&name)) {
        toe::set_result(s.ops, "Error, config dump file name missing.");
        return false;
    }
    name.resize(std::min(name.size(), DUMP_NAME_MAX));
    char message[160] = "";
    if (toe_nvm_cfg_dump(s.ops, name.c_str(), &s.rec, message, sizeof message) == 0) {
        fwupg_dbg_printf("cfg info dumped to file %s.\n", name.c_str());
        if (s.in.interactive())
            toe_pause(s.ops.interp, "");
        return true;
    }
    if (!s.in.interactive()) {
        toe::set_result(s.ops, message);
        return false;
    }
    fwupg_dbg_printf("%s\n", message);
    toe_pause(s.ops.interp, "");
    return true;
}

// "N=value": false when the command fails.
bool set_option(session& s, long option, std::string value)
{
    if (value[0] == '[' && value.find(']') != std::string::npos) {
        std::string script = value.substr(1);
        script[script.rfind(']')] = ' ';
        if (!s.ops.tclEval || s.ops.tclEval(s.ops.interp, script.c_str()) != TCL_OK)
            return true;   // a script that fails leaves the option as it is
        value = Tcl_GetStringResult(s.ops.interp);
    }
    if (!value.empty() && value[0] == '{' && value.find('}') != std::string::npos)
        value = value.substr(1, value.rfind('}') - 1);
    std::string reason;
    if (toe_cfg_option_set(s.ops, &s.rec, int(option), value.c_str(), &reason) == 1)
        return toe_cfg::refuse(s.ops, s.in, toe_cfg::invalid_value(option, value, reason));
    s.changed = true;
    if (listed(POWER_CYCLE, option))
        s.power_cycle = true;
    else if (listed(VPD_OPTIONS, option))
        s.vpd = true;
    return true;
}

// Writes the record; then a power-cycle warning or the reset. False when the command fails.
bool save(session& s)
{
    const uint32_t mask = s.vpd ? TOE_CFG_ALL : TOE_CFG_ALL & ~uint32_t(TOE_CFG_VPD);
    if (toe_nvm_write_cfg(s.ops, &s.rec, mask) != 0) {
        // Nothing is reported as saved that was not written, and no reset follows.
        fwupg_dbg_printf("Error, new config updates not saved.\n");
        toe::set_error(s.ops, toe::ERR_WRITE);
        return false;
    }
    if (s.power_cycle) {
        fwupg_dbg_printf("Warning: Please power-cycle (NOT just reboot) the system\n");
        fwupg_dbg_printf("         for the data change to take effect.\n");
        return true;
    }
    if (s.ops.tclEval)
        s.ops.tclEval(s.ops.interp, "_reset");
    uint32_t dev = 0;
    if (!toe::get_dev(s.ops, &dev)) {
        toe::set_error(s.ops, toe::ERR_NO_DEVICE);
        toe::set_result(s.ops, "Can't find device index to update info.");
        return false;
    }
    for (HostNopFn refresh : {s.ops.nop12, s.ops.nop13, s.ops.nop14})
        if (refresh)
            refresh();
    return true;
}

int edit(const HostOps& ops, int objc, Tcl_Obj* const objv[])
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev)) {
        toe::set_error(ops, toe::ERR_NO_DEVICE);
        return TCL_ERROR;
    }
    int first = 1;
    for (int i = 0; i < objc; ++i)
        if (std::strcmp(Tcl_GetString(objv[i]), "-otherfn") == 0) {
            g_cfg_otherfn = 1;
            first = 2;
            break;
        }
    virt_nvm_free();
    toe_cfg::input in(ops, objc, objv, first);
    session s(ops, in);
    if (toe_nvm_read_cfg(ops, &s.rec) == 1)
        return TCL_ERROR;

    long option = 0;
    std::string line;
    for (bool done = false; !done;) {
        const int got = in.next(&line, [&] { toe_cfg_menu(ops, &s.rec); });
        if (got < 0)
            return toe_cfg::input_failed(ops);
        if (got == 0)
            break;
        const toe_cfg::line_parts p = toe_cfg::split_line(line, &option);
        if (p.word.empty())
            continue;
        if (p.word.size() >= 2 && toe_cfg::selects(p.word, "default")) {
            load_defaults(s);
        } else if (p.word.find("dump") != std::string::npos) {
            if (!dump(s, p.word))
                return TCL_ERROR;
        } else if (toe_cfg::selects(p.word, "cancel")) {
            s.changed = false;
            done = true;
        } else if (toe_cfg::selects(p.word, "save")) {
            s.changed = done = true;
        } else if (!p.assignment) {
            continue;
        } else if (p.value.empty()) {
            if (const char* text = toe_cfg_option_text(ops, &s.rec, int(option), true))
                s.results.add(text);
        } else if (!set_option(s, option, p.value)) {
            return TCL_ERROR;
        }
    }

    if (s.changed && !save(s)) {
        if (in.interactive())
            fwupg_dbg_printf("Config %ssaved.\n", "not ");
        return TCL_ERROR;
    }
    if (!in.interactive())
        s.results.set_as_result(ops.interp);
    else
        fwupg_dbg_printf("Config %ssaved.\n", s.changed ? "" : "not ");
    return TCL_OK;
}

}  // namespace

int toe_nvm_cfg_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return toe_cfg::run_editor(ops, edit, objc, objv);
}
