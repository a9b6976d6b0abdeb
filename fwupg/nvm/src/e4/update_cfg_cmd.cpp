// "_update_cfg ?-F? NVM_CFG NVM_META": reads the new default configuration (a file of big-endian
// words) and the new meta text (a text file, or a firmware bundle carrying a META image) and runs
// the configuration upgrade of the adapter.
#include <strings.h>

#include <exception>
#include <vector>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/file_io.h"
#include "fwupg/nvm/e4/cfg_upgrade.h"
#include "fwupg/nvm/e4/image_header.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::e4;

namespace {

enum class ReadStop { Ok, Missing, NoMemory, ReadFailed };

ReadStop read_whole(Tcl_Interp* interp, const char* path, std::vector<uint8_t>& out)
{
    uint32_t size = 0;
    if (common_nvm_file_size(path, &size) != 0) return ReadStop::Missing;
    try {
        out.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return ReadStop::NoMemory;
    }
    uint32_t count = 0;
    if (size == 0 || common_nvm_read_file(interp, path, out.data(), size, &count) != 0 || count != size)
        return ReadStop::ReadFailed;
    return ReadStop::Ok;
}

int update_cfg(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc < 3) return 1;
    const bool force = strcasecmp(Tcl_GetString(objv[1]), "-F") == 0;
    if (force && objc < 4) {
        Tcl_WrongNumArgs(interp, 1, objv, "<NVM_CFG filename> <NVM_META filename>");
        return 1;
    }
    const char* cfg_path = Tcl_GetString(objv[force ? 2 : 1]);
    const char* meta_path = Tcl_GetString(objv[force ? 3 : 2]);

    UpdateCfgRequest request;
    request.force = force;
    switch (read_whole(interp, cfg_path, request.new_default)) {
    case ReadStop::Ok:
        break;
    case ReadStop::Missing:
        fwupg_dbg_printf("Couldn't find file named %s\n", cfg_path);
        return -1;
    case ReadStop::NoMemory:
        fwupg_dbg_printf("Memory allocation for nvm_cfg failed.\n");
        return -1;
    case ReadStop::ReadFailed:
        fwupg_dbg_printf("Failed to read input file\n");
        return 1;
    }
    // The file holds big-endian words.
    common_nvm_swap_buffer(request.new_default.data(), uint32_t(request.new_default.size()));

    std::vector<uint8_t> meta_file;
    switch (read_whole(interp, meta_path, meta_file)) {
    case ReadStop::Ok:
        break;
    case ReadStop::Missing:
        fwupg_dbg_printf("Couldn't find file named %s\n", meta_path);
        return 1;
    case ReadStop::NoMemory:
        fwupg_dbg_printf("Memory allocation for nvm_meta failed.\n");
        return 1;
    case ReadStop::ReadFailed:
        fwupg_dbg_printf("Failed to read input MFW file\n");
        return 1;
    }
    if (meta_file.size() >= 4 && load_u32(meta_file.data()) == kBundleMagic) {
        if (!e4_bundle_meta(meta_file, request.new_meta)) {
            fwupg_dbg_printf("MFW bundle is missing META image.\n");
            return 1;
        }
    } else {
        request.new_meta = std::move(meta_file);
    }
    return e4_update_cfg(request);
}

}  // namespace

extern "C" int tcl_al_nvm_update_cfg_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (!interp) return 1;
    try {
        return update_cfg(interp, objc, objv);
    } catch (...) {
        Tcl_AppendResult(interp, "No more host memory.", nullptr);
        return 1;
    }
}
