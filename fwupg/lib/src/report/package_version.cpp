// The package version from the component description file of the working folder.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "fwupg/debug_log.h"
#include "fwupg/discovery_report.h"
#include "fwupg/fw_utils.h"

std::string g_szPackageVersion;

namespace {

// "DZ*.xml" ignoring case, judged on the name after the last "/".
bool IsDescriptionFile(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = path.rfind('.');
    return name.size() >= 2 && strncasecmp(name.c_str(), "DZ", 2) == 0 && dot != std::string::npos &&
           strcasecmp(path.c_str() + dot, ".xml") == 0;
}

}  // namespace

void GetZkDzVerRevValueFromDZXMLFile()
{
    static const char* const kFn = "GetZkDzVerRevValueFromDZXMLFile";
    LogDebugMsg(DBG_DEBUG, "%s(): <%d> Getting version value from DZXXXXX.xml ...\r\n", kFn, __LINE__);
    std::vector<std::string> files;
    fwupg::EnumFiles(".", &files);
    const std::string* found = nullptr;
    for (const std::string& f : files) {
        if (IsDescriptionFile(f)) {
            LogDebugMsg(DBG_DEBUG, "%s(): LineNo: %d, Found DZxxxxxx.xml : filetocheck:%s", kFn, __LINE__, f.c_str());
            found = &f;
            break;
        }
    }
    if (!found || !fwupg::IsRegularFile(*found)) {
        LogDebugMsg(DBG_DEBUG, "%s(): <%d> DZXXXXX.xml - File not exists !!!\r\n", kFn, __LINE__);
        return;
    }
    // No error output, and nothing fetched from outside the file.
    xmlDoc* doc = xmlReadFile(found->c_str(), nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET);
    if (!doc) {
        LogDebugMsg(DBG_DEBUG, "%s(): <%d>  xmlParseFile() failed !!!\r\n", kFn, __LINE__);
        return;
    }
    xmlNode* root = xmlDocGetRootElement(doc);
    for (xmlNode* n = root ? root->children : nullptr; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char*>(n->name), "version") != 0)
            continue;
        xmlChar* revision = xmlGetProp(n, BAD_CAST "revision");
        xmlChar* value = xmlGetProp(n, BAD_CAST "value");
        const bool both = revision && value;
        if (both) {
            g_szPackageVersion = std::string(reinterpret_cast<const char*>(value)) + reinterpret_cast<const char*>(revision);
            LogDebugMsg(DBG_DEBUG, "%s(): <%d> revision: %s , value =%s\r\n", kFn, __LINE__,
                        reinterpret_cast<const char*>(revision), reinterpret_cast<const char*>(value));
        }
        xmlFree(revision);
        xmlFree(value);
        if (both) break;
    }
    xmlFreeDoc(doc);
}
