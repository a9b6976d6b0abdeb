// A test double of the work of the exported calls (see frame_work.h), for tests that link the
// exports without some of the front end's parts: each piece is weak, so a part the test links
// replaces it. A piece that stands in does no work: the lists stay empty, nothing is written or
// flashed, and the debug log says which part is missing.
#include <tcl.h>

#include "fwupg/debug_log.h"
#include "fwupg/frame_work.h"
#include "fwupg/yxmapi_client.h"

#define FWUPG_STAND_IN __attribute__((weak))

namespace {

void missing(const char* what)
{
    LogDebugMsg(DBG_DEBUG, "%s(): not linked into this test.", what);
}

}  // namespace

FWUPG_STAND_IN void RegisterShellCommands(Tcl_Interp*)
{
    missing("RegisterShellCommands");
}

FWUPG_STAND_IN void BeginKeepingBackups() {}

FWUPG_STAND_IN void EndKeepingBackups() {}

// Asks the management library for its adapters, so that a library that cannot enumerate them
// fails discovery; without the adapter model none of them becomes usable.
FWUPG_STAND_IN bool DiscoverDevices(const char*)
{
    missing("DiscoverDevices");
    uint32_t count = 0;
    return fwupg::yx::GetPhyNicCount(&count) == 0;
}

FWUPG_STAND_IN size_t UsableDeviceCount()
{
    return 0;
}

FWUPG_STAND_IN void FillVendorAdaptInfo(size_t, VendorAdaptInfo*)
{
    missing("FillVendorAdaptInfo");
}

FWUPG_STAND_IN bool AnyUsableDeviceNeedsReboot()
{
    return false;
}

FWUPG_STAND_IN uint32_t do_discover_with_zkfwdata(const char*)
{
    missing("do_discover_with_zkfwdata");
    return RET_DISCOV_FILE_ACCESS_FAILED;
}

FWUPG_STAND_IN bool IsNicFwDataLoaded()
{
    return false;
}

FWUPG_STAND_IN void ClearFwImageCache() {}

FWUPG_STAND_IN bool WriteDiscoveryXml(const char*, bool)
{
    missing("WriteDiscoveryXml");
    return false;
}

// Saving the document is no adapter work: it is saved as it stands.
FWUPG_STAND_IN bool SaveReport(const char* reportFile, xmlDoc* doc)
{
    return xmlSaveFormatFile(reportFile, doc, 1) >= 0;
}

FWUPG_STAND_IN uint32_t FlashDeviceAtPci(const char*, bool, uint32_t, uint32_t, uint32_t)
{
    missing("FlashDeviceAtPci");
    return RET_FWUPG_SKIPPED_MISC;
}

FWUPG_STAND_IN void FlashReportDevice(xmlNode*, const char*, ReportFlashState*)
{
    missing("FlashReportDevice");
}

FWUPG_STAND_IN void SetOptionsForVindoAdapters() {}

FWUPG_STAND_IN uint32_t DumpDeviceAtPci(const char*, uint32_t, uint32_t, uint32_t)
{
    missing("DumpDeviceAtPci");
    return RET_OPERATION_FAILED;
}
