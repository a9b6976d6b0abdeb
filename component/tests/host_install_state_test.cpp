// The install state (property 5) through kestra_host: the plug-in's checks over machines that
// differ in their operating system, disk, devices, services, computer model and package, and the
// version status that the update tool's version check gives.
#include <gtest/gtest.h>

#include <functional>

#include "host_folder.h"

namespace {

constexpr const char* kOlder =
    "At least 1 NIC on the system has older firmware than that which is available in the component. Firmware update "
    "is recommended. Press install to display installed version(s) and firmware available in this component.\\r\\n";
constexpr const char* kSame =
    "All NICs in the system for which there is a corresponding firmware version in this component have the same "
    "version of firmware as that which is available in the component. Firmware upgrade is not necessary. To display "
    "installed version(s) and firmware available in this component, press install.\\r\\n";
constexpr const char* kNewerStart = "All NICs in the system for which there is a corresponding firmware version in the "
                                    "component are either the same or newer";
constexpr const char* kOsText = "The OS is not supported.\\r\\n";
constexpr const char* kDiskText = "There is not enough disk space to install this component.\\r\\n";
constexpr const char* kRemovalText =
    "The component is marked for removal upon the next reboot.  Install can not continue.\\r\\n";
constexpr const char* kNoDriverText = "ZKE Aldern Corvane Driver x64 Edition is required but is not currently "
                                      "installed and running.  Please install or load driver and retry setup.\\r\\n";

const testkit::MachineDevice kAdapter = {
    "PCI\\VEN_8086&DEV_1572&SUBSYS_00018086&REV_01\\3&11583659&0&00",
    {"PCI\\VEN_8086&DEV_1572&SUBSYS_00018086&REV_01", "PCI\\VEN_8086&DEV_1572&SUBSYS_00018086",
     "PCI\\VEN_8086&DEV_1572&REV_01", "PCI\\VEN_8086&DEV_1572"}};

struct Machine {
    std::vector<std::pair<std::string, std::string>> facts = {};  // system.conf
    std::function<void(testkit::ComponentPackage&)> package = {};
    std::function<void(HostFolder&)> setup = {};
};

HostReport StateOf(const Machine& m, const std::string& versionCheckExit, const std::vector<std::string>& args = {},
                   const std::string& lang = "en", std::string* calls = nullptr)
{
    testkit::ComponentPackage p = HostFolder::Package();
    if (m.package) m.package(p);
    HostFolder f("YXZQFWUpg.exe", p);
    testkit::add_system_facts(f.root(), m.facts);
    if (m.setup) m.setup(f);
    f.Write("fake_tool.ini", "exit=1\nexit_if=/N " + versionCheckExit + "\n");
    HostReport r = RunHost(f.folder(), args, {"KESTRA_ACTIONS=props", "KESTRA_LANG=" + lang});
    if (calls) *calls = f.Calls();
    return r;
}

}  // namespace

TEST(HostInstallState, StatesFromTheChecksAndTheVersionCheck)
{
    auto os = [](std::string attributes) {
        return [attributes](testkit::ComponentPackage& p) { p.operatingSystems = {attributes}; };
    };
    auto pci = [](testkit::ComponentPackage& p) { p.pci = {{"8086", "1572", "", ""}}; };
    const std::string tiB3 = "3298534883328";  // 3 TiB: 3 x 2^30 kilobytes, beyond a signed 32-bit number
    struct Case {
        std::string name;
        Machine machine;
        std::string versionCheckExit;
        std::string state;
        std::string text;
    };
    const Case cases[] = {
        {"same version", {}, "5", "1", kSame},
        {"older firmware on an adapter", {}, "4", "2", kOlder},
        {"newer firmware on an adapter", {}, "6", "3", "<newer>"},
        {"a failed version check reads as the same", {}, "0", "1", kSame},
        {"x64 6.x in the list, platform in capitals",
         {{{"OsMajorVersion", "6"}, {"OsMinorVersion", "3"}}, os("platform=\"NT_X86-64\" major=\"6\" minor=\"-1\"")},
         "5", "1", kSame},
        {"NT 5.2 outside a 6.x list",
         {{{"OsMajorVersion", "5"}, {"OsMinorVersion", "2"}}, os("platform=\"nt_x86-64\" major=\"6\"")}, "5", "7",
         kOsText},
        {"a service pack is never there", {{}, os("platform=\"nt_x86-64\" sr=\"1\"")}, "5", "7", kOsText},
        {"x86 on 64-bit matches only an entry without a platform",
         {{{"ProcessorArchitecture", "10"}}, os("platform=\"\" major=\"10\"")}, "5", "1", kSame},
        {"x86 on 64-bit is no x64 system", {{{"ProcessorArchitecture", "10"}}, os("platform=\"nt_x86-64\"")}, "5",
         "7", kOsText},
        {"an edition that covers the running one",
         {{{"ProductType", "8"}}, os("platform=\"nt_x86-64\" edition=\"dc\"")}, "5", "1", kSame},
        {"an edition that does not",
         {{{"ProductType", "9"}}, os("platform=\"nt_x86-64\" edition=\"dc\"")}, "5", "7", kOsText},
        {"too little disk space",
         {{{"FreeDiskBytes", "1048576"}}, [](testkit::ComponentPackage& p) { p.diskKb = "1025"; }}, "5", "7", kDiskText},
        {"more than 2 TiB free is enough",
         {{{"FreeDiskBytes", tiB3}}, [](testkit::ComponentPackage& p) { p.diskKb = "4096"; }}, "5", "1", kSame},
        {"no space required asks nothing",
         {{{"FreeDiskBytes", "0"}}, [](testkit::ComponentPackage& p) { p.diskKb = "0"; }}, "5", "1", kSame},
        {"supported adapter present (its first id carries the revision)",
         {{}, pci, [](HostFolder& f) { testkit::add_device(f.root(), kAdapter); }}, "4", "2", kOlder},
        {"supported adapter absent", {{}, pci}, "4", "6", ""},
        // Entries that make no hardware id stand for hardware that is never present.
        {"only device entries that make no id",
         {{}, [](testkit::ComponentPackage& p) {
              p.pci = {{"8086", "", "", ""}, {}};
              p.otherDevices = {{"eisa", "PNP0A0"}};
          },
          [](HostFolder& f) { testkit::add_device(f.root(), kAdapter); }},
         "4", "6", ""},
        {"driver service not running",
         {{}, {}, [](HostFolder& f) { testkit::add_service(f.root(), {"cvnd2", false}); }}, "5", "7", kNoDriverText},
        {"driver service marked for removal",
         {{}, {}, [](HostFolder& f) {
              testkit::add_service(f.root(), {"cvnd2", true, true});
              f.Write("ostra.inf", testkit::addservice_inf("cvnd2"));
          }},
         "5", "7", kRemovalText},
        {"computer model not listed",
         {{}, {}, [](HostFolder& f) {
              testkit::set_computer_model(f.root(), "Ostra Server 9");
              f.Write("dependency.xml", testkit::dependency_xml({"Ostra Server 7", "Ostra Server 8"}));
          }},
         "4", "6", "System model not supported."},
        {"computer model listed (blanks and case aside)",
         {{}, {}, [](HostFolder& f) {
              testkit::set_computer_model(f.root(), "Ostra Server 9 ");
              f.Write("dependency.xml", testkit::dependency_xml({"Ostra Server 8", "ostra server 9"}));
          }},
         "4", "2", kOlder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostReport r = StateOf(c.machine, c.versionCheckExit);
        EXPECT_EQ(r["property5.state"], c.state) << r.out;
        if (c.text == "<newer>")
            EXPECT_EQ(r["property5.text"].rfind(kNewerStart, 0), 0u) << r["property5.text"];
        else
            EXPECT_EQ(r["property5.text"], c.text);
    }
}

TEST(HostInstallState, TextsInTheHostsLanguage)
{
    Machine nt52{{{"OsMajorVersion", "5"}, {"OsMinorVersion", "2"}},
                 [](testkit::ComponentPackage& p) { p.operatingSystems = {"platform=\"nt_x86-64\" major=\"6\""}; }};
    const std::pair<std::string, std::string> cases[] = {
        {"en", kOsText},
        {"fr", "Le système d'exploitation n'est pas pris en charge\\r\\n"},
        {"it", kOsText},
        {"DE", "Das Betriebssystem wird nicht unterstützt\\r\\n"},
        {"es", "El sistema operativo no es compatible.\\r\\n"},
        {"ja", "このOSはサポートされていません。\\r\\n"},
        {"pt", kOsText},
    };
    for (const auto& [lang, text] : cases) {
        HostReport r = StateOf(nt52, "5", {}, lang);
        EXPECT_EQ(r["property5.state"], "7") << lang;
        EXPECT_EQ(r["property5.text"], text) << lang;
    }
    Machine removal{{}, {}, [](HostFolder& f) {
                        testkit::add_service(f.root(), {"cvnd2", true, true});
                        f.Write("ostra.inf", testkit::addservice_inf("cvnd2"));
                    }};
    EXPECT_EQ(StateOf(removal, "5", {}, "ja")["property5.text"],
              "このコンポーネントは次回のリブート時に削除されるようにマークされています。インストールを続行できません。\\r\\n");
    Machine disk{{{"FreeDiskBytes", "0"}}};
    EXPECT_EQ(StateOf(disk, "5", {}, "es")["property5.text"],
              "No dispone de suficiente espacio en el disco para instalar este componente.\\r\\n");
    // The version texts come from the string table, in the machine's language.
    Machine german{{{"SystemLocale", "1031"}}};
    EXPECT_EQ(StateOf(german, "4")["property5.text"].rfind("Mindestens 1 NIC im System hat ältere Firmware", 0), 0u);
}

TEST(HostInstallState, DiscoveryAndUpdateSwitchesForceAnUpdateWithoutAVersionCheck)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"/u", "r.xml"}, "Reading XML file and performing firmware updates.\\r\\n"},
        {{"/d", "r.xml"},
         "Checking all NICs in the system for installed firmware and generating discovery XML file.\\r\\n"},
        // Update is tested before discovery.
        {{"/d", "a.xml", "/u", "b.xml"}, "Reading XML file and performing firmware updates.\\r\\n"},
    };
    for (const auto& [args, text] : cases) {
        std::string calls;
        HostReport r = StateOf({}, "6", args, "en", &calls);
        EXPECT_EQ(r["property5.state"], "2") << r.out;
        EXPECT_EQ(r["property5.text"], text);
        EXPECT_EQ(calls, "");  // no version check was run
    }
    // Otherwise the check runs the tool as "<program> /N ".
    std::string calls;
    StateOf({}, "5", {}, "en", &calls);
    EXPECT_EQ(calls.substr(0, calls.find('\n')), "command=YXZQFWUpg.exe /N |");
}
