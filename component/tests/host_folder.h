// A component folder for runs through kestra_host: the plug-in, the fake update tool under a
// family's program name, package files whose key file names it, and the family's driver service
// running on the machine.
#pragma once

#include <string>
#include <vector>

#include "component_fixture.h"
#include "host_runner.h"
#include "testkit/component_files.h"
#include "testkit/component_machine.h"

struct HostFolder : ComponentFolder {
    explicit HostFolder(const std::string& tool = "YXZQFWUpg.exe", testkit::ComponentPackage p = Package())
    {
        CopyBuilt("Pelaris.so", "Pelaris.so");
        CopyBuilt("fake_update_tool", tool);
        p.keyName = tool;
        testkit::write_component_files(folder(), "dz012345.xml", p, testkit::ComponentInstall{});
        // The driver services the families' dependency checks look for.
        for (const char* service : {"cvnd2", "avdrv"}) testkit::add_service(root(), {service});
    }
    static testkit::ComponentPackage Package()
    {
        testkit::ComponentPackage p;
        p.names = {{"en", "Adapter Firmware"}, {"de", "Adapter-Firmware"}};
        p.descriptions = {{"en", "Updates firmware.\nLine two."}, {"de", "Aktualisiert Firmware."}};
        p.version = "2.4.17";
        p.silent = "no";
        return p;
    }
    HostReport Host(const std::vector<std::string>& args, std::vector<std::string> env = {}, int exitCode = 0) const
    {
        env.insert(env.begin(), "KESTRA_ACTIONS=install");  // a later setting of the caller's wins
        return RunHost(folder(), args, env, exitCode);
    }
    std::string Calls() const { return Read(file("fake_tool.calls")); }
};
