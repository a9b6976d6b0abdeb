// Enumeration and the per-adapter records, read at their byte offsets through the library.
#include <fstream>
#include <iterator>

#include "sim_test_support.h"

using namespace simtest;
namespace phy = yxmapi::phy;
namespace nic = yxmapi::nic;

namespace {

// Four adapters, one of each family (7 is one the front end skips), with every field distinct.
std::vector<sim::AdapterDef> machine()
{
    std::vector<sim::AdapterDef> defs;
    for (uint32_t family : {4u, 5u, 6u, 7u}) {
        sim::AdapterDef a = sim::make_adapter(family, family);
        a.slot = 0x40 + family;
        a.function = family % 2;
        a.device = family + 10;
        a.flash_word = 0x00100000 | (family == 4 ? 1 : 0);
        a.capabilities = 1u << 10;
        a.port = family - 4;
        a.mode_arg = 1;
        a.ext_phy_id1 = 0x0A00 + family;
        a.ext_phy_id2 = 0x01000001;
        a.port_count = 4;
        a.driver_access = family != 7;
        defs.push_back(a);
    }
    defs[0].fw_text(yxmapi::fw4::kBootcode, "bc 7.10.3").fw_text(yxmapi::fw4::kIscsi, "v7.10.2 ipv4_ipv6")
        .fw_text(yxmapi::fw4::kCcm, "7.10.1");
    defs[1].fw_text(yxmapi::fw5::kMba, "MBA 7.10.9").fw_text(yxmapi::fw5::kPhy, "PHY 1.2.3")
        .fw_text(yxmapi::fw5::kText764, "7.13.4");
    defs[1].mbi_packed = 0x070D0200;
    defs[2].fw_text(yxmapi::fw6::kMba, "MBA 8.30.1").fw_text(yxmapi::fw6::kMbi, "8.33.12.0");
    defs[2].mfw_version = "8.33.4.1";
    defs[2].active_bundle = 2;
    return defs;
}

}  // namespace

TEST(Discovery, EnumeratesEveryFamilyWithEachFieldAtItsOffset)
{
    TempRoot root;
    auto defs = machine();
    for (const auto& a : defs) sim::write_adapter(root.path, a);
    Library lib;
    ASSERT_EQ(lib.init(), 0u);

    uint32_t count = 0;
    ASSERT_EQ(lib.fn<ord::kGetPhyNicCount>()(&count), 0u);
    ASSERT_EQ(count, 4u);
    std::vector<uint32_t> handles(count);
    ASSERT_EQ(lib.fn<ord::kGetAllPhyNicHandles>()(handles.data(), count), 0u);

    for (size_t i = 0; i < defs.size(); ++i) {
        const sim::AdapterDef& a = defs[i];
        SCOPED_TRACE(a.name);
        EXPECT_EQ(handles[i], a.list_handle);

        yxmapi::PhyNicInfo p;
        p.prepare(yxmapi::kPhyNicInfoVersion);
        ASSERT_EQ(lib.fn<ord::kGetPhyNic>()(handles[i], &p), 0u);
        EXPECT_EQ(p.get(phy::kFamily), a.family);
        EXPECT_EQ(p.get(phy::kApiHandle), a.api_handle);
        EXPECT_EQ(p.get(phy::kDriverAccess), a.driver_access ? 1u : 0u);
        EXPECT_EQ(p.get(phy::kMac), a.mac);
        EXPECT_EQ(p.get(phy::kDriverMajor), a.driver_major);
        EXPECT_EQ(p.get(phy::kDriverMinor), a.driver_minor);
        EXPECT_EQ(p.get(phy::kDriverBuild), a.driver_build);
        EXPECT_EQ(p.get(phy::kVid), a.vid);
        EXPECT_EQ(p.get(phy::kDid), a.did);
        EXPECT_EQ(p.get(phy::kSvid), a.svid);
        EXPECT_EQ(p.get(phy::kSsid), a.ssid);
        EXPECT_EQ(p.get(phy::kPciFunction), a.function);
        EXPECT_EQ(p.get(phy::kSlot), a.slot);
        EXPECT_EQ(p.get(phy::kChipId), a.chip_id);
        EXPECT_EQ(p.get(phy::kServiceNameHandle), a.service_handle);

        yxmapi::NicInfoEx n;
        n.prepare(yxmapi::kNicInfoExVersion);
        ASSERT_EQ(lib.fn<ord::kGetZIZUNicInfoEx>()(handles[i], &n), 0u);
        EXPECT_EQ(n.get(nic::kBus), a.bus);
        EXPECT_EQ(n.get(nic::kDevice), a.device);
        EXPECT_EQ(n.get(nic::kFunction), p.get(phy::kPciFunction));
        EXPECT_EQ(n.get(nic::kVid), p.get(phy::kVid));
        EXPECT_EQ(n.get(nic::kDid), p.get(phy::kDid));
        EXPECT_EQ(n.get(nic::kSvid), p.get(phy::kSvid));
        EXPECT_EQ(n.get(nic::kSsid), p.get(phy::kSsid));
        EXPECT_EQ(n.get(nic::kCapabilities), a.capabilities);
        EXPECT_EQ(n.get(nic::kFlashWord), a.flash_word);
        EXPECT_EQ(n.get(nic::kPort), a.port);
        EXPECT_EQ(n.get(nic::kModeArg), 1u);
        EXPECT_EQ(n.get(nic::kPortCount), 4u);
        // The external PHY ids sit unaligned; read them as a caller would, with memcpy.
        uint32_t id1, id2;
        std::memcpy(&id1, n.bytes + 266, 4);
        std::memcpy(&id2, n.bytes + 270, 4);
        EXPECT_EQ(id1, a.ext_phy_id1);
        EXPECT_EQ(id2, a.ext_phy_id2);

        char name[520] = {};
        ASSERT_EQ(lib.fn<ord::kGetServiceName>()(p.get(phy::kServiceNameHandle), name, sizeof name), 0u);
        EXPECT_STREQ(name, a.service_name.c_str());
    }

    // Firmware records of each family, by list handle.
    yxmapi::FwInfoType4 f4;
    f4.prepare(yxmapi::kFwInfoType4Version);
    ASSERT_EQ(lib.fn<ord::kGetFwInfoType4>()(handles[0], &f4), 0u);
    EXPECT_EQ(f4.get(yxmapi::fw4::kBootcode), "bc 7.10.3");
    EXPECT_EQ(f4.get(yxmapi::fw4::kIscsi), "v7.10.2 ipv4_ipv6");
    EXPECT_EQ(f4.get(yxmapi::fw4::kCcm), "7.10.1");
    EXPECT_EQ(f4.get(yxmapi::fw4::kPxe), "");

    yxmapi::FwInfoType5 f5;
    f5.prepare(yxmapi::kFwInfoType5Version);
    ASSERT_EQ(lib.fn<ord::kGetFwInfoType5>()(handles[1], &f5), 0u);
    EXPECT_EQ(f5.get(yxmapi::fw5::kMba), "MBA 7.10.9");
    EXPECT_EQ(f5.get(yxmapi::fw5::kPhy), "PHY 1.2.3");
    EXPECT_EQ(f5.get(yxmapi::fw5::kText764), "7.13.4");
    EXPECT_EQ(f5.bytes[803], 7);  // packed MBI: byte 3 major, 2 minor, 1 build
    EXPECT_EQ(f5.bytes[802], 13);
    EXPECT_EQ(f5.bytes[801], 2);

    yxmapi::FwInfoType6 f6;
    f6.prepare(yxmapi::kFwInfoType6Version);
    ASSERT_EQ(lib.fn<ord::kGetFwInfoType6>()(handles[2], &f6), 0u);
    EXPECT_EQ(f6.get(yxmapi::fw6::kMba), "MBA 8.30.1");
    EXPECT_EQ(f6.get(yxmapi::fw6::kMbi), "8.33.12.0");

    yxmapi::MfwInfo m;
    m.prepare(yxmapi::kMfwInfoVersion);
    ASSERT_EQ(lib.fn<ord::kGetMfwInfo>()(defs[2].api_handle, &m), 0u);
    EXPECT_EQ(m.get(yxmapi::mfw::kVersion), "8.33.4.1");
    EXPECT_EQ(m.get(yxmapi::mfw::kActiveBundle), 2u);
    lib.shutdown();
}

TEST(Discovery, WrongVersionsHandlesAndFamiliesFailWithoutWriting)
{
    TempRoot root;
    auto defs = machine();
    for (const auto& a : defs) sim::write_adapter(root.path, a);
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    const sim::AdapterDef& e4 = defs[2];

    // A record with the wrong version word is refused and left as the caller gave it.
    yxmapi::PhyNicInfo p;
    p.prepare(15);
    EXPECT_NE(lib.fn<ord::kGetPhyNic>()(e4.list_handle, &p), 0u);
    EXPECT_EQ(p.get(phy::kFamily), 0u);
    yxmapi::NicInfoEx n;
    n.prepare(18);
    EXPECT_NE(lib.fn<ord::kGetZIZUNicInfoEx>()(e4.list_handle, &n), 0u);
    EXPECT_EQ(n.get(nic::kFlashWord), 0u);
    yxmapi::FwInfoType6 f6;
    f6.prepare(2);
    EXPECT_NE(lib.fn<ord::kGetFwInfoType6>()(e4.list_handle, &f6), 0u);
    yxmapi::MfwInfo m;
    m.prepare(2);
    EXPECT_NE(lib.fn<ord::kGetMfwInfo>()(e4.api_handle, &m), 0u);
    EXPECT_EQ(m.get(yxmapi::mfw::kVersion), "");

    // Handles are only valid in their own space.
    p.prepare(yxmapi::kPhyNicInfoVersion);
    EXPECT_NE(lib.fn<ord::kGetPhyNic>()(e4.api_handle, &p), 0u);
    EXPECT_NE(lib.fn<ord::kGetPhyNic>()(0xDEAD, &p), 0u);
    EXPECT_NE(lib.fn<ord::kClaimNic>()(e4.list_handle), 0u);
    char name[520];
    EXPECT_NE(lib.fn<ord::kGetServiceName>()(e4.list_handle, name, sizeof name), 0u);
    uint32_t word;
    EXPECT_NE(lib.fn<ord::kReadNvram>()(e4.service_handle, 0, &word, 1, kGuid), 0u);

    // A firmware record of another family's type is refused.
    yxmapi::FwInfoType5 f5;
    f5.prepare(yxmapi::kFwInfoType5Version);
    EXPECT_NE(lib.fn<ord::kGetFwInfoType5>()(e4.list_handle, &f5), 0u);
    m.prepare(yxmapi::kMfwInfoVersion);
    EXPECT_NE(lib.fn<ord::kGetMfwInfo>()(defs[1].api_handle, &m), 0u);

    // A handle array smaller than the adapter count is refused untouched.
    uint32_t few[2] = {0, 0};
    EXPECT_NE(lib.fn<ord::kGetAllPhyNicHandles>()(few, 2), 0u);
    EXPECT_EQ(few[0], 0u);

    // A service name that does not fit the caller's buffer fails rather than being cut.
    char small[4];
    EXPECT_NE(lib.fn<ord::kGetServiceName>()(e4.service_handle, small, sizeof small), 0u);
    lib.shutdown();
}

TEST(Discovery, VersionQueryWorksBeforeInitialisationAndOtherCallsDoNot)
{
    TempRoot root;
    sim::write_adapter(root.path, sim::make_adapter(5, 0));
    Library lib;
    uint32_t major = 0, minor = 0, build = 0;
    ASSERT_EQ(lib.fn<ord::kGetVersion>()(&major, &minor, &build), 0u);
    EXPECT_GE(std::make_tuple(major, minor, build), std::make_tuple(7u, 6u, 14u));

    sim::Control control;
    control.version_major = 7, control.version_minor = 6, control.version_build = 13;
    sim::write_control(root.path, control);
    ASSERT_EQ(lib.fn<ord::kGetVersion>()(&major, &minor, &build), 0u);
    EXPECT_EQ(std::make_tuple(major, minor, build), std::make_tuple(7u, 6u, 13u));

    uint32_t count = 0;
    EXPECT_NE(lib.fn<ord::kGetPhyNicCount>()(&count), 0u);
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(lib.fn<ord::kGetPhyNicCount>()(&count), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(lib.shutdown(), 0u);
    EXPECT_NE(lib.fn<ord::kGetPhyNicCount>()(&count), 0u);
}

// A machine folder without adapters/ (FWUPG_SYSTEM_ROOT unset or misspelt) gives no adapters, and
// the library says so once per process on stderr, naming the folder it looked in and the
// variable. Run in a child process: the note is once per process, and stderr is the child's.
TEST(Discovery, NoAdaptersFolderIsSaidOnceOnStderr)
{
    struct Case {
        const char* what;
        bool set;        // FWUPG_SYSTEM_ROOT set to the (adapter-less) temporary folder
        const char* expect;
    } cases[] = {
        {"misspelt root", true, "FWUPG_SYSTEM_ROOT names the simulated machine's folder (it is \""},
        {"unset", false, "no adapters folder at /adapters, so no adapters; FWUPG_SYSTEM_ROOT names the simulated "
                         "machine's folder (it is unset)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempRoot root;  // holds no adapters folder
        const std::string err = root.path + "/stderr.txt";
        const std::string lib = bin_dir() + "/" + yxmapi::kLibraryFileName;
        const pid_t pid = fork();
        if (pid == 0) {
            std::FILE* f = std::freopen(err.c_str(), "w", stderr);
            if (!c.set) unsetenv("FWUPG_SYSTEM_ROOT");
            void* h = f ? dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
            if (!h) _exit(2);
            auto init = reinterpret_cast<yxmapi::OrdinalFn<ord::kInitializeEx>::type>(
                dlsym(h, yxmapi::symbol_for_ordinal(ord::kInitializeEx)));
            auto count = reinterpret_cast<yxmapi::OrdinalFn<ord::kGetPhyNicCount>::type>(
                dlsym(h, yxmapi::symbol_for_ordinal(ord::kGetPhyNicCount)));
            auto shutdown = reinterpret_cast<yxmapi::OrdinalFn<ord::kShutdown>::type>(
                dlsym(h, yxmapi::symbol_for_ordinal(ord::kShutdown)));
            uint32_t n = 99;
            for (int i = 0; i < 2; ++i) {  // two sessions: the note comes once
                if (init(0) != 0 || count(&n) != 0 || n != 0) _exit(3);
                shutdown();
            }
            std::fflush(stderr);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        std::ifstream in(err);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find(c.expect), std::string::npos) << text;
        if (c.set) {
            EXPECT_NE(text.find("no adapters folder at " + root.path + "/adapters"), std::string::npos) << text;
        }
        EXPECT_EQ(text.find("no adapters folder"), text.rfind("no adapters folder")) << "said once: " << text;
    }
}
