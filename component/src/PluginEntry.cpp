// The plug-in's entry: the attach step that builds and initialises the one component when the
// host loads the library, and the three exported functions, which forward to it.
#include <ios>

#include "FamilyComponents.h"
#include "component/PelarisExports.h"
#include "installer_common/SystemUtils.h"
#include "platform/win_module.h"

namespace {

// Constant-initialised: it is NULL before any constructor of the library runs.
constinit CBaseComponent* g_pComponent = nullptr;

// Runs when the library is loaded. The component lives until the process ends; nothing is done
// when the library is unloaded. No failure here fails the load.
__attribute__((constructor)) void OnProcessAttach()
{
    // The attach step may run before the library's other initialisers (they run in link order);
    // the only one there is sets up the standard streams, which "/consoleout" uses: do it first.
    static std::ios_base::Init streams;
    try {
        SetInstanceHandle(platform::module_of(reinterpret_cast<const void*>(&OnProcessAttach)));
        if (!g_pComponent) g_pComponent = CreateComponentForFolder();
        if (g_pComponent) g_pComponent->Initialize();
    } catch (...) {
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int GetInterfaceVersion(int* version)
{
    if (!version) return 0;
    *version = kPelarisInterfaceVersion;
    return 1;
}

__attribute__((visibility("default"))) int GetProperty(int id, void* out, int cch, const char16_t* lang)
{
    if (!g_pComponent || !out) return 0;
    try {
        return g_pComponent->GetProperty(id, out, cch, lang);
    } catch (...) {
        return 0;
    }
}

__attribute__((visibility("default"))) int Install(int silent, void* reserved, char16_t* message, int cch,
                                                   const char16_t* lang)
{
    if (!g_pComponent) return 0;
    try {
        return g_pComponent->Install(silent, reserved, message, cch, lang);
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
