#include "FamilyComponents.h"

#include <fnmatch.h>

#include "platform/paths.h"

ZorevuviTIRNComponent::~ZorevuviTIRNComponent() = default;
NXETIRNComponent::~NXETIRNComponent() = default;
QuentaTIRNComponent::~QuentaTIRNComponent() = default;
AldernKV9TIRNComponent::~AldernKV9TIRNComponent() = default;
VR9PTIRNComponent::~VR9PTIRNComponent() = default;
VR9TIRNComponent::~VR9TIRNComponent() = default;
YXZQTIRNComponent::~YXZQTIRNComponent() = default;

namespace {

template <typename T>
CBaseComponent* Make()
{
    return new T;
}

struct Family {
    const char* tools[2];
    CBaseComponent* (*make)();
};

// In test order: the first row that names a file wins.
constexpr Family kFamilies[] = {
    {{"OstraNicFwUpg.exe", nullptr}, Make<ZorevuviTIRNComponent>},
    {{"ostrefwupg.exe", nullptr}, Make<NXETIRNComponent>},
    {{"ZKNVMUpdate.exe", "ZKBootUtil.exe"}, Make<QuentaTIRNComponent>},
    {{"YxNicFwUpg.exe", nullptr}, Make<AldernKV9TIRNComponent>},
    {{"ZKYXFlash.exe", nullptr}, Make<VR9PTIRNComponent>},
    {{"ZKMxFlash.exe", nullptr}, Make<VR9TIRNComponent>},
    {{"YXZQFWUpg.exe", nullptr}, Make<YXZQTIRNComponent>},
};

const Family* FamilyOf(const std::string& file)
{
    for (const auto& f : kFamilies)
        for (const char* tool : f.tools)
            if (tool && platform::iequals(file, tool)) return &f;
    return nullptr;
}

}  // namespace

CBaseComponent* CreateComponentForFolder()
{
    for (const std::string& name : platform::list_dir_sorted(".")) {
        if (fnmatch("*.exe", name.c_str(), FNM_CASEFOLD) != 0) continue;
        if (const Family* f = FamilyOf(name)) return f->make();
    }
    return nullptr;
}
