// Reading a discovery report back and annotating it (see discovery_report.h).
#include <libxml/tree.h>
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <platform/utf16.h>
#include <platform/whole_file.h>

#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/discovery_report.h"
#include "fwupg/frame_work.h"

namespace {

bool IsElement(const xmlNode* n, const char* name)
{
    return n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

// A "%04X" number of the entry; nothing when it is not one.
std::optional<uint32_t> HexValue(xmlNode* entry, const char* name)
{
    const std::string text = GetChildValue(entry, name);
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : text) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) return std::nullopt;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

}  // namespace

std::string GetChildValue(xmlNode* node, const char* name)
{
    for (xmlNode* c = node ? node->children : nullptr; c; c = c->next) {
        if (!IsElement(c, name)) continue;
        xmlChar* value = xmlGetProp(c, BAD_CAST "value");
        if (!value) continue;
        std::string text(reinterpret_cast<const char*>(value));
        xmlFree(value);
        if (!text.empty()) return text;
    }
    return {};
}

void SetChildValue(xmlNode* node, const char* name, const char* value)
{
    if (!node) return;
    for (xmlNode* c = node->children; c; c = c->next) {
        if (IsElement(c, name)) {
            xmlSetProp(c, BAD_CAST "value", BAD_CAST value);
            return;
        }
    }
    if (xmlNode* child = xmlNewChild(node, nullptr, BAD_CAST name, nullptr))
        xmlSetProp(child, BAD_CAST "value", BAD_CAST value);
}

namespace fwupg {

Device* FindReportDevice(xmlNode* entry, std::vector<Device>& list)
{
    const std::u16string id = platform::to_utf16(GetChildValue(entry, "device_id"));
    std::vector<Device*> matches;
    for (Device& d : list)
        if (d.IsDevice(id)) matches.push_back(&d);
    if (matches.size() <= 1) return matches.empty() ? nullptr : matches.front();
    // Identical boards share the four-identifier form: their PCI location tells them apart.
    const auto bus = HexValue(entry, "busnumber"), dev = HexValue(entry, "devicenumber"),
               fn = HexValue(entry, "funcnumber");
    if (!bus || !dev || !fn) return nullptr;
    for (Device* d : matches)
        if (d->IsDevice(*bus, *dev, *fn)) return d;
    return nullptr;
}

void ApplyReportItems(xmlNode* entry, const ReportItemAction& carryOut)
{
    for (xmlNode* item = entry ? entry->children : nullptr; item; item = item->next) {
        if (!IsElement(item, "fw_item")) continue;
        const ReportItem wanted{GetChildValue(item, "action"), GetChildValue(item, "firmware_file"),
                                GetChildValue(item, "type")};
        if (strcasecmp(wanted.action.c_str(), "skip") == 0) continue;
        const uint32_t result = carryOut(wanted);
        char status[16];
        std::snprintf(status, sizeof status, "%d", static_cast<int>(result));
        LogDebugMsg(DBG_DEBUG, "%s():iRet=%d sStatus=%s", "oem_do_flash_with_file", static_cast<int>(result), status);
        SetChildValue(item, "action_status", status);
    }
}

}  // namespace fwupg

bool SaveReport(const char* path, xmlDoc* doc)
{
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemory(doc, &text, &size, 1);
    if (!text || size < 0) {
        LogDebugMsg(DBG_DEBUG, "%s(): the report %s could not be formatted.", "oem_do_flash_with_file", path);
        xmlFree(text);
        return false;
    }
    const bool saved = platform::write_whole_file(path, text, static_cast<size_t>(size));
    const int error = errno;
    xmlFree(text);
    if (!saved)
        LogDebugMsg(DBG_DEBUG, "%s(): the report %s could not be written (%s); it keeps its earlier content.",
                    "oem_do_flash_with_file", path, std::strerror(error));
    return saved;
}
