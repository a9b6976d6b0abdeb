// The work the exported calls hand to the rest of the front end: adapter discovery, the firmware
// data file, the image-file cache, the shell's commands, the discovery report and the per-adapter
// flash and dump work. The parts of the front end define them (discovery/, device_work/, shell/)
// and the library links them all: a missing one fails the link. Tests that link the exports
// without some of those parts take the rest from a double (fwupg/lib/tests/frame_work_double.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include <libxml/tree.h>

#include "fwupg/oem_interface.h"

struct Tcl_Interp;

// Registers the shell's commands in a new interpreter.
void RegisterShellCommands(Tcl_Interp* interp);

// The NVRAM backups of an exported call: from Begin on, the first change of an adapter takes its
// backup and later changes of the same adapter reuse it (brought up to date); End removes the
// kept backup files. Outside Begin/End every change takes and removes its own backup.
void BeginKeepingBackups();
void EndKeepingBackups();

// Fills the two adapter lists (all adapters; usable adapters) from the management library for a
// firmware folder (narrow, normalised). False when the adapters cannot be enumerated.
bool DiscoverDevices(const char* folder);
size_t UsableDeviceCount();
// Fills `out` (zeroed by the caller) for usable adapter `index`.
void FillVendorAdaptInfo(size_t index, VendorAdaptInfo* out);
// Whether any usable adapter needs a reboot for its update (OR over the usable list).
bool AnyUsableDeviceNeedsReboot();

// Reads "<folder>/NICFWData.xml" into the process's data map: 0, 11 (missing or wrong root),
// 107 (not well-formed).
uint32_t do_discover_with_zkfwdata(const char* folder);
bool IsNicFwDataLoaded();

// Empties the cache of loaded image files.
void ClearFwImageCache();

// Writes the discovery report of the usable adapters to `reportFile`; false when it cannot.
bool WriteDiscoveryXml(const char* reportFile, bool rebootRequired);

// Saves the annotated report of a flash over `reportFile`, indented, whole or not at all: a new
// file beside it is renamed over it once written. False (the file as it was, the reason in the
// debug log) when it could not be written.
bool SaveReport(const char* reportFile, xmlDoc* doc);

// Upgrades the first of ALL adapters at bus/device/function (segment already checked to be 0)
// with `imageFile` (narrow, normalised): 3 when no adapter is there, else 103 or the upgrade's code.
uint32_t FlashDeviceAtPci(const char* imageFile, bool force, uint32_t bus, uint32_t device, uint32_t function);

// Outcome of a flash from a discovery report, gathered over its items.
struct ReportFlashState {
    uint8_t resultByte = 3;   // 1 once a flash reported 1; 106 after a failed item
    bool itemFailed = false;  // some item failed: the final code is 106
    bool deferred = false;    // some item was flashed or attempted: "deferred"
};

// Flashes the "fw_item" children of one "device" node of a report whose adapter is usable, and
// writes each item's status back into the node. Devices whose id matches no usable adapter are
// left alone.
void FlashReportDevice(xmlNode* device, const char* folder, ReportFlashState* state);
// Sets board options on every adapter after at least one successful flash from a report.
void SetOptionsForVindoAdapters();

// Dumps the NVRAM of the first usable adapter at bus/device/function into `dumpFile`: 7 when no
// adapter is there, else 104 (legacy family) or the dump's code.
uint32_t DumpDeviceAtPci(const char* dumpFile, uint32_t bus, uint32_t device, uint32_t function);
