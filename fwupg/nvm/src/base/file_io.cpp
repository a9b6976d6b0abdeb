// Binary file operations on Tcl channels (no translation, no encoding).
#include "fwupg/nvm/base/file_io.h"

#include <cstdio>
#include <optional>

#include "fwupg/file_cache.h"
#include "platform/safe_file.h"

namespace {

// A private interpreter for the size query: the path goes in as one list word, so blanks,
// brackets and dollar signs in it stay part of the name and run nothing.
int size_through_tcl(const char* path, uint32_t* size)
{
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (!interp)
        return 1;
    Tcl_Obj* words[3] = {Tcl_NewStringObj("file", -1), Tcl_NewStringObj("size", -1), Tcl_NewStringObj(path, -1)};
    for (Tcl_Obj* w : words)
        Tcl_IncrRefCount(w);
    int rc = Tcl_EvalObjv(interp, 3, words, TCL_EVAL_GLOBAL);
    Tcl_WideInt value = 0;
    if (rc == TCL_OK && Tcl_GetWideIntFromObj(nullptr, Tcl_GetObjResult(interp), &value) == TCL_OK && value >= 0 &&
        value <= Tcl_WideInt(UINT32_MAX)) {
        *size = uint32_t(value);
        rc = 0;
    } else {
        rc = 1;
    }
    for (Tcl_Obj* w : words)
        Tcl_DecrRefCount(w);
    Tcl_DeleteInterp(interp);
    return rc;
}

// Channel errors are not left in the caller's result: the commands report their own message.
bool make_binary(Tcl_Channel ch)
{
    return Tcl_SetChannelOption(nullptr, ch, "-translation", "binary") == TCL_OK &&
           Tcl_SetChannelOption(nullptr, ch, "-encoding", "binary") == TCL_OK;
}

}  // namespace

extern "C" {

int common_nvm_file_size(const char* path, uint32_t* size)
{
    if (!path || !size)
        return 1;
    return size_through_tcl(path, size);
}

int common_nvm_read_file(Tcl_Interp*, const char* path, uint8_t* buffer, uint32_t length, uint32_t* count)
{
    if (count)
        *count = 0;
    if (!path || (!buffer && length))
        return 1;
    // A file already read during this exported call comes from the call's cache.
    uint32_t cached = 0;
    if (fwupg::ReadCachedFile(path, buffer, length, &cached)) {
        if (count)
            *count = cached;
        return (cached > 0 || length == 0) ? 0 : 1;
    }
    const std::optional<fwupg::FileIdentity> identity = fwupg::IdentifyFile(path);
    Tcl_Channel ch = Tcl_OpenFileChannel(nullptr, path, "r", 0);
    if (!ch)
        return 1;
    int rc = 1;
    uint32_t got = 0;
    if (make_binary(ch)) {
        while (got < length) {
            uint32_t piece = length - got > 0x40000000u ? 0x40000000u : length - got;
            int n = Tcl_Read(ch, reinterpret_cast<char*>(buffer + got), int(piece));
            if (n < 0) {
                got = 0;
                break;
            }
            if (n == 0)
                break;
            got += uint32_t(n);
        }
        if (count)
            *count = got;
        rc = (got > 0 || length == 0) ? 0 : 1;
    }
    if (Tcl_Close(nullptr, ch) != TCL_OK)
        rc = 1;
    if (rc == 0 && identity)
        fwupg::KeepFileRead(path, *identity, buffer, got);
    return rc;
}

int common_nvm_write_file(Tcl_Interp*, const char* path, const uint8_t* buffer, uint32_t length,
                          uint32_t* count)
{
    if (count)
        *count = 0;
    if (!path || (!buffer && length))
        return 1;
    fwupg::ForgetCachedFile(path);   // a file of this name read earlier in the call is gone
    // Created exclusively and never through a link: an existing file, a planted link or a file
    // that appears meanwhile is not replaced. The file is complete, or it is not there; a caller
    // that keeps it past the call flushes it (most dumps are read back and deleted at once).
    if (!platform::write_new_file(path, buffer, length, 0644, platform::Flush::No))
        return 1;
    if (count)
        *count = length;
    return 0;
}

}  // extern "C"
