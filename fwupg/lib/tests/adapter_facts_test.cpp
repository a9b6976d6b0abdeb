// SetSelectedNIC over simulated adapters of each family, and the rules behind its values.
#include <gtest/gtest.h>
#include <tcl.h>

#include <map>
#include <optional>

#include "frame_test_support.h"
#include "fwupg/bkv9_helper.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/selected_nic.h"
#include "fwupg/yxmapi_client.h"

using namespace frametest;

namespace {

using Facts = std::map<std::string, std::string>;

// Every element of ::toe, and ::sys(DISP_BYTE) as "sys:DISP_BYTE".
Facts read_facts(Tcl_Interp* interp)
{
    Facts facts;
    if (Tcl_Eval(interp, "array get ::toe") == TCL_OK) {
        Tcl_Obj* list = Tcl_GetObjResult(interp);
        int n = 0;
        Tcl_Obj** items = nullptr;
        Tcl_ListObjGetElements(nullptr, list, &n, &items);
        for (int i = 0; i + 1 < n; i += 2) facts[Tcl_GetString(items[i])] = Tcl_GetString(items[i + 1]);
    }
    if (const char* disp = Tcl_GetVar2(interp, "::sys", "DISP_BYTE", TCL_GLOBAL_ONLY)) facts["sys:DISP_BYTE"] = disp;
    return facts;
}

struct Publication {
    uint32_t result;
    Facts facts;
    uint32_t devIndex;
};

class Publisher {
public:
    Publisher() { interp_ = Tcl_CreateInterp(); }
    ~Publisher()
    {
        fwupg::yx::Shutdown();
        Tcl_DeleteInterp(interp_);
    }
    // Writes the adapter, selects it, and publishes its facts into the one interpreter.
    Publication publish(const sim::AdapterDef& desc)
    {
        sim::write_adapter(root.path, desc);
        fwupg::yx::Shutdown();
        EXPECT_EQ(fwupg::yx::Initialize(), 0u);
        select_adapter(desc);
        HostOps ops;
        BuildHostOps(&ops, interp_, 0);
        ops.devIndex = 99;
        Publication p;
        p.result = SetSelectedNIC(&ops);
        p.facts = read_facts(interp_);
        p.devIndex = ops.devIndex;
        return p;
    }
    TempRoot root;

private:
    Tcl_Interp* interp_;
};

Facts common_facts(const sim::AdapterDef& a)
{
    return {
        {"DEV", "0"},
        {"NVM_SIZE", std::to_string(a.flash_word & 0xFFFFF000u)},
        {"FUNC_NUM", std::to_string(a.function)},
        {"CHIP_NUM", std::to_string(a.chip_id >> 12)},
        {"NVM_TYPE", (a.flash_word & 1) ? "BUFFERED" : "NONBUFFERED"},
        {"VID", std::to_string(a.vid)},
        {"DID", std::to_string(a.did)},
        {"SVID", std::to_string(a.svid)},
        {"SSID", std::to_string(a.ssid)},
        {"PORT0", "1"},
        {"sys:DISP_BYTE", "0"},
        {"BOARD", std::to_string(Bkv9Helper::BoardFromDeviceId(a.did))},
    };
}

Facts with(Facts base, const Facts& changes)
{
    for (const auto& [k, v] : changes) base[k] = v;
    return base;
}

}  // namespace

TEST(SetSelectedNIC, FactsAndResultOfEachFamily)
{
    Publisher pub;
    sim::AdapterDef legacy = sim::make_adapter(4, 1);   // 5709 board, chip 0x5709 rev B metal 0
    legacy.flash_word = 0x00080001;                      // buffered, but a 5709 is never
    legacy.port = 1;
    legacy.reg(0x8EC, 0x00000900);                       // b = 0, m = 1: SERDES on a second port
    legacy.reg(0x40C, 1u << 30);
    sim::AdapterDef legacyNoAccess = legacy;
    legacyNoAccess.driver_access = false;
    sim::AdapterDef legacyUnknownMedia = legacy;
    legacyUnknownMedia.reg(0x8EC, 0x5);
    sim::AdapterDef legacy5708 = sim::make_adapter(4, 5);
    legacy5708.did = 0x164C;
    legacy5708.chip_id = sim::chip_id(0x5708, 15, 0x12);
    legacy5708.flash_word = 0x00040001;
    legacy5708.registers = {{0x808, 0x57080001}};
    sim::AdapterDef e12 = sim::make_adapter(5, 2);
    e12.port = 1;
    e12.port_count = 4;
    sim::AdapterDef e4 = sim::make_adapter(6, 3);
    e4.mfw_version = "8.33.4.1";
    e4.active_bundle = 2;
    sim::AdapterDef e4NoMfw = sim::make_adapter(6, 6);
    sim::AdapterDef other = sim::make_adapter(7, 4);

    struct Row {
        const char* what;
        sim::AdapterDef desc;
        uint32_t result;
        Facts changes;
        std::vector<std::string> absent;
    } rows[] = {
        {"legacy 5709 on port 1", legacy, 0,
         {{"NVM_TYPE", "NONBUFFERED"}, {"PORT0", "0"}, {"PHY_TYPE", "SERDES"}, {"VAUX_PRESET", "1"}, {"CHIP_REV", "B0"}},
         {}},
        {"legacy without driver access", legacyNoAccess, 0,
         {{"NVM_TYPE", "NONBUFFERED"}, {"PORT0", "0"}, {"CHIP_REV", "B0"}}, {"PHY_TYPE", "VAUX_PRESET"}},
        {"legacy with unknown media", legacyUnknownMedia, 16, {{"NVM_TYPE", "NONBUFFERED"}, {"PORT0", "0"}},
         {"PHY_TYPE", "VAUX_PRESET", "CHIP_REV"}},
        {"legacy 5708, revision 15, buffered", legacy5708, 0,
         {{"PHY_TYPE", "SERDES"}, {"VAUX_PRESET", "0"}, {"CHIP_REV", "FB"}}, {}},
        {"57710-class on port 1", e12, 0,
         {{"NVM_TYPE", "NONBUFFERED"}, {"PORT0", "0"}, {"PHY_TYPE", "SERDES"}, {"PORT_CNT", "4"},
          {"IS_VPD_IMAGE", "0"}, {"CHIP_REV", "B0"}},
         {"VAUX_PRESET", "ACTIVE_BUNDLE"}},
        {"E4 with management firmware", e4, 0,
         {{"PHY_TYPE", "SERDES"}, {"PORT_CNT", "2"}, {"ACTIVE_BUNDLE", "2"},
          {"RUNNING_MFW_VER", std::to_string((8 << 24) | (33 << 16) | (4 << 8) | 1)}, {"IS_VPD_IMAGE", "1"},
          {"CHIP_REV", "B0"}},
         {}},
        {"E4 whose management firmware cannot be asked", e4NoMfw, 0,
         {{"PHY_TYPE", "SERDES"}, {"PORT_CNT", "2"}, {"IS_VPD_IMAGE", "1"}, {"CHIP_REV", "B0"}},
         {"ACTIVE_BUNDLE", "RUNNING_MFW_VER"}},
        {"family 7", other, 16, {}, {"CHIP_REV", "PHY_TYPE"}},
    };
    // One interpreter for all rows, in this order: no row may see facts of the row before it.
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Publication p = pub.publish(row.desc);
        EXPECT_EQ(p.result, row.result);
        Facts expected = with(common_facts(row.desc), row.changes);
        EXPECT_EQ(p.facts, expected);
        for (const std::string& name : row.absent) EXPECT_EQ(p.facts.count(name), 0u) << name;
        EXPECT_EQ(p.devIndex, row.desc.family == 5 ? 0u : 99u) << "only the 57710 path sets devIndex";
    }
}

TEST(SetSelectedNIC, RegisterFailureEndsBeforeVauxAndRevision)
{
    Publisher pub;
    sim::AdapterDef legacy = sim::make_adapter(4, 1);
    sim::Control control;
    sim::FaultRule rule;
    rule.ordinal = 71;
    rule.nth = 3;  // 0x808, 0x8EC, then 0x40C fails
    control.faults.push_back(rule);
    sim::write_control(pub.root.path, control);
    Publication p = pub.publish(legacy);
    EXPECT_EQ(p.result, 4u);
    EXPECT_EQ(p.facts.at("PHY_TYPE"), "COPPER");
    EXPECT_EQ(p.facts.count("VAUX_PRESET"), 0u);
    EXPECT_EQ(p.facts.count("CHIP_REV"), 0u);
}

TEST(AdapterFacts, LegacyPhyTypeRule)
{
    struct Row {
        uint32_t r808, r8EC, port;
        const char* expected;
    } rows[] = {
        {0x57080000, 0, 0, "COPPER"},           // not a 5709: bit 0 of 0x808
        {0x57080001, 0, 1, "SERDES"},
        {0x57090000, 0x3, 0, "COPPER"},         // b = 3, 8: copper
        {0x57090000, 0x8, 1, "COPPER"},
        {0x57090000, 0x9, 0, "SERDES"},         // b = 9, 12: SerDes
        {0x57090000, 0xC, 1, "SERDES"},
        {0x57090000, 0x5, 0, nullptr},          // other b: unknown
        {0x57090000, 0x300, 0, "COPPER"},       // b = 0, m from bits 8-10: port 0 below 4
        {0x57090000, 0x400, 0, "SERDES"},
        {0x57090000, 0x700, 0, nullptr},        // m = 7: unknown
        {0x57090000, 0x02800000 | 0x100, 0, "SERDES"},  // bit 25: m from bits 21-23 (4)
        {0x57090000, 0x100, 1, "SERDES"},       // other ports: 1, 2, 4 SerDes
        {0x57090000, 0x400, 1, "SERDES"},
        {0x57090000, 0x300, 1, "COPPER"},       // 0, 3, 5, 6 copper
        {0x57090000, 0x600, 2, "COPPER"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.r808 << " " << row.r8EC << " port " << row.port);
        const char* got = fwupg::LegacyPhyType(row.r808, row.r8EC, row.port);
        if (!row.expected)
            EXPECT_EQ(got, nullptr);
        else
            EXPECT_STREQ(got, row.expected);
    }
}

TEST(AdapterFacts, ChipRevisionBoardAndDriverGate)
{
    EXPECT_EQ(fwupg::ChipRevision(0x57090E00, 4), "I0");
    EXPECT_EQ(fwupg::ChipRevision(0x57090F00, 4), "F0");
    EXPECT_EQ(fwupg::ChipRevision(0x168E0E00, 5), "O0");
    EXPECT_EQ(fwupg::ChipRevision(0x168E0F00, 5), "P0");
    EXPECT_EQ(fwupg::ChipRevision(0x16341102, 6), "B2");
    EXPECT_EQ(fwupg::ChipRevision(0x000000D0, 5), std::string("A") + char(('0' + 0xD0) % 256));

    EXPECT_EQ(Bkv9Helper::BoardFromDeviceId(0x16AC), 5708u);
    EXPECT_EQ(Bkv9Helper::BoardFromDeviceId(0x1661), 57728u);
    EXPECT_EQ(Bkv9Helper::BoardFromDeviceId(0x170E), 5901u);
    EXPECT_EQ(Bkv9Helper::BoardFromDeviceId(0x1234), 0x1234u);

    struct Row {
        uint32_t family;
        bool access;
        uint32_t major, minor, build;
        bool expected;
    } rows[] = {
        {4, true, 2, 8, 3, true},   {4, true, 2, 8, 2, false},  {4, true, 2, 9, 0, true},
        {5, true, 4, 0, 18, true},  {5, true, 4, 0, 17, false}, {5, true, 3, 99, 99, false},
        {6, true, 0, 0, 0, true},   {7, true, 9, 9, 9, false},  {5, false, 9, 9, 9, false},
    };
    for (const Row& row : rows) {
        yxmapi::PhyNicInfo nic{};
        nic.prepare(yxmapi::kPhyNicInfoVersion);
        nic.set(yxmapi::phy::kFamily, row.family);
        nic.set(yxmapi::phy::kDriverAccess, row.access ? 1 : 0);
        nic.set(yxmapi::phy::kDriverMajor, row.major);
        nic.set(yxmapi::phy::kDriverMinor, row.minor);
        nic.set(yxmapi::phy::kDriverBuild, row.build);
        EXPECT_EQ(_CanUpgradeFW(nic), row.expected)
            << row.family << " " << row.major << "." << row.minor << "." << row.build;
    }
}
