// Input of the interactive configuration editors (cfg, rescfg): one line of the console's standard
// input before which the menu is shown, or one argument word of the command, and the parts of an
// "N=value" line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <tcl.h>

#include "fwupg/host_ops.h"

namespace toe_cfg {

class input {
public:
    input(const HostOps&, int objc, Tcl_Obj* const objv[], int first)
        : objc_(objc), objv_(objv), next_(first), interactive_(first >= objc) {}
    bool interactive() const { return interactive_; }
    // The next line: 1 read, 0 no argument word left, -1 the console could not be read.
    int next(std::string* line, const std::function<void()>& menu);
    // The next argument word, consumed (argument mode only). False when none is left.
    bool take_word(std::string* word);

private:
    int objc_;
    Tcl_Obj* const* objv_;
    int next_;
    bool interactive_;
};

// Runs an editor's body as a command: no exception leaves it, and the other-function choice of the
// cfg command ends with it, whatever the outcome.
int run_editor(const HostOps& ops, int (*edit)(const HostOps&, int, Tcl_Obj* const[]), int objc,
               Tcl_Obj* const objv[]);

// One line of input, taken apart.
struct line_parts {
    std::string word;    // the line without its leading blanks
    bool assignment;     // the line holds "="
    std::string value;   // after "=" and the white space behind it
};
// `option` keeps its previous value for a line without "=".
line_parts split_line(const std::string& line, long* option);

// A word that occurs whole inside the keyword selects it: c, can and cel all mean "cancel".
bool selects(const std::string& word, const char* keyword);

// The failure of a console read: last error 2 and "Error reading input.".
int input_failed(const HostOps& ops);

// "Invalid value (N=value): reason", cut to the 160 bytes the editors keep for it.
std::string invalid_value(long option, const std::string& value, const std::string& reason);

// Shows a refusal: paused in interactive mode; in argument mode the result, and the command fails.
// Returns true when the command goes on.
bool refuse(const HostOps& ops, const input& in, const std::string& text);

// A result list of values that queries ("N=") collect.
class result_list {
public:
    result_list() : list_(Tcl_NewListObj(0, nullptr)) { Tcl_IncrRefCount(list_); }
    ~result_list() { Tcl_DecrRefCount(list_); }
    result_list(const result_list&) = delete;
    result_list& operator=(const result_list&) = delete;
    void add(const char* text) { Tcl_ListObjAppendElement(nullptr, list_, Tcl_NewStringObj(text, -1)); }
    void set_as_result(Tcl_Interp* interp) const { Tcl_SetObjResult(interp, list_); }

private:
    Tcl_Obj* list_;
};

}  // namespace toe_cfg
