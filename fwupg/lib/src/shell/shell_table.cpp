// The shell's command table, its registration, the option-to-image-type map and the helpers that
// turn words into command lines.
#include <strings.h>

#include "fwupg/frame_work.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/shell_commands.h"
#include "shell_internal.h"

const ShellCommandRow FrontEndCommandTable[14] = {
    {"cfg", FWUPG_NvmCfg_Cmd, "Configure NVRAM"},
    {"upgrade", FWUPG_Upgrade_Cmd, "upgrades the firmware or bootcode"},
    {"_upgrade", FWUPG_Nvm_Cmd, "ludra upgrade"},
    {"_prg", FWUPG_Nvm_Cmd, "ludra prg"},
    {"_dump", FWUPG_Nvm_Cmd, "ludra dump"},
    {"_crc", FWUPG_Nvm_Cmd, "ludra crc"},
    {"dir", FWUPG_Nvm_Cmd, "display file directory in NVRAM"},
    {"q", FWUPG_Quit_Cmd, "exit the program"},
    {"_reset", FWUPG_Reset_Cmd, "resets the device"},
    {"phy", FWUPG_Phy_Cmd, "upgrades the PHY firmware"},
    {"crc", FWUPG_Crc_Cmd, "check/update NVRAM checksum"},
    {"update_cfg", FWUPG_Update_Cfg_Cmd, "upgrades nvm_cfg and default_cfg"},
    {"_update_cfg", FWUPG_Nvm_Update_Cfg_Cmd, "update def_cfg and meta"},
    {nullptr, nullptr, nullptr},
};

void RegisterShellCommands(Tcl_Interp* interp)
{
    for (const ShellCommandRow* row = FrontEndCommandTable; row->name; ++row)
        Tcl_CreateObjCommand(interp, row->name, row->proc, nullptr, nullptr);
}

namespace {

struct OptionType {
    const char* option;
    uint32_t type;
};

// First match wins, in this order.
constexpr OptionType kOptionTypes[] = {
    {"-mba", 1},       {"-l2t", 8},        {"-ipmi", 2},       {"-ump", 3},       {"-ncsi", 4},
    {"-ib", 5},        {"-ib_ipv6", 5},    {"-ib_ipv4n6", 5},  {"-mfw1", 10},     {"-mfw", 10},
    {"-feb", 11},      {"-vpd", 12},       {"-ccm", 14},       {"-mbi", 15},      {"-init_hw", 16},
    {"-upg", 7},       {"-iscsi_cfg", 18}, {"-fcoe_cfg", 19},  {"-pk", 20},       {"-recovery", 21},
    {"-meta", 22},
};

}  // namespace

uint32_t GetImageTypeFromOption(const char* option)
{
    if (!option) return 23;
    for (const OptionType& row : kOptionTypes)
        if (strcasecmp(option, row.option) == 0) return row.type;
    return 23;
}

namespace fwupg::shell {

std::vector<std::string> Words(int objc, Tcl_Obj* const objv[])
{
    std::vector<std::string> words;
    words.reserve(objc > 0 ? static_cast<size_t>(objc) : 0);
    for (int i = 0; i < objc; ++i) {
        int length = 0;
        const char* text = Tcl_GetStringFromObj(objv[i], &length);
        words.emplace_back(text, static_cast<size_t>(length));
    }
    return words;
}

namespace {

// A new list object of the words, with one reference held by the caller.
Tcl_Obj* NewWordList(const std::vector<std::string>& words)
{
    Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(list);
    for (const std::string& w : words)
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(w.data(), static_cast<int>(w.size())));
    return list;
}

}  // namespace

std::string MergeWords(const std::vector<std::string>& words)
{
    Tcl_Obj* list = NewWordList(words);
    int length = 0;
    const char* text = Tcl_GetStringFromObj(list, &length);
    std::string line(text, static_cast<size_t>(length));
    Tcl_DecrRefCount(list);
    return line;
}

// A pure list is evaluated word by word, without substitution.
int EvalWords(Tcl_Interp* interp, const std::vector<std::string>& words)
{
    Tcl_Obj* list = NewWordList(words);
    int rc = Tcl_EvalObjEx(interp, list, 0);
    Tcl_DecrRefCount(list);
    return rc;
}

HostOps CommandHostOps(Tcl_Interp* interp, ClientData clientData)
{
    HostOps ops;
    BuildHostOps(&ops, interp, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(clientData)));
    return ops;
}

}  // namespace fwupg::shell
