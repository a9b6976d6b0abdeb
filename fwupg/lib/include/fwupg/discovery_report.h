// The XML discovery report: written by discovery with one "device" block per usable adapter and
// one "fw_item" block per firmware item; read back by a flash, which writes each item's result
// into it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct _xmlNode xmlNode;
class Device;

// The package version of the component description file ("DZ*.xml" in the working folder):
// value and revision of its first "version" element that has both. Kept for the process.
extern std::string g_szPackageVersion;
void GetZkDzVerRevValueFromDZXMLFile();

namespace fwupg {
// The whole report text of the usable adapters.
std::string DiscoveryXmlText(bool deferred);
}  // namespace fwupg

// Writes the report ("deferred" or "immediate" as `takes_effect`); false when the file cannot be
// written.
bool WriteDiscoveryXml(const char* reportFile, bool rebootRequired);

// The "value" attribute of the first child `name` of `node` that has one; empty when none.
std::string GetChildValue(xmlNode* node, const char* name);
// Sets the "value" attribute of the first child `name` of `node`, appending the child when there
// is none.
void SetChildValue(xmlNode* node, const char* name, const char* value);

namespace fwupg {

// The adapter of `list` (the usable adapters, or those discovery left out) a report's device entry
// stands for: the one whose identifier equals its "device_id"; when several share that identifier
// (identical boards without connection names), the one whose bus, device and function also equal
// the entry's. Null when none.
Device* FindReportDevice(xmlNode* deviceEntry, std::vector<Device>& list);

// What a report's "fw_item" asks for: its "action", "firmware_file" and "type" values.
struct ReportItem {
    std::string action;
    std::string file;
    std::string type;
};

// The item loop of a flash from a report, over one device entry: items whose "action" is "skip"
// (ignoring case) are left alone; every other is carried out by `carryOut`, and its result is
// written as the item's "action_status" ("%d"), the child being appended when the item lacks it.
using ReportItemAction = std::function<uint32_t(const ReportItem& item)>;
void ApplyReportItems(xmlNode* deviceEntry, const ReportItemAction& carryOut);

}  // namespace fwupg
