// Small checks and helpers of the upgrade commands: the refusals, NCSI bundle check, boot-agent
// device check and the chunked NVRAM reader.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "commands/upgrade_detail.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "fwupg/wrapped_record.h"

namespace fwupg::nvm {

int unknown_chip(Tcl_Interp* interp)
{
    set_last_error(1);
    Tcl_AppendResult(interp, "Upgrade is not supported on this device.\n", static_cast<char*>(nullptr));
    return -1;
}

}  // namespace fwupg::nvm

using namespace fwupg::nvm;

namespace {
constexpr uint32_t kTagNcsiCmn = 0x6D63636E, kTagNcsiElib = 0x656C636E, kTagNcsiXlib = 0x786C636E;

bool is_ncsi_tag(uint32_t tag) { return tag == kTagNcsiCmn || tag == kTagNcsiElib || tag == kTagNcsiXlib; }

int ncsi_fail(Tcl_Interp* interp, const char* text)
{
    Tcl_AppendResult(interp, "Improper file format, ", text, static_cast<char*>(nullptr));
    return 1;
}
}  // namespace

extern "C" int common_nvm_check_ncsi_file(Tcl_Interp* interp, uint32_t length, const uint8_t* buffer)
{
    if (!buffer)
        return 1;
    bool cmn = false, elib = false, xlib = false;
    fwupg::WrappedReader reader(buffer, length);
    fwupg::WrappedRecord rec;
    while (reader.next(&rec)) {
        const uint32_t tag = rec.header.tag;
        if (!is_ncsi_tag(tag))
            return ncsi_fail(interp, "incorrect file type.\n");
        cmn = cmn || tag == kTagNcsiCmn;
        elib = elib || tag == kTagNcsiElib;
        xlib = xlib || tag == kTagNcsiXlib;
    }
    switch (reader.stop()) {
    case fwupg::WrappedStop::End:
        break;
    case fwupg::WrappedStop::ShortHeader:
    case fwupg::WrappedStop::BadMagic:
        return ncsi_fail(interp, "missing magic value.\n");
    case fwupg::WrappedStop::BadVersion:
        return ncsi_fail(interp, "incorrect format version.\n");
    case fwupg::WrappedStop::PastEnd:
        // The type is judged before the length, as for a whole record.
        return ncsi_fail(interp, is_ncsi_tag(rec.header.tag) ? "record length exceeds the file.\n"
                                                             : "incorrect file type.\n");
    }
    std::string found = "NCSI images found:  ";
    if (cmn)
        found += "common,  ";
    if (elib)
        found += "kordane lib,  ";
    if (xlib)
        found += "velto lib (will be skipped)  ";
    fwupg_dbg_printf("%s\n", found.c_str());
    if (!cmn) {
        Tcl_AppendResult(interp, "NCSI common is missing.cannot burn image on Kordane NVM.\n",
                         static_cast<char*>(nullptr));
        return 1;
    }
    return 0;
}

// The image must have room for the descriptor the caller located (checked by the caller).
extern "C" int common_nvm_check_mba_device(Tcl_Interp* interp, const uint8_t* image)
{
    if (!image || image[0] != 0x55 || image[1] != 0xAA)
        return 1;
    const uint8_t* desc = image + load_u16(image + 8);
    const uint8_t family = desc[0];
    if (!(desc[1] & 1))
        return 0;
    bool ok = true;
    if (common_nvm_is_e1())
        ok = family == 0;
    else if (common_nvm_is_e2())
        ok = family == 0 || (family & 0x10);
    else if (common_nvm_is_e3())
        ok = family == 0 || (family & 0x20);
    if (ok)
        return 0;
    Tcl_AppendResult(interp, "This MBA image is not for this device type.\n", static_cast<char*>(nullptr));
    return 1;
}

extern "C" int common_nvm_read_chunked(uint32_t offset, void* buffer, uint32_t length, uint8_t swap)
{
    constexpr uint32_t kPiece = 4096;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    for (; length - done >= kPiece; done += kPiece) {
        if (common_nvm_read(offset + done, out + done, kPiece, swap) != 0)
            return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (done < length && common_nvm_read(offset + done, out + done, length - done, swap) != 0)
        return 1;
    return 0;
}
