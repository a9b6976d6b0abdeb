#include "cfg_input.h"

#include <cstdlib>
#include <cstring>

#include "fwupg/nvm_legacy/cfg_options.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "toe_context.h"

namespace toe_cfg {

int run_editor(const HostOps& ops, int (*edit)(const HostOps&, int, Tcl_Obj* const[]), int objc,
               Tcl_Obj* const objv[])
{
    const int rc = toe::guarded(ops, [&] { return edit(ops, objc, objv); });
    g_cfg_otherfn = 0;
    return rc;
}

int input::next(std::string* line, const std::function<void()>& menu)
{
    if (!interactive_) {
        if (next_ >= objc_)
            return 0;
        *line = Tcl_GetString(objv_[next_++]);
        return 1;
    }
    menu();
    Tcl_Channel in = Tcl_GetStdChannel(TCL_STDIN);
    Tcl_Obj* text = Tcl_NewObj();
    Tcl_IncrRefCount(text);
    const int got = in ? Tcl_GetsObj(in, text) : -1;
    if (got >= 0)
        *line = Tcl_GetString(text);
    Tcl_DecrRefCount(text);
    return got >= 0 ? 1 : -1;
}

bool input::take_word(std::string* word)
{
    if (interactive_ || next_ >= objc_)
        return false;
    *word = Tcl_GetString(objv_[next_++]);
    return true;
}

line_parts split_line(const std::string& line, long* option)
{
    line_parts p;
    const size_t start = line.find_first_not_of(' ');
    p.word = start == std::string::npos ? std::string() : line.substr(start);
    const size_t eq = line.find('=');
    p.assignment = eq != std::string::npos;
    if (p.assignment) {
        *option = std::strtol(line.c_str(), nullptr, 10);
        const size_t v = line.find_first_not_of(" \t\r\n\v\f", eq + 1);
        p.value = v == std::string::npos ? std::string() : line.substr(v);
    }
    return p;
}

bool selects(const std::string& word, const char* keyword)
{
    return !word.empty() && std::strstr(keyword, word.c_str()) != nullptr;
}

int input_failed(const HostOps& ops)
{
    toe::set_error(ops, toe::ERR_BAD_ARGS);
    toe::set_result(ops, "Error reading input.");
    return TCL_ERROR;
}

std::string invalid_value(long option, const std::string& value, const std::string& reason)
{
    char text[160];
    std::snprintf(text, sizeof text, "Invalid value (%d=%s): %s", int(option), value.c_str(), reason.c_str());
    return text;
}

bool refuse(const HostOps& ops, const input& in, const std::string& text)
{
    if (in.interactive()) {
        toe_pause(ops.interp, (text + "Press any key to continue...").c_str());
        return true;
    }
    toe::set_result(ops, text.c_str());
    return false;
}

}  // namespace toe_cfg
