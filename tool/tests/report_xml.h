// Reading the discovery report in end-to-end tests: the value of a named child element, and the
// report's list of devices.
#pragma once

#include <libxml/tree.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tirn_test {

// The "value" attribute of the first child element of `parent` called `name`; empty when there is
// none.
std::string ChildValue(xmlNode* parent, const char* name);

// The report's "devices" element, or nullptr.
xmlNode* ReportDevices(xmlDoc* doc);

// Per MAC address: the type and action status of each of the device's items, in report order, as
// the run left them (empty when the report does not parse).
using Items = std::vector<std::pair<std::string, std::string>>;
std::map<std::string, Items> ItemStatuses(const std::string& report);

}  // namespace tirn_test
