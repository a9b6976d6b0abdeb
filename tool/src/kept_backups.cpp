#include "kept_backups.h"

#include "user_interface.h"

#include "platform/paths.h"

#include <string>

namespace tirn {

namespace {

bool IsKeptBackup(const std::string& name)
{
    auto startsWith = [&](const char* prefix) { return name.rfind(prefix, 0) == 0; };
    auto endsWith = [&](const std::string& suffix) {
        return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return (startsWith("NVMDump#_") || startsWith("NVMCfgDump#_")) && name.find(".unverified-") != std::string::npos &&
           !endsWith(".sha256");
}

}  // namespace

void LogKeptBackups(UserInterface& ui)
{
    for (const std::string& name : platform::list_dir_sorted("."))
        if (IsKeptBackup(name))
            ui.Log(kLevelNormal,
                   "NVRAM backup kept aside by the library (an earlier run's leftover, not programmed back): %s. "
                   "Check it before programming it to a board.\n",
                   name.c_str());
}

}  // namespace tirn
