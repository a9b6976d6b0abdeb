// The fixture builder and the description format the library reads.
#include "sim_test_support.h"

#include <platform/registry_store.h>

#include "kv_text.h"

using namespace simtest;

TEST(Builder, DescriptionRoundTripsThroughItsText)
{
    sim::AdapterDef a = sim::make_adapter(4, 9, "port.9");
    a.nic_function = 1;
    a.nic_ssid = 0xBEEF;
    a.connection_name = "Local Area Connection 2";
    a.driver_access = false;
    a.reg(0x40C, 0x40000000).fw_text(yxmapi::fw4::kPxe, "PXE v7.10.3").fw_text(yxmapi::fw4::kIscsi, "");
    std::string error;
    auto back = sim::parse_adapter(a.name, sim::format_adapter(a), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(sim::format_adapter(*back), sim::format_adapter(a));
    EXPECT_EQ(back->nic_function, 1u);
    EXPECT_FALSE(back->nic_vid.has_value());
    EXPECT_EQ(back->registers.at(0x40C), 0x40000000u);
    EXPECT_EQ(back->fw_texts.at(yxmapi::fw4::kPxe.off), "PXE v7.10.3");
}

TEST(Builder, RefusesDescriptionsTheLibraryCouldNotServe)
{
    struct Case {
        const char* why;
        void (*change)(sim::AdapterDef&);
    } cases[] = {
        {"reserved API handle", [](sim::AdapterDef& a) { a.api_handle = 0xFFFFFFFF; }},
        {"NVRAM below 1 KiB", [](sim::AdapterDef& a) { a.flash_word = 0x00000001; }},
        {"name with a slash", [](sim::AdapterDef& a) { a.name = std::string("../x"); }},
        {"MAC longer than its field", [](sim::AdapterDef& a) { a.mac = std::string(20, '1'); }},
        {"text with a line break", [](sim::AdapterDef& a) { a.service_name = "a\nfamily=6"; }},
        {"firmware text at no field", [](sim::AdapterDef& a) { a.fw_texts.emplace(5, std::string(1, 'x')); }},
        {"firmware text of another family", [](sim::AdapterDef& a) { a.fw_text(yxmapi::fw4::kCcm, "1.0"); }},
        {"MBI text of 16 characters", [](sim::AdapterDef& a) { a.fw_text(yxmapi::fw6::kMbi, "1234567890123456"); }},
    };
    for (const Case& c : cases) {
        TempRoot root;
        sim::AdapterDef a = sim::make_adapter(6, 0);
        c.change(a);
        EXPECT_THROW(sim::write_adapter(root.path, a), sim::BuildError) << c.why;
        EXPECT_TRUE(sim::adapter_names(root.path).empty()) << c.why;
    }
}

TEST(Builder, ParserRejectsMalformedDescriptions)
{
    const std::string good = sim::format_adapter(sim::make_adapter(5, 0));
    struct Case {
        const char* line;
    } cases[] = {{"family"}, {"bogus=1"}, {"vid=0x1FFFFFFFF"}, {"vid=12a"}, {"vid="}, {"driver_access=2"},
                 {"reg.0x808=x"}, {"reg.zz=1"}, {"fw.abc=1"}, {"fw.5=1"}, {"api_handle=0xFFFFFFFF"}};
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::parse_adapter("n", good + c.line + "\n", &error)) << c.line;
        EXPECT_FALSE(error.empty()) << c.line;
    }
    EXPECT_TRUE(sim::parse_adapter("n", good + "# comment\r\n\n", nullptr));
}

TEST(Builder, NumbersParseOnlyWhole)
{
    struct Case {
        const char* text;
        std::optional<uint32_t> value;
    } cases[] = {{"0", 0},          {"4294967295", 0xFFFFFFFF}, {"4294967296", std::nullopt}, {"0xffffffff", 0xFFFFFFFF},
                 {"0x", std::nullopt}, {"-1", std::nullopt},     {" 1", std::nullopt},         {"0x00000000001", std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(sim::parse_u32(c.text), c.value) << c.text;
}

TEST(Builder, LibrarySkipsBrokenDescriptionsAndHandleClashes)
{
    TempRoot root;
    sim::AdapterDef a = sim::make_adapter(5, 0, "a");
    sim::AdapterDef b = sim::make_adapter(5, 1, "b");
    sim::AdapterDef c = sim::make_adapter(5, 2, "c");
    c.api_handle = a.api_handle;
    for (const auto& s : {a, b, c}) sim::write_adapter(root.path, s);
    sim::write_file_atomic(sim::description_path(root.path, "b"), "family=5\nvid=zz\n");
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    uint32_t count = 0;
    ASSERT_EQ(lib.fn<ord::kGetPhyNicCount>()(&count), 0u);
    EXPECT_EQ(count, 1u);
    uint32_t handle = 0;
    ASSERT_EQ(lib.fn<ord::kGetAllPhyNicHandles>()(&handle, 1), 0u);
    EXPECT_EQ(handle, a.list_handle);
    lib.shutdown();
}

TEST(Builder, ControlFileRoundTripsAndSkipsBadLines)
{
    sim::Control c;
    c.version_major = 7, c.version_minor = 6, c.version_build = 13;
    sim::FaultRule cut;
    cut.ordinal = ord::kWriteNvram, cut.adapter = "nic-1", cut.nth = 3, cut.status = 9, cut.cut_after = 100, cut.exit_after_cut = true;
    sim::FaultRule any;
    any.ordinal = ord::kReadNvram;
    c.faults = {cut, any};
    std::vector<std::string> errors;
    sim::Control back = sim::parse_control(sim::format_control(c) + "fault=nth:1\nfault=ordinal:x\nspeed=9\n", &errors);
    EXPECT_EQ(errors.size(), 3u);
    EXPECT_EQ(sim::format_control(back), sim::format_control(c));
    ASSERT_EQ(back.faults.size(), 2u);
    EXPECT_EQ(back.faults[0].cut_after, 100u);
    EXPECT_TRUE(back.faults[0].exit_after_cut);
    EXPECT_EQ(back.faults[1].status, YXSIM_E_INJECTED);
}

// Faults that a call cannot carry are refused when the control file is read, not at the call.
TEST(Builder, ControlFileRefusesFaultsOfTheWrongCall)
{
    const char* bad[] = {
        "fault=ordinal:68 cut:4",          // a cut belongs to NVRAM writes
        "fault=ordinal:131 lost:1",         // the PHY may be cut, not silently dropped
        "fault=ordinal:131 cut:4 erase:4096",
        "fault=ordinal:72 cut:4",
        "fault=ordinal:67 flip:0x1",       // a flipped read belongs to NVRAM reads
        "fault=ordinal:68 lost:1",         // a lost write belongs to NVRAM writes
        "fault=ordinal:72 from:0x100",     // ranges belong to NVRAM calls
        "fault=ordinal:67 from:0x200 to:0x100",
        "fault=ordinal:67 to:0x100",
        "fault=ordinal:67 erase:4096",     // erasing comes with a cut
        "fault=ordinal:67 cut:4 erase:6",  // whole words
        "fault=ordinal:67 cut:4 lost:1",
    };
    for (const char* line : bad) {
        std::vector<std::string> errors;
        EXPECT_TRUE(sim::parse_control(line, &errors).faults.empty()) << line;
        EXPECT_EQ(errors.size(), 1u) << line;
    }
    sim::FaultRule r;
    r.ordinal = ord::kWriteNvram, r.from = 0x1000, r.to = 0x2000, r.persist = true, r.cut_after = 8, r.erase_sector = 4096;
    sim::FaultRule f;
    f.ordinal = ord::kReadNvram, f.from = 0x40, f.flip = 0x80000001;
    sim::Control c;
    c.faults = {r, f};
    sim::Control back = sim::parse_control(sim::format_control(c));
    EXPECT_EQ(sim::format_control(back), sim::format_control(c));
    ASSERT_EQ(back.faults.size(), 2u);
    EXPECT_EQ(back.faults[0].erase_sector, 4096u);
    EXPECT_EQ(back.faults[1].flip, 0x80000001u);
}

TEST(Builder, ConnectionNameGoesIntoTheRegistryUnderItsService)
{
    TempRoot root;
    const std::string classKey =
        "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";
    sim::AdapterDef a = sim::make_adapter(5, 0);
    a.connection_name = "Eth \xC3\xBC";
    sim::AdapterDef b = sim::make_adapter(5, 1);
    sim::AdapterDef noService = sim::make_adapter(5, 2);
    noService.service_name.clear();
    noService.connection_name = "Orphan";
    sim::write_adapter(root.path, a);
    sim::write_adapter(root.path, b);
    sim::write_adapter(root.path, noService);

    namespace reg = platform::registry;
    reg::Hive hive = reg::read_hive(reg::Root::LocalMachine);
    const reg::Key* key = hive.find(classKey + a.service_name + "\\Connection");
    ASSERT_NE(key, nullptr);
    const reg::Value* name = key->find_value("Name");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->type, 1u);  // REG_SZ, UTF-16LE with its terminator
    EXPECT_EQ(name->data, (std::vector<uint8_t>{'E', 0, 't', 0, 'h', 0, ' ', 0, 0xFC, 0, 0, 0}));
    size_t connections = 0;  // neither b nor the adapter without a service has one
    for (const auto& entry : hive.keys()) connections += entry.first.ends_with("\\connection");
    EXPECT_EQ(connections, 1u);

    // Described again without a connection name, the adapter's connection has none.
    a.connection_name.clear();
    sim::write_adapter(root.path, a);
    hive = reg::read_hive(reg::Root::LocalMachine);
    key = hive.find(classKey + a.service_name + "\\Connection");
    EXPECT_TRUE(key == nullptr || key->find_value("Name") == nullptr);
}
