#include "fwupg/nvm_legacy/file_io.h"

#include <cstring>
#include <optional>

#include <tcl.h>

#include "fwupg/file_cache.h"
#include "platform/safe_file.h"

namespace {
// A Tcl object holding a path, with its reference owned by the guard.
struct PathObj {
    Tcl_Obj* obj;
    explicit PathObj(const char* name) : obj(Tcl_NewStringObj(name, -1)) { Tcl_IncrRefCount(obj); }
    ~PathObj() { Tcl_DecrRefCount(obj); }
};

bool set_binary(Tcl_Interp* interp, Tcl_Channel chan)
{
    return Tcl_SetChannelOption(interp, chan, "-translation", "binary") == TCL_OK &&
           Tcl_SetChannelOption(interp, chan, "-encoding", "binary") == TCL_OK;
}
}  // namespace

int nvm_file_size(const char* name, int32_t* size)
{
    if (!size)
        return 1;
    if (!name || !*name)
        return TCL_ERROR;
    PathObj path(name);
    Tcl_StatBuf* st = Tcl_AllocStatBuf();
    int rc = TCL_ERROR;
    if (Tcl_FSStat(path.obj, st) == 0) {
        const Tcl_WideUInt bytes = Tcl_GetSizeFromStat(st);
        if (bytes <= 0x7FFFFFFFu) {
            *size = static_cast<int32_t>(bytes);
            rc = TCL_OK;
        }
    }
    Tcl_Free(reinterpret_cast<char*>(st));
    return rc;
}

int nvm_file_read(HostOps ops, const char* name, uint8_t* buf, uint32_t count, uint32_t* read)
{
    if (read)
        *read = 0;
    if (!name || !buf || count > 0x7FFFFFFFu)
        return 1;
    // A file already read during this exported call comes from the call's cache.
    if (fwupg::ReadCachedFile(name, buf, count, read))
        return 0;
    const std::optional<fwupg::FileIdentity> identity = fwupg::IdentifyFile(name);
    Tcl_Channel chan = Tcl_OpenFileChannel(ops.interp, name, "r", 0);
    if (!chan)
        return 1;
    int rc = 1;
    Tcl_Obj* data = Tcl_NewObj();
    Tcl_IncrRefCount(data);
    if (set_binary(ops.interp, chan)) {
        const int got = Tcl_ReadChars(chan, data, static_cast<int>(count), 0);
        if (got >= 0) {
            int have = 0;
            const unsigned char* bytes = Tcl_GetByteArrayFromObj(data, &have);
            const uint32_t n = static_cast<uint32_t>(have < got ? have : got);
            std::memcpy(buf, bytes, n);
            if (read)
                *read = n;
            if (identity)
                fwupg::KeepFileRead(name, *identity, buf, n);
            rc = 0;
        }
    }
    Tcl_DecrRefCount(data);
    Tcl_Close(ops.interp, chan);
    return rc;
}

int nvm_file_write(HostOps ops, const char* name, const uint8_t* buf, uint32_t count, uint32_t* written)
{
    if (written)
        *written = 0;
    if (!name || !*name || (!buf && count) || count > 0x7FFFFFFFu)
        return 1;
    fwupg::ForgetCachedFile(name);   // a file of this name read earlier in the call is gone
    // Created exclusively and never through a link: an existing file, a planted link or a file
    // that appears meanwhile is not replaced. The file is complete, or it is not there; a caller
    // that keeps it past the call flushes it (most dumps are read back and deleted at once).
    const int rc = platform::write_new_file(name, buf, count, 0644, platform::Flush::No) ? 0 : 1;
    if (rc == 0 && written)
        *written = count;
    if (ops.nop2)
        ops.nop2();
    return rc;
}
