// Reader of the firmware data file (see nic_fw_data.h).
#include "fwupg/nic_fw_data.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <platform/utf16.h>

#include "fwupg/debug_log.h"
#include "fwupg/oem_interface.h"

const char* const kNicFwAttributeNames[kNicFwFieldCount] = {
    "name",     "venid",     "devid",  "subvenid",  "subdevid", "bootcode", "bcFile", "pxe",
    "pxeFile",  "ipmi",      "ipmiFile", "ump",     "umpFile",  "clp",      "clpFile", "iscsi",
    "iscsiFile", "ncsi",     "ncsiFile", "fcoe",    "fcoeFile", "uefi",     "uefiFile", "ccm",
    "ccmFile",  "l2",        "l2File", "mbi",       "mbiFile",  "phy",      "phyFile",
};

std::map<std::u16string, NicFwData> g_NicFwDataMap;
bool g_bNicFwDataLoaded = false;

namespace {

// No error or warning reports, blank text nodes dropped, CDATA merged as text.
constexpr int kReadOptions = XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS | XML_PARSE_NOCDATA;
static_assert(kReadOptions == 0x4160);

// Room for a path built from the folder, terminator included; a longer one would name another file.
constexpr size_t kPathSize = 260;

std::string narrow(const std::u16string& text)
{
    return platform::to_utf8(text);
}

}  // namespace

std::optional<NicFwData> ReadNicFwDataNode(xmlNode* node)
{
    xmlNode* nic = nullptr;
    for (xmlNode* c = node ? node->children : nullptr; c && !nic; c = c->next)
        if (c->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(c->name), "nic") == 0) nic = c;
    if (!nic) return std::nullopt;
    NicFwData data;
    for (size_t i = 0; i < kNicFwFieldCount; ++i) {
        // xmlGetProp also sees values defaulted by a DTD, and answers null for an absent attribute.
        xmlChar* value = xmlGetProp(nic, BAD_CAST kNicFwAttributeNames[i]);
        if (value) {
            data.field[i] = platform::to_utf16(reinterpret_cast<const char*>(value));
            xmlFree(value);
        }
    }
    return data;
}

uint32_t do_discover_with_zkfwdata(const char* folder)
{
    static const char* const kFn = "do_discover_with_zkfwdata";
    LogDebugMsg(DBG_DEBUG, "%s():  do_discover_with_zkfwdata: path: %s", kFn, folder ? folder : "");
    char path[kPathSize];
    const int n = std::snprintf(path, sizeof path, "%s/NICFWData.xml", folder ? folder : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
        LogDebugMsg(DBG_DEBUG, "do_discover_with_zkfwdata() : NICFWData.xml - File not exists");
        return RET_DISCOV_FILE_ACCESS_FAILED;
    }
    LogDebugMsg(DBG_DEBUG, "%s: XML File  %s", kFn, path);
    if (access(path, F_OK) != 0) {
        LogDebugMsg(DBG_DEBUG, "do_discover_with_zkfwdata() : NICFWData.xml - File not exists");
        return RET_DISCOV_FILE_ACCESS_FAILED;
    }
    xmlDoc* doc = xmlReadFile(path, nullptr, kReadOptions);
    if (!doc) {
        LogDebugMsg(DBG_DEBUG, "do_discover_with_zkfwdata() : xmlReadMemory() failed in ParseXmlFile() !!!");
        return RET_XML_SYNTAX_ERROR;
    }
    xmlNode* root = xmlDocGetRootElement(doc);
    if (!root) {
        LogDebugMsg(DBG_DEBUG, "oem_do_flash_with_file(): xmlDocGetRootElement() failed in ParseXmlFile()!!!");
        xmlFreeDoc(doc);
        return RET_DISCOV_FILE_ACCESS_FAILED;
    }
    if (std::strcmp(reinterpret_cast<const char*>(root->name), "nic_fw_package") != 0) {
        LogDebugMsg(DBG_DEBUG, "oem_do_flash_with_file(): Unknown root element [%s] !!!",
                    reinterpret_cast<const char*>(root->name));
        xmlFreeDoc(doc);
        return RET_DISCOV_FILE_ACCESS_FAILED;
    }
    for (xmlNode* child = root->children; child; child = child->next) {
        std::optional<NicFwData> data = ReadNicFwDataNode(child);
        if (!data) continue;
        std::u16string key = (*data)[kNfDevid] + u"-" + (*data)[kNfSubdevid];
        LogDebugMsg(DBG_DEBUG, "%s():key =%s", kFn, narrow(key).c_str());
        LogDebugMsg(DBG_DEBUG, "%s():_data.mbi =%s, _data.mbiFile=%s ", kFn, narrow((*data)[kNfMbi]).c_str(),
                    narrow((*data)[kNfMbiFile]).c_str());
        LogDebugMsg(DBG_DEBUG, "%s():_data.phy =%s, _data.phyFile=%s ", kFn, narrow((*data)[kNfPhy]).c_str(),
                    narrow((*data)[kNfPhyFile]).c_str());
        g_NicFwDataMap.emplace(std::move(key), std::move(*data));
    }
    xmlFreeDoc(doc);
    g_bNicFwDataLoaded = true;
    return RET_SUCCESSFUL;
}

bool IsNicFwDataLoaded()
{
    return g_bNicFwDataLoaded;
}

namespace fwupg {

std::u16string NicFwDataKey(uint32_t did, uint32_t ssid)
{
    char key[32];
    std::snprintf(key, sizeof key, "%04X-%04X", did, ssid);
    return platform::to_utf16(key);
}

const NicFwData* FindNicFwData(const std::u16string& key)
{
    auto it = g_NicFwDataMap.find(key);
    return it == g_NicFwDataMap.end() ? nullptr : &it->second;
}

const NicFwData* FindNicFwData(uint32_t did, uint32_t ssid)
{
    return FindNicFwData(NicFwDataKey(did, ssid));
}

void ResetNicFwDataForTest()
{
    g_NicFwDataMap.clear();
    g_bNicFwDataLoaded = false;
}

}  // namespace fwupg
