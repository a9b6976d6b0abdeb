#include "report_xml.h"

#include <libxml/parser.h>

namespace tirn_test {

std::string ChildValue(xmlNode* parent, const char* name)
{
    for (xmlNode* c = parent->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE || xmlStrcmp(c->name, BAD_CAST name) != 0) continue;
        xmlChar* v = xmlGetProp(c, BAD_CAST "value");
        std::string s = v ? reinterpret_cast<const char*>(v) : "";
        xmlFree(v);
        return s;
    }
    return {};
}

xmlNode* ReportDevices(xmlDoc* doc)
{
    xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
    for (xmlNode* n = root ? root->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && xmlStrcmp(n->name, BAD_CAST "devices") == 0) return n;
    return nullptr;
}

std::map<std::string, Items> ItemStatuses(const std::string& report)
{
    std::map<std::string, Items> out;
    xmlDoc* doc = xmlReadFile(report.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
    if (!doc) return out;
    if (xmlNode* devices = ReportDevices(doc)) {
        for (xmlNode* d = devices->children; d; d = d->next) {
            if (d->type != XML_ELEMENT_NODE) continue;
            auto& items = out[ChildValue(d, "macaddress")];
            for (xmlNode* i = d->children; i; i = i->next)
                if (i->type == XML_ELEMENT_NODE && xmlStrcmp(i->name, BAD_CAST "fw_item") == 0)
                    items.emplace_back(ChildValue(i, "type"), ChildValue(i, "action_status"));
        }
    }
    xmlFreeDoc(doc);
    return out;
}

}  // namespace tirn_test
