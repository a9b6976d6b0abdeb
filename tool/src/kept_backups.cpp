#include "kept_backups.h"

#include "user_interface.h"

#include "fwupg/backup_list.h"
#include "platform/paths.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

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

void LogKept(UserInterface& ui, const std::string& name)
{
    ui.Log(kLevelNormal,
           "NVRAM backup kept aside by the library (an earlier run's leftover, not programmed back): %s. "
           "Check it before programming it to a board.\n",
           name.c_str());
}

// The kept backups of other folders that the library's machine-wide list of backups names.
std::vector<std::string> KeptElsewhere(const std::filesystem::path& here)
{
    const std::string folder = fwupg::backup_list::Folder();
    std::vector<std::string> kept;
    for (const std::string& entry : platform::list_dir_sorted(folder)) {
        std::string identity, full;
        if (!fwupg::backup_list::ReadEntry(folder + "/" + entry, &identity, &full)) continue;
        const std::filesystem::path path = full;
        if (!IsKeptBackup(path.filename().string()) || path.parent_path() == here ||
            platform::name_state(full) != platform::NameState::Regular)
            continue;
        kept.push_back(full);
    }
    return kept;
}

}  // namespace

void LogKeptBackups(UserInterface& ui)
{
    for (const std::string& name : platform::list_dir_sorted("."))
        if (IsKeptBackup(name)) LogKept(ui, name);
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (!error)
        for (const std::string& path : KeptElsewhere(here.lexically_normal())) LogKept(ui, path);
}

}  // namespace tirn
