#include "report_xml.h"

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

}  // namespace tirn_test
