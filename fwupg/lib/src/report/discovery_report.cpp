// Writing the discovery report (see discovery_report.h).
#include "fwupg/discovery_report.h"

#include <platform/whole_file.h>

#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/report_text.h"

namespace fwupg {

std::string DiscoveryXmlText(bool deferred)
{
    std::string out;
    AppendLine(&out, 0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    AppendLine(&out, 0, "<zk_rom_discovery version=\"2.0.0.0\">");
    AppendLeaf(&out, 2, "type", "");
    AppendLeaf(&out, 2, "alt_name", "ZKE Aldern KV9 Varnelle Utility for Windows Server x64 Editions");
    GetZkDzVerRevValueFromDZXMLFile();
    AppendLeaf(&out, 2, "version", g_szPackageVersion);
    AppendLeaf(&out, 2, "takes_effect", deferred ? "deferred" : "immediate");
    AppendLine(&out, 2, "<devices>");
    for (const Device& device : g_Devices) out += device.ToXml();
    AppendLine(&out, 2, "</devices>");
    AppendLine(&out, 0, "</zk_rom_discovery>");
    return out;
}

}  // namespace fwupg

bool WriteDiscoveryXml(const char* reportFile, bool rebootRequired)
{
    if (!reportFile || !*reportFile) return false;
    const std::string text = fwupg::DiscoveryXmlText(rebootRequired);
    // Whole or not at all: a report cut short by a full disk or a size limit is not a report, and
    // the one there before stays.
    return platform::write_whole_file(reportFile, text.data(), text.size());
}
