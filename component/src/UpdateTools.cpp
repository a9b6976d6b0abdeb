#include "UpdateTools.h"

#include <iterator>
#include <string_view>

#include "platform/utf16.h"

namespace {

constexpr UpdateTool kTools[] = {
    {{u"YxNicFwUpg.exe", nullptr}, u"YxNicFwUpg.exe", 1, u"ZKE Aldern KV9 Varnelle Utility for Windows", false},
    {{u"OstraNicFwUpg.exe", nullptr}, u"OstraNicFWUpg.exe", 0, u"ZKE Zorevuvi Varnelle Utility for Windows", false},
    {{u"ostrefwupg.exe", nullptr}, u"ostrefwupg.exe", 6, u"ZKE Zorevuvi NX-E Varnelle Utility for Windows", false},
    {{u"YXZQFWUpg.exe", nullptr}, u"YXZQFWUpg.exe", 5, u"ZKE Aldern Corvane Varnelle Utility for Windows Server",
     true},
    {{u"ZKNVMUpdate.exe", u"ZKBootUtil.exe"}, u"ZKNVMUpdate.exe", 2, u"ZKE Quenta Varnelle Utility for Windows", false},
    {{u"ZKMxFlash.exe", nullptr}, u"ZKMxFlash.exe", 3, u"ZK KW-Series Morvex R9 Varnelle Utility for Windows", false},
    {{u"ZKYXFlash.exe", nullptr}, u"ZKYXFlash.exe", 4, u"ZK Aldern R9P Varnelle Utility for Windows", false},
};

// Title lookup order, as rows of kTools: ZKMxFlash, ZKYXFlash, ZKNVMUpdate/ZKBootUtil,
// OstraNicFwUpg, ostrefwupg, YxNicFwUpg, YXZQFWUpg.
constexpr int kTitleOrder[] = {5, 6, 4, 1, 2, 0, 3};
static_assert(std::size(kTitleOrder) == std::size(kTools));

constexpr const char16_t* kHostVersionTools[] = {u"ZKNVMUpdate.exe", u"OstraNicFwUpg.exe", u"ostrefwupg.exe",
                                                 u"YxNicFwUpg.exe"};

bool Contains(const char16_t* text, const char16_t* part)
{
    return part && platform::u16_view(text).find(platform::u16_view(part)) != std::u16string_view::npos;
}

bool Names(const UpdateTool& tool, const char16_t* keyFile)
{
    return Contains(keyFile, tool.keyNames[0]) || Contains(keyFile, tool.keyNames[1]);
}

}  // namespace

const UpdateTool* GetUpdateToolName(const char16_t* keyFile)
{
    for (const auto& t : kTools)
        if (Names(t, keyFile)) return &t;
    return nullptr;
}

const char16_t* GetUpdateToolTitle(const char16_t* keyFile)
{
    for (int row : kTitleOrder)
        if (Names(kTools[row], keyFile)) return kTools[row].title;
    return nullptr;
}

bool NeedsHostVersionCheck(const char16_t* keyFile)
{
    for (const char16_t* name : kHostVersionTools)
        if (Contains(keyFile, name)) return true;
    return false;
}
