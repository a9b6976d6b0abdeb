// The words of "nvm upgrade": options with their sub-options, the file name, -F anywhere, and the
// usage text built from the image-type table.

#include "fwupg/nvm_legacy/image_table.h"
#include "toe_context.h"
#include "upgrade_internal.h"

namespace toe::upgrade {

namespace {

constexpr uint32_t T(const char (&t)[5]) { return toe_tag_word(t[0], t[1], t[2], t[3]); }

// "." in a tag below stands for a zero byte.
constexpr uint32_t Z(const char (&t)[5])
{
    auto b = [&](int i) { return t[i] == '.' ? '\0' : t[i]; };
    return toe_tag_word(b(0), b(1), b(2), b(3));
}

// Record tags each family accepts, zero-terminated.
const uint32_t BC_TAGS[] = {Z(".bc1"), Z(".bc2"), T("l2rx"), 0};
const uint32_t IPMI_TAGS[] = {Z(".ipi"), Z(".ips"), Z(".ipc"), 0};
const uint32_t UMP_TAGS[] = {Z(".imd"), 0};
const uint32_t NCSI_TAGS[] = {T("nccm"), T("nclx"), T("ncle"), 0};
const uint32_t NO_TAGS[] = {0};
const uint32_t ISCSI_TAGS[] = {Z("..ib"), Z(".ibc"), T("ibcp"), Z(".ib6"), T("ib4n"), T("ibpl"), T("ibpe"), T("ibc6"), 0};
const uint32_t FCOE_TAGS[] = {Z(".feb"), T("febc"), T("febp"), 0};
const uint32_t CCM_TAGS[] = {Z(".ccm"), 0};

const option_row OPTIONS[] = {
    {"-bc", '1', 0, true, BC_TAGS},
    {"-ipmi", '2', 0, true, IPMI_TAGS},
    {"-ump", '3', 0, false, UMP_TAGS},
    {"-ncsi", '4', 0, true, NCSI_TAGS},
    {"-mba", '7', 0, false, NO_TAGS},
    {"-rxp", '7', 0, false, NO_TAGS},
    {"-ib", '5', 1, true, ISCSI_TAGS},
    {"-ib_ipv6", '5', 2, true, ISCSI_TAGS},
    {"-ib_ipv4n6", '5', 3, true, ISCSI_TAGS},
    {"-feb", '6', 0, true, FCOE_TAGS},
    {"-ccm", '9', 0, false, CCM_TAGS},
};

// -c, -p or -cp after -feb or an -ib option; consumed when present.
void forced_parts(int objc, Tcl_Obj* const objv[], int* i, bool* cfg, bool* prog)
{
    if (*i >= objc)
        return;
    const std::string w = Tcl_GetString(objv[*i]);
    if (w == "-c" || w == "-p" || w == "-cp") {
        *cfg = *cfg || w != "-p";
        *prog = *prog || w != "-c";
        ++*i;
    }
}

}  // namespace

const option_row* find_option(const std::string& name)
{
    for (const option_row& row : OPTIONS)
        if (name == row.name)
            return &row;
    return nullptr;
}

std::string usage_text()
{
    std::string s = "[-F] -bc|";
    for (int row = 0; row < TOE_IMAGE_ROWS; ++row) {
        const std::string option = g_toe_image_table[row].option;
        s += option;
        if (option.empty() || row == TOE_IMAGE_ROWS - 1)
            continue;
        if (option == "-mba")
            s += "[-p <pfn_val>]";
        else if (option == "-ib")
            s += "|-ib_ipv6|-ib_ipv4n6 [-c|-p|-cp]";
        else if (option == "-feb")
            s += "[-c|-p|-cp]";
        s += "|";
    }
    return s + "|-ipmi|-ncsi filename";
}

int usage_error(const HostOps& ops, Tcl_Obj* const objv[], const std::string& option)
{
    if (option == "-mbi") {
        // The multi-boot image belongs to the other engine: no text of this one.
        toe::set_error(ops, ERR_MBI_OPTION);
        return 1;
    }
    toe::set_error(ops, toe::ERR_BAD_ARGS);
    toe::wrong_args(ops, objv, usage_text().c_str());
    return 1;
}

int parse_request(const HostOps& ops, int objc, Tcl_Obj* const objv[], request* r)
{
    std::string current;   // the option word being parsed, for the usage error
    if (objc < 3) {
        for (int i = 1; i < objc; ++i)
            if (Tcl_GetString(objv[i])[0] == '-')
                current = Tcl_GetString(objv[i]);
        return usage_error(ops, objv, current);
    }
    for (int i = 0; i < objc;) {
        const std::string w = Tcl_GetString(objv[i++]);
        if (w == "-F") {
            r->version_check = false;
            continue;
        }
        if (w.empty() || w[0] != '-')
            continue;
        current = w;
        const option_row* option = find_option(w);
        if (!option)
            return usage_error(ops, objv, current);
        r->option = option;
        if (w == "-ncsi")
            r->ncsi = true;
        if (w == "-feb")
            forced_parts(objc, objv, &i, &r->feb_cfg_forced, &r->feb_prog_forced);
        if (option->iscsi_mode)
            forced_parts(objc, objv, &i, &r->ib_cfg_forced, &r->ib_prog_forced);
        while (w == "-mba" && i < objc) {
            const std::string sub = Tcl_GetString(objv[i]);
            if (sub == "-d") {
                r->no_device_check = true;
                ++i;
            } else if (sub == "-p") {
                int pfn = 0;
                if (i + 1 >= objc || Tcl_GetIntFromObj(nullptr, objv[i + 1], &pfn) != TCL_OK)
                    return usage_error(ops, objv, current);
                r->pfn_forced = true;
                r->pfn = static_cast<uint16_t>(pfn);
                i += 2;
            } else {
                break;
            }
        }
        if (i >= objc)
            return usage_error(ops, objv, current);
        r->file = Tcl_GetString(objv[i++]);
    }
    if (!r->option)
        return usage_error(ops, objv, current);
    return 0;
}

}  // namespace toe::upgrade
