#include "fwupg/call_frame.h"
#include "fwupg/file_cache.h"

#include <signal.h>
#include <sys/stat.h>
#include <tcl.h>

#include <cstdlib>
#include <mutex>

#include <platform/paths.h>
#include <platform/utf16.h>

#include "fwupg/debug_log.h"
#include "fwupg/frame_work.h"
#include "fwupg/oem_interface.h"
#include "fwupg/session_state.h"
#include "fwupg/stop_signals.h"
#include "fwupg/work_folder.h"
#include "fwupg/yxmapi_client.h"

namespace fwupg {

void DebugSwitch()
{
    const char* level = std::getenv("DEBUG_LEVEL");
    if (level && *level && std::atol(level) != 0) oem_get_debug_info(u"C:ZKFwUpgDbgLog.log");
}

bool NarrowPath(const char16_t* wide, std::string* narrow)
{
    narrow->clear();
    if (!wide) return false;
    char buf[kNarrowPathSize];
    platform::ConvertResult r = platform::to_utf8(platform::u16_view(wide), buf, sizeof buf);
    if (r.truncated) return false;
    *narrow = platform::map_path(std::string_view(buf, r.written));
    return true;
}

bool NormalisePath(const char16_t* wide, std::string* narrow)
{
    if (!NarrowPath(wide, narrow)) return false;
    *narrow = platform::normalize_slashes(*narrow);
    return true;
}

bool IsDirectoryPath(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFilePath(const std::string& path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return false;
    return S_ISREG(st.st_mode) || (st.st_mode & S_IFMT) == 0;
}

std::string FolderOfPath(std::string_view normalised)
{
    size_t slash = normalised.rfind('/');
    if (slash == std::string_view::npos) return ".";
    return std::string(normalised.substr(0, slash));
}

Tcl_Interp* CreateInterp()
{
    static std::once_flag once;
    std::call_once(once, [] { Tcl_FindExecutable(nullptr); });
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (!interp) {
        LogDebugString("Tcl_CreateInterp() returned NULL!!!");
        return nullptr;
    }
    Tcl_SetVar(interp, "tcl_interactive", "0", TCL_GLOBAL_ONLY);
    RegisterShellCommands(interp);
    return interp;
}

bool _Tcl_Init(const char* caller)
{
    LogDebugMsg(DBG_DEBUG, "%s(): Initializing TCL Library...", caller);
    DeleteInterp();
    g_TclInterp = CreateInterp();
    return g_TclInterp != nullptr;
}

void DeleteInterp()
{
    if (g_TclInterp) {
        Tcl_DeleteInterp(g_TclInterp);
        g_TclInterp = nullptr;
    }
}

namespace {

struct sigaction g_fileSizeAction;  // what SIGXFSZ did before the outermost frame
int g_frames = 0;

}  // namespace

// A file-size limit below what a call writes must fail that write (EFBIG, which the writers
// report) rather than end the caller's process without a word: SIGXFSZ is ignored for the call.
CallFrame::CallFrame()
{
    HoldStopSignals();
    if (g_frames++ == 0) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &g_fileSizeAction);
    }
    OpenFileCache();
    BeginKeepingBackups();
    if (!BeginCallWorkFolder()) LogDebugString("CallFrame(): no private work folder for this call.\n");
}

CallFrame::~CallFrame()
{
    Teardown();
}

uint32_t CallFrame::InitManagementLibrary()
{
    uint32_t status = yx::Initialize();
    initialised_ = status == 0;
    return status;
}

// No Tcl_Finalize here: creating an interpreter after it would abort the process, and the next
// exported call needs one.
void CallFrame::Teardown()
{
    if (done_) return;
    done_ = true;
    EndKeepingBackups();
    EndCallWorkFolder();
    ClearFwImageCache();
    DeleteInterp();
    ClearPendingMfwNote();
    if (initialised_) yx::Shutdown();
    initialised_ = false;
    if (--g_frames == 0) sigaction(SIGXFSZ, &g_fileSizeAction, nullptr);
    // Last: a held stop signal reaches the caller only once the work files and backups are gone.
    ReleaseStopSignals();
}

}  // namespace fwupg
