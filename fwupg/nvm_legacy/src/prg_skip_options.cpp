#include "prg_skip_options.h"

#include <cstdlib>

#include "fwupg/nvm_legacy/cfg_options.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "fwupg/nvm_legacy/prg_cmd.h"
#include "toe_context.h"

namespace {
constexpr size_t MAX_ENTRIES = 40, MAX_LINE = 404;
}  // namespace

int toe_prg_save_options(const HostOps& ops, const std::vector<int>& options, toe_prg_saved_options* saved)
{
    // Unset facts read as empty or 0: then no device is visited (this front end publishes neither
    // BUS nor TOTAL_DEV).
    const std::string bus = toe::toe_var(ops, "BUS").substr(0, 5);
    saved->noted_device = uint32_t(std::strtoul(toe::toe_var(ops, "DEV").c_str(), nullptr, 0));
    const long total = std::strtol(toe::toe_var(ops, "TOTAL_DEV").c_str(), nullptr, 0);
    int rc = 0;
    for (long d = 1; d < total && saved->entries.size() < MAX_ENTRIES && rc == 0; ++d) {
        toe_prg_saved_options::entry e{uint32_t(d), "nvm cfg "};
        toe_nvm_select_device(ops, uint32_t(d));
        if (toe::toe_var(ops, "BUS").substr(0, 5) != bus)
            continue;
        for (int option : options) {
            toe_cfg_record rec{};
            if (toe_nvm_read_cfg(ops, &rec) != 0) {
                rc = 1;
                break;
            }
            const char* text = toe_cfg_option_text(ops, &rec, option, true);
            const std::string value = text ? text : "";
            const std::string item = std::to_string(option) + "=" + value;
            e.line += value.find(' ') != std::string::npos ? "\"" + item + "\" " : item + " ";
        }
        e.line.resize(std::min(e.line.size(), MAX_LINE));
        saved->entries.push_back(std::move(e));
    }
    toe_nvm_select_device(ops, saved->noted_device);
    return rc;
}

void toe_prg_restore_options(const HostOps& ops, const toe_prg_saved_options& saved)
{
    for (const auto& e : saved.entries) {
        toe_nvm_select_device(ops, e.device);
        if (ops.interp) {
            Tcl_ResetResult(ops.interp);
            Tcl_EvalEx(ops.interp, e.line.c_str(), -1, 0);
        }
        fwupg_dbg_printf("Restore: %u str=%s\n", e.device, e.line.c_str());
    }
    toe_nvm_select_device(ops, saved.noted_device);
}
