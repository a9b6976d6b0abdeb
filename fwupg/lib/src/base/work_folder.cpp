#include "fwupg/work_folder.h"

#include <cerrno>
#include <cstring>

#include "fwupg/debug_log.h"
#include "platform/safe_file.h"

namespace fwupg {

namespace {

constexpr const char* kCallPrefix = "FwUpgWork.";
constexpr const char* kJobPrefix = "job.";

bool g_inCall = false;
std::string g_callFolder;  // empty while a call runs without one

// A private folder in the current folder, else in the system's temporary folder.
std::string MakeNearby(const char* prefix)
{
    std::string folder = platform::make_private_folder(".", prefix);
    if (!folder.empty()) return folder;
    const int here = errno;
    folder = platform::make_private_folder(platform::temporary_folder(), prefix);
    if (folder.empty())
        LogDebugMsg(DBG_DEBUG, "MakeWorkFolder(): no work folder can be made in the current folder (%s) nor in %s (%s).",
                    std::strerror(here), platform::temporary_folder().c_str(), std::strerror(errno));
    return folder;
}

}  // namespace

bool BeginCallWorkFolder()
{
    EndCallWorkFolder();
    g_inCall = true;
    g_callFolder = MakeNearby(kCallPrefix);
    return !g_callFolder.empty();
}

void EndCallWorkFolder()
{
    if (!g_callFolder.empty() && !platform::remove_private_folder(g_callFolder))
        LogDebugMsg(DBG_DEBUG, "EndCallWorkFolder(): the work folder %s could not be removed whole.",
                    g_callFolder.c_str());
    g_callFolder.clear();
    g_inCall = false;
}

std::string MakeJobFolder()
{
    if (!g_inCall) return MakeNearby(kJobPrefix);
    if (g_callFolder.empty()) return {};
    std::string folder = platform::make_private_folder(g_callFolder, kJobPrefix);
    if (folder.empty())
        LogDebugMsg(DBG_DEBUG, "MakeJobFolder(): no folder can be made in %s (%s).", g_callFolder.c_str(),
                    std::strerror(errno));
    return folder;
}

}  // namespace fwupg
