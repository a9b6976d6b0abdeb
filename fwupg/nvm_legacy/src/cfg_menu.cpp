// The paged menus of the cfg and rescfg commands and the pause between their pages.
#include <cstring>

#include "cfg_option_table.h"
#include "fwupg/nvm_legacy/cfg_options.h"
#include "toe_context.h"

namespace {

constexpr int PAGE_LINES = 18;

// Counts one line for an entry, and one more when its label breaks (however often); pauses once
// the count passes a page. False when the user asked to stop.
struct pager {
    int lines = 0;
    const char* prompt;
    bool stop_on_q;
    bool next(const char* label)
    {
        lines += std::strchr(label, '\n') ? 2 : 1;
        if (lines <= PAGE_LINES)
            return true;
        const int key = toe_pause(nullptr, prompt);
        if (stop_on_q && key == 'q')
            return false;
        lines = 0;
        return true;
    }
};

void flush(const HostOps& ops)
{
    if (ops.nop2)
        ops.nop2();
}

}  // namespace

int toe_pause(Tcl_Interp*, const char* prompt)
{
    fwupg_dbg_printf("%s", prompt);
    HostOps ops;
    if (!get_current_host_ops(&ops))
        return -1;
    flush(ops);
    const int key = ops.getChar ? ops.getChar() : -1;
    fwupg_dbg_printf("\n");
    return key;
}

void toe_cfg_menu(const HostOps& ops, const toe_cfg_record* rec)
{
    toe_cfg::facts f;
    if (!toe_cfg::read_facts(ops, &f))
        return;
    pager page{.prompt = "Press 'q' for choices, or any key to continue... (paused)", .stop_on_q = true};
    for (int n = 1; n < TOE_CFG_OPTIONS; ++n) {
        const char* label = g_toe_cfg_options[n];
        if (!label[0] || !toe_cfg_option_offered(ops, n, true, nullptr))
            continue;
        const char* value = toe_cfg_option_text(ops, rec, n, false);
        if (n == 13 && f.group_5709()) {
            fwupg_dbg_printf("%2d: %s%s%s(%d)\n", n,
                             "[P] Led Mode { MacMode(0), PhyMode1(1), PhyMode2(2),\n"
                             "        ..., PhyMode11(14) } (Refer to 5709 manual \n",
                             "        for value)                                      : ", value, rec->f13);
        } else if (n == 13) {
            fwupg_dbg_printf("%2d: %s%s(%d)\n", n, label, value, rec->f13);
        } else if (n == 57 && !(f.board == 5708 && (f.chip_rev == "B0" || f.chip_rev == "B1" || f.dev == 0))) {
            fwupg_dbg_printf("%2d: %s%s\n", n, label, "N/A (5708 B0/B1 only)");
        } else {
            fwupg_dbg_printf("%2d: %s%s\n", n, label, value);
        }
        if (!page.next(label))
            break;
    }
    fwupg_dbg_printf("Choice (<option>=<value>, ");
    fwupg_dbg_printf("default, ");
    fwupg_dbg_printf("save, ");
    fwupg_dbg_printf("dump <file>, ");
    fwupg_dbg_printf("cancel): ");
    flush(ops);
}

void toe_rescfg_menu(const HostOps& ops, uint16_t pending_tasks)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev))
        return;
    pager page{.prompt = "Press any key to continue... (paused)", .stop_on_q = false};
    if (g_toe_rescfg_options[1][0]) {
        fwupg_dbg_printf("%2d: %s%d\n", 1, g_toe_rescfg_options[1], pending_tasks);
        page.next(g_toe_rescfg_options[1]);
    }
    fwupg_dbg_printf("Choice (<option>=<value>, ");
    fwupg_dbg_printf("default, ");
    fwupg_dbg_printf("save, ");
    fwupg_dbg_printf("cancel): ");
    flush(ops);
}
