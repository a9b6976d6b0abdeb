// The dump of the configuration options: a commented listing of every offered option followed by
// one continued "nvm cfg" command line that sets each editable option to its current value. The
// addresses (options 1, 33, 77) appear only in the comments, so a dump never copies them.
#include <cstdio>
#include <cstring>
#include <string>

#include <tcl.h>

#include "fwupg/nvm_legacy/cfg_options.h"

int toe_nvm_cfg_dump(const HostOps& ops, const char* file_name, const toe_cfg_record* rec, char* message,
                     size_t message_size)
{
    if (message && message_size)
        message[message_size - 1] = '\0';
    Tcl_Channel chan = file_name ? Tcl_OpenFileChannel(nullptr, file_name, "a", 0644) : nullptr;
    if (!chan) {
        if (message && message_size)
            std::snprintf(message, message_size, "%s", "Failed to open file.");
        return 1;
    }
    Tcl_SetChannelOption(nullptr, chan, "-translation", "binary");
    std::string out;
    for (int n = 1; n < TOE_CFG_OPTIONS; ++n) {
        if (!toe_cfg_option_offered(ops, n, true, nullptr))
            continue;
        const char* value = toe_cfg_option_text(ops, rec, n, false);
        char line[64];
        std::snprintf(line, sizeof line, "# %2d: ", n);
        out += line;
        // Every line of a broken label stays a comment.
        for (const std::string text = std::string(g_toe_cfg_options[n]) + (value ? value : ""); char c : text) {
            out += c;
            if (c == '\n')
                out += "# ";
        }
        out += "\n";
    }
    out += "nvm cfg \\\n";
    for (int n = 1; n < TOE_CFG_OPTIONS; ++n) {
        if (!toe_cfg_option_offered(ops, n, false, nullptr))
            continue;
        const char* raw = toe_cfg_option_text(ops, rec, n, true);
        out += "        \"" + std::to_string(n) + "=";
        for (const char* c = raw ? raw : ""; *c; ++c) {
            if (*c == '"')
                out += '\\';
            out += *c;
        }
        out += "\"\\\n";
    }
    out += "\n";
    const bool ok = Tcl_Write(chan, out.data(), int(out.size())) == int(out.size());
    return (Tcl_Close(nullptr, chan) == TCL_OK && ok) ? 0 : 1;
}
