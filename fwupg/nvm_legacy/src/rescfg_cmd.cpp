// "rescfg": edits the iSCSI pending-task count of the reserved configuration block (FEAT_INFO at
// NVRAM 0x200), from console lines or from the command's words, and renews the block's CRC.
#include <cstdio>
#include <cstdlib>

#include "cfg_input.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm_legacy/cfg_options.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr uint32_t BLOCK_AT = 0x200, BLOCK_LEN = 256;
// The word whose low half holds the count: byte 40 of the port's field set (port 0 at 20, port 1 at 136).
constexpr uint32_t PORT0_WORD = (20 + 40) / 4, PORT1_WORD = (136 + 40) / 4;
constexpr uint16_t DEFAULT_TASKS = 0x20;

int edit(const HostOps& ops, int objc, Tcl_Obj* const objv[])
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev)) {
        toe::set_error(ops, toe::ERR_NO_DEVICE);
        return TCL_ERROR;
    }
    virt_nvm_free();
    uint32_t block[BLOCK_LEN / 4];
    if (toe::read_block(ops, dev, BLOCK_AT, BLOCK_LEN, reinterpret_cast<uint8_t*>(block)) != 0)
        return TCL_ERROR;
    const bool second_port = toe::board_is_dual(toe::board(ops)) && !toe::port0_is_first(ops);
    uint32_t& word = block[second_port ? PORT1_WORD : PORT0_WORD];
    auto set_tasks = [&word](uint32_t v) { word = (word & 0xFFFF0000u) | (v & 0xFFFFu); };

    toe_cfg::input in(ops, objc, objv, 1);
    toe_cfg::result_list results;
    bool changed = false;
    long option = 0;
    std::string line;
    for (bool done = false; !done;) {
        const int got = in.next(&line, [&] { toe_rescfg_menu(ops, uint16_t(word)); });
        if (got < 0)
            return toe_cfg::input_failed(ops);
        if (got == 0)
            break;
        const toe_cfg::line_parts p = toe_cfg::split_line(line, &option);
        if (p.word.empty())
            continue;
        if (p.word.find("default") != std::string::npos) {
            set_tasks(DEFAULT_TASKS);
            changed = done = true;
        } else if (toe_cfg::selects(p.word, "cancel")) {
            done = true;
        } else if (toe_cfg::selects(p.word, "save")) {
            changed = done = true;
        } else if (!p.assignment) {
            continue;
        } else if (p.value.empty()) {
            results.add(std::to_string(word & 0xFFFF).c_str());
        } else if (static_cast<unsigned long>(option) < 2) {
            set_tasks(uint32_t(std::strtol(p.value.c_str(), nullptr, 10)));
            changed = true;
        } else if (!toe_cfg::refuse(ops, in, toe_cfg::invalid_value(option, p.value, ""))) {
            return TCL_ERROR;
        }
    }

    if (changed) {
        block[BLOCK_LEN / 4 - 1] = toe_crc_of_words(block, BLOCK_LEN - 4, 0);
        // A block that was not written is not saved, whatever was typed.
        if (toe::write_block(ops, dev, BLOCK_AT, BLOCK_LEN, reinterpret_cast<uint8_t*>(block)) != 0) {
            toe::set_error(ops, toe::ERR_WRITE);
            fwupg_dbg_printf("Config %ssaved.\n", "not ");
            return TCL_ERROR;
        }
    }
    if (!in.interactive())
        results.set_as_result(ops.interp);
    fwupg_dbg_printf("Config %ssaved.\n", changed ? "" : "not ");
    return TCL_OK;
}

}  // namespace

int toe_nvm_rescfg_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return toe_cfg::run_editor(ops, edit, objc, objv);
}
