// The frame every adapter call of the exports runs in: the debug switch, path normalisation and
// checks, the management library brought up and down, the interpreter created and deleted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct Tcl_Interp;

namespace fwupg {

// Bytes of a narrowed path, terminator included.
inline constexpr size_t kNarrowPathSize = 260;

// When DEBUG_LEVEL is set, not empty and not 0, names "C:ZKFwUpgDbgLog.log" as the debug log.
void DebugSwitch();

// The wide path with every "\" turned into "/", as a narrow path for the file functions (drive
// letters mapped under the system root). False, with `narrow` empty, for a null path or one that
// does not fit 259 bytes: a cut path would name another file.
bool NormalisePath(const char16_t* wide, std::string* narrow);
// The same without the "\" replacement (report file names are taken as given).
bool NarrowPath(const char16_t* wide, std::string* narrow);

// `stat` succeeds and the path is a directory.
bool IsDirectoryPath(const std::string& path);
// `stat` succeeds and the path is a regular file (a type field of 0 is accepted too).
bool IsRegularFilePath(const std::string& path);

// The folder of a normalised path: everything before its last "/", or "." when there is none.
std::string FolderOfPath(std::string_view normalised);

// Creates the call's interpreter (Tcl_FindExecutable runs once per process) with the shell's
// commands and stores it in g_TclInterp; null when it cannot be created.
Tcl_Interp* CreateInterp();
bool _Tcl_Init(const char* caller);
void DeleteInterp();

// One adapter call: initialises the management library (ordinal 34) when asked and tears the
// whole frame down when it ends, on every return path: kept NVRAM backups removed, image-file
// cache emptied, interpreter deleted, pending MFW note cleared, management library shut down
// (ordinal 3) after a successful initialisation. The NVRAM backups of the call's changes are kept
// from the frame's start to its end (frame_work.h).
class CallFrame {
public:
    // Opens the call's cache of firmware files.
    CallFrame();
    ~CallFrame();
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;

    // Ordinal 34; returns its status and remembers whether it succeeded.
    uint32_t InitManagementLibrary();
    bool ManagementLibraryUp() const { return initialised_; }
    // Ends the frame now (idempotent).
    void Teardown();

private:
    bool initialised_ = false;
    bool done_ = false;
};

}  // namespace fwupg
