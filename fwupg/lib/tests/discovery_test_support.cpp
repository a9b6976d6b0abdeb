#include "discovery_test_support.h"

#include <filesystem>
#include <fstream>

#include <testkit/package.h>

#include "fwupg/call_frame.h"
#include "fwupg/discovery_report.h"
#include "fwupg/frame_work.h"
#include "fwupg/nic_fw_data.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"

namespace disctest {

World::World()
{
    // Each world starts without a firmware data file, as a new process would.
    fwupg::ResetNicFwDataForTest();
    g_szPackageVersion.clear();
    std::filesystem::create_directories(fw());
    oldCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(root());
}

World::~World()
{
    if (up_) {
        fwupg::DeleteInterp();
        fwupg::yx::Shutdown();
    }
    g_bDumpMode = 0;
    std::filesystem::current_path(oldCwd_);
}

void World::Fail(uint32_t ordinal, const std::string& adapter)
{
    sim::Control control;
    sim::FaultRule rule;
    rule.ordinal = ordinal;
    rule.adapter = adapter;
    control.faults.push_back(rule);
    sim::write_control(root(), control);
}

std::string World::File(const std::string& name, const testkit::Bytes& bytes) const
{
    const std::string path = fw() + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string World::File(const std::string& name, const std::string& text) const
{
    const std::string path = fw() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string World::Mbi(const std::string& name, uint16_t vid, uint16_t did, uint16_t svid, uint16_t ssid, uint8_t a,
                       uint8_t b, uint8_t c) const
{
    testkit::PackageDef s;
    s.major = a;
    s.minor = b;
    s.build = c;
    s.entries = {{testkit::package_tag("MFW"), testkit::Bytes(16, 1), {}, {}}};
    s.rows = {{vid, did, svid, ssid, 1}};
    return File(name, testkit::package(s));
}

bool World::Discover(bool dumpMode)
{
    if (!up_) {
        up_ = true;
        fwupg::yx::Initialize();
        fwupg::_Tcl_Init("test");
    }
    g_bDumpMode = dumpMode ? 1 : 0;
    const bool ok = DiscoverDevices(fw().c_str());
    g_bDumpMode = 0;
    return ok;
}

sim::AdapterDef Port(uint32_t index, uint32_t function, uint32_t bus)
{
    sim::AdapterDef a = sim::make_adapter(yxmapi::kFamily57710, index);
    a.function = function;
    a.bus = bus;
    return a;
}

}  // namespace disctest
