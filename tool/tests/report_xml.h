// Reading the discovery report in end-to-end tests: the value of a named child element, and the
// report's list of devices.
#pragma once

#include <libxml/tree.h>

#include <string>

namespace tirn_test {

// The "value" attribute of the first child element of `parent` called `name`; empty when there is
// none.
std::string ChildValue(xmlNode* parent, const char* name);

// The report's "devices" element, or nullptr.
xmlNode* ReportDevices(xmlDoc* doc);

}  // namespace tirn_test
