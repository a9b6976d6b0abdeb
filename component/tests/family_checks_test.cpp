// Each adapter family's dependency check on machines with and without its driver services, driver
// files and operating system, and the one family that asks its flash tool.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ComponentText.h"
#include "FamilyComponents.h"
#include "component_fixture.h"
#include "platform/utf16.h"
#include "testkit/component_machine.h"

namespace {

using Make = std::function<CComponent*()>;
template <typename T>
Make Of()
{
    return [] { return new T; };
}

struct Case {
    std::string name;
    Make make;
    bool nt52;
    std::vector<testkit::MachineService> services;
    std::vector<std::string> driverFiles;
    bool result;
    unsigned message;     // 0: the buffer stays as it was
    std::string toolExit; // ZKMxFlash.exe's exit code; empty: no tool in the folder
};

std::u16string Message(unsigned id)
{
    char16_t text[1024] = {};
    LoadStringW(id, text, 1024);
    return text;
}

}  // namespace

TEST(FamilyChecks, EachFamilyPassesWithItsDriverAndFailsWithItsMessage)
{
    const bool nt52 = true, other = false;
    const Case cases[] = {
        {"Corvane: the second service will do", Of<YXZQTIRNComponent>(), other, {{"cvnd2", false}, {"CVEDRV"}}, {}, true, 0, ""},
        {"Corvane: neither service", Of<YXZQTIRNComponent>(), other, {{"cvnd2", false}}, {}, false, 185, ""},
        {"Quenta: NT 5.2 fails silently", Of<QuentaTIRNComponent>(), nt52, {{"q1rexpress"}}, {}, false, 0, ""},
        {"Quenta: the last service will do", Of<QuentaTIRNComponent>(), other, {{"q40eb"}}, {}, true, 0, ""},
        {"Quenta: none", Of<QuentaTIRNComponent>(), other, {}, {}, false, 182, ""},
        {"Zorevuvi: NT 5.2 driver file alone", Of<ZorevuviTIRNComponent>(), nt52, {}, {"z57amd64.sys"}, true, 0, ""},
        {"Zorevuvi: the file alone is not enough on 6.x", Of<ZorevuviTIRNComponent>(), other, {}, {"z57amd64.sys"},
         false, 180, ""},
        {"Zorevuvi: NDIS 6 service", Of<ZorevuviTIRNComponent>(), other, {{"z57nd60a"}}, {}, true, 0, ""},
        {"Zorevuvi: x86 service names do not count", Of<ZorevuviTIRNComponent>(), other, {{"Z57W2K"}}, {}, false, 180, ""},
        {"KV9: its own driver", Of<AldernKV9TIRNComponent>(), other, {{"avdrv"}}, {}, true, 0, ""},
        {"KV9: the Zorevuvi driver", Of<AldernKV9TIRNComponent>(), other, {{"Z57AMD64"}}, {}, true, 0, ""},
        {"KV9: none", Of<AldernKV9TIRNComponent>(), other, {{"a06vdrv", false}}, {}, false, 181, ""},
        {"NX-E: running", Of<NXETIRNComponent>(), other, {{"zvxtnd"}}, {}, true, 0, ""},
        {"NX-E: stopped", Of<NXETIRNComponent>(), other, {{"zvxtnd", false}}, {}, false, 186, ""},
        {"R9P: running", Of<VR9PTIRNComponent>(), other, {{"YXNDNIC"}}, {}, true, 0, ""},
        {"R9P: never on NT 5.2", Of<VR9PTIRNComponent>(), nt52, {{"YXNDNIC"}}, {}, false, 184, ""},
        {"R9: an old driver and no driver file", Of<VR9TIRNComponent>(), other, {{"MXND6ZK"}}, {}, false,
         kStrOldDriverRuns, "1"},
        {"R9: driver file but no service", Of<VR9TIRNComponent>(), other, {}, {"yxxgnd64.sys"}, false, 183, "1"},
        {"R9: the tool allows it", Of<VR9TIRNComponent>(), other, {{"YXNDNIC"}}, {"yxxgnd64.sys"}, true,
         kStrDependenciesPassed, "2"},
        {"R9: exit 1 allows it too", Of<VR9TIRNComponent>(), other, {{"YXNDNIC"}}, {"yxxgnd64.sys"}, true,
         kStrDependenciesPassed, "1"},
        {"R9: another instance runs", Of<VR9TIRNComponent>(), other, {{"YXNDNIC"}}, {"yxxgnd64.sys"}, false, 0, "3"},
        {"R9: the tool refuses", Of<VR9TIRNComponent>(), other, {{"YXNDNIC"}}, {"yxxgnd64.sys"}, false,
         kStrNotAllowed, "4"},
        {"R9: the tool cannot start", Of<VR9TIRNComponent>(), other, {{"YXNDNIC"}}, {"yxxgnd64.sys"}, false,
         kStrNotAllowed, ""},
        {"R9: NT 5.2 driver and refusal", Of<VR9TIRNComponent>(), nt52, {{"MXND5ZK"}}, {"zknd5x64.sys"}, false,
         kStrNotAllowedNt52, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ComponentFolder f;
        if (c.nt52) testkit::add_system_facts(f.root(), {{"OsMajorVersion", "5"}, {"OsMinorVersion", "2"}});
        for (const auto& s : c.services) testkit::add_service(f.root(), s);
        for (const auto& d : c.driverFiles) testkit::add_driver_file(f.root(), d);
        if (!c.toolExit.empty()) {
            f.CopyBuilt("fake_update_tool", "ZKMxFlash.exe");
            f.Write("fake_tool.ini", "exit=" + c.toolExit + "\n");
        }
        std::unique_ptr<CComponent> component(c.make());
        char16_t message[4096] = u"untouched";
        EXPECT_EQ(component->AreDependenciesMet(message, 4096, u"en"), c.result);
        EXPECT_EQ(std::u16string(message), c.message ? Message(c.message) : u"untouched");
        if (!c.toolExit.empty()) {
            std::string calls = f.Read(f.file("fake_tool.calls"));
            bool asked = calls.find("command=ZKMxFlash.exe /yx |") != std::string::npos;
            EXPECT_EQ(asked, c.message != kStrOldDriverRuns && c.message != 183) << calls;
        }
    }
}

TEST(FamilyChecks, AMessageIsCutToTheCallersBuffer)
{
    ComponentFolder f;
    YXZQTIRNComponent component;
    char16_t message[8] = {};
    EXPECT_FALSE(component.AreDependenciesMet(message, 8, u"en"));
    EXPECT_EQ(std::u16string(message), u"ZKE Ald");
}
