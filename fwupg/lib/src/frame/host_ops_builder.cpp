#include "fwupg/host_ops_builder.h"

#include <tcl.h>

#include <cstdio>
#include <cstring>
#include <exception>

#include "fwupg/bkv9_helper.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"

namespace {

std::function<int()>& input_source()
{
    static std::function<int()> source;
    return source;
}

}  // namespace

namespace fwupg {

void SetHostInputSource(std::function<int()> source)
{
    input_source() = std::move(source);
}

}  // namespace fwupg

extern "C" {

int HostGetToeInt(Tcl_Interp* interp, const char* name, int* out)
{
    return Bkv9Helper::GetToeInt(interp, name, out);
}

void HostOpsNop() {}

int HostGetChar()
{
    auto& source = input_source();
    if (!source) return std::getchar();
    try {
        return source();
    } catch (...) {
        return EOF;
    }
}

uint32_t HostNvmReadDword(uint32_t devIndex, uint32_t offset, uint32_t* out, uint8_t swap)
{
    return g_Bkv9Helper.NvmReadDword(devIndex, offset, out, swap);
}

uint32_t HostNvmWriteDword(uint32_t devIndex, uint32_t offset, uint32_t value, uint8_t swap)
{
    return g_Bkv9Helper.NvmWriteDword(devIndex, offset, value, swap);
}

uint32_t HostNvmReadBlock(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
{
    return g_Bkv9Helper.NvmReadBlock(devIndex, offset, length, buf, swap);
}

uint32_t HostNvmWriteBlock(uint32_t devIndex, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
{
    return g_Bkv9Helper.NvmWriteBlock(devIndex, offset, length, buf, swap);
}

// Registers are reached only while the driver gives access to the chip.
uint32_t HostRegRead(uint32_t, uint32_t reg, uint32_t* out)
{
    if (!fwupg::SelectedHasDriverAccess()) return HOST_NO_ACCESS;
    return fwupg::yx::ReadRegister(fwupg::SelectedApiHandle(), reg, out) == 0 ? HOST_OK : HOST_READ_FAILED;
}

uint32_t HostRegWrite(uint32_t, uint32_t reg, uint32_t value)
{
    if (!fwupg::SelectedHasDriverAccess()) return HOST_NO_ACCESS;
    return fwupg::yx::WriteRegister(fwupg::SelectedApiHandle(), reg, value) == 0 ? HOST_OK : HOST_REG_WRITE_FAILED;
}

int HostTclEval(Tcl_Interp* interp, const char* script)
{
    Tcl_ResetResult(interp);
    return Tcl_Eval(interp, script);
}

void HostSetLastError(uint32_t code)
{
    g_uUpgRetCode = code;
}

}  // extern "C"

HostOps* BuildHostOps(HostOps* ops, Tcl_Interp* interp, uint64_t clientData)
{
    std::memset(ops, 0, sizeof *ops);
    ops->interp = interp;
    ops->getToeInt = HostGetToeInt;
    ops->nop2 = HostOpsNop;
    ops->getChar = HostGetChar;
    ops->nop4 = HostOpsNop;
    ops->nvmReadDword = HostNvmReadDword;
    ops->nvmWriteDword = HostNvmWriteDword;
    ops->nvmReadBlock = HostNvmReadBlock;
    ops->nvmWriteBlock = HostNvmWriteBlock;
    ops->regRead = HostRegRead;
    ops->regWrite = HostRegWrite;
    ops->tclEval = HostTclEval;
    ops->nop12 = HostOpsNop;
    ops->nop13 = HostOpsNop;
    ops->nop14 = HostOpsNop;
    ops->setLastError = HostSetLastError;
    ops->devIndex = 0;
    ops->chipId = fwupg::SelectedChipId();
    ops->clientData = clientData;
    return ops;
}
