// Fuzz target of the discovery report reader: any bytes are parsed as a report, each device
// entry is looked up among the usable adapters and its items are walked and annotated, the
// report's outcome is set and the document is written out again.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fwupg/device.h"
#include "fwupg/discovery_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    constexpr int kOptions = XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS | XML_PARSE_NOCDATA |
                             XML_PARSE_NONET;
    xmlDoc* doc = xmlReadMemory(reinterpret_cast<const char*>(data), static_cast<int>(size), "report.xml", nullptr,
                                kOptions);
    if (!doc) return 0;
    xmlNode* root = xmlDocGetRootElement(doc);
    if (root && std::strcmp(reinterpret_cast<const char*>(root->name), "zk_rom_discovery") == 0) {
        xmlNode* devices = root->children;
        while (devices && !(devices->type == XML_ELEMENT_NODE &&
                            std::strcmp(reinterpret_cast<const char*>(devices->name), "devices") == 0))
            devices = devices->next;
        bool deferred = false;
        for (xmlNode* entry = devices ? devices->children : nullptr; entry; entry = entry->next) {
            if (entry->type != XML_ELEMENT_NODE) continue;
            (void)fwupg::FindReportDevice(entry, g_Devices);
            (void)GetChildValue(entry, "busnumber");
            fwupg::ApplyReportItems(entry, [&](const fwupg::ReportItem& item) {
                deferred = deferred || !item.file.empty();
                return static_cast<uint32_t>(item.action.size() + item.file.size() + item.type.size());
            });
        }
        SetChildValue(root, "takes_effect", deferred ? "deferred" : "immediate");
    }
    xmlChar* out = nullptr;
    int length = 0;
    xmlDocDumpFormatMemory(doc, &out, &length, 1);
    xmlFree(out);
    xmlFreeDoc(doc);
    return 0;
}
