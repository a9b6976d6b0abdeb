// The facade against a recording fake of every engine procedure: each slot reaches its own
// procedure with its arguments, the caller's record is current exactly while the procedure runs,
// and nested and throwing calls leave the previous record current.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "recording_engine.h"

namespace {

using Words = std::vector<uintptr_t>;

HostOps caller_record(uint64_t clientData = 0xC11E17)
{
    HostOps ops;
    std::memset(&ops, 0, sizeof ops);
    ops.interp = reinterpret_cast<Tcl_Interp*>(0x1A7E);
    ops.devIndex = 3;
    ops.chipId = 0x168E1000;
    ops.clientData = clientData;
    return ops;
}

template <class T>
uintptr_t w(T* p)
{
    return reinterpret_cast<uintptr_t>(p);
}

// Current: the record is made current but not passed.
enum class Form { Plain, ByValue, TclCommand, InterpOnly, Current };

struct SlotCase {
    int slot;
    const char* engine;
    Form form;
    std::function<void(IFwUpgKv9&, HostOps)> call;
    Words args;  // arguments after the record (for Tcl commands: client data, interpreter, ...)
};

Tcl_Obj* const* const kObjv = reinterpret_cast<Tcl_Obj* const*>(0x0B1);
char gText[8];
uint32_t gU32;
int32_t gI32;
cfg_request gRequest;
const uint8_t* const kImage = reinterpret_cast<const uint8_t*>(0x1111);
uint8_t* const kBuffer = reinterpret_cast<uint8_t*>(0x2222);

#define CMD(slot, method, engine) \
    {slot, engine, Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.method(o, 5, kObjv); }, {5, w(kObjv)}}
#define TCL(slot, method, engine)                                                        \
    {slot, engine, Form::TclCommand, [](IFwUpgKv9& f, HostOps o) { f.method(o, 4, kObjv); }, \
     {0xC11E17, 0x1A7E, 4, w(kObjv)}}
#define NOARG(slot, method, engine) {slot, engine, Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.method(o); }, {}}

std::vector<SlotCase> slot_table()
{
    return {
        {1, "toe_nvm_help_cmd", Form::Plain, [](IFwUpgKv9& f, HostOps) { f.nvm_help(gText, 8, 2, &gU32); },
         {w(gText), 8, 2, w(&gU32)}},
        CMD(2, nvm_read, "toe_nvm_read_cmd"),
        CMD(3, nvm_show, "toe_nvm_show_cmd"),
        CMD(4, nvm_write, "toe_nvm_write_cmd"),
        CMD(5, nvm_fill, "toe_nvm_fill_cmd"),
        CMD(6, nvm_upgrade, "toe_nvm_upgrade_cmd"),
        CMD(7, nvm_cfg, "toe_nvm_cfg_cmd"),
        CMD(8, nvm_prg, "toe_nvm_prg_cmd"),
        CMD(9, nvm_dump, "toe_nvm_dump_cmd"),
        CMD(10, nvm_dir, "toe_nvm_dir_cmd"),
        CMD(11, nvm_crc, "toe_nvm_crc_cmd"),
        CMD(12, nvm_usrblk, "toe_nvm_usrblk_cmd"),
        CMD(13, nvm_rescfg, "toe_nvm_rescfg_cmd"),
        NOARG(14, nvm_crc_check, "toe_nvm_crc_check"),
        TCL(15, nvm_dir_57710, "tcl_al_nvm_dir_cmd"),
        TCL(16, nvm_crc_57710, "tcl_al_nvm_crc_cmd"),
        TCL(17, nvm_dump_57710, "tcl_al_nvm_dump_cmd"),
        TCL(18, nvm_prg_57710, "tcl_al_nvm_prg_cmd"),
        TCL(19, nvm_update_cfg_e4, "tcl_al_nvm_update_cfg_cmd"),
        {20, "tcl_al_nvm_mbi_upgrade_cmd", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.nvm_upgrade_mbi(o, 3, kObjv); }, {0x1A7E, 3, w(kObjv)}},
        {21, "tcl_al_nvm_upgrade_cmd", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.nvm_upgrade_57710(o, 6, kObjv); }, {0x1A7E, 6, w(kObjv)}},
        {22, "common_nvm_crc_check", Form::InterpOnly, [](IFwUpgKv9& f, HostOps o) { f.nvm_crc_check_57710(o); },
         {0x1A7E}},
        {23, "set_nvm_wol", Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.set_wol(o, 1); }, {1}},
        {24, "set_nvm_cfg", Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.set_nvm_cfg(o, &gRequest); },
         {w(&gRequest)}},
        {25, "show_nvm_cfg", Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.show_nvm_cfg(o, &gRequest); },
         {w(&gRequest)}},
        {26, "toe_nvm_find_dir_entry", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.find_dir_entry(o, 0x70000000, &gI32); }, {0x70000000, w(&gI32)}},
        {27, "common_nvm_ext_image_present", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.has_ext_dir_image(o, 0xA0000001, &gI32); }, {0xA0000001, w(&gI32)}},
        {27, "toe_nvm_find_dir_entry", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.has_ext_dir_image(o, 0x70000000, &gI32); }, {0x70000000, w(&gI32)}},
        {28, "common_nvm_set_cfg_bit24", Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.set_cfg_bit24_57710(o, 1); },
         {1}},
        {29, "set_nvm_cfg_57710", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.set_nvm_cfg_57710(o, &gRequest); }, {w(&gRequest), 0x5151}},
        {30, "set_nvm_cfg_e4", Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.set_nvm_cfg_e4(o, &gRequest); },
         {w(&gRequest), 1, 0}},
        {31, "show_nvm_cfg_e4", Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.show_nvm_cfg_e4(o, &gRequest); },
         {w(&gRequest)}},
        {32, "show_nvm_cfg_57710", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.show_nvm_cfg_57710(o, &gRequest, 9); }, {w(&gRequest), 9}},
        NOARG(33, update_nvm_cfg1_e4, "update_nvm_cfg1_e4"),
        NOARG(34, show_active_swim, "show_active_swim"),
        NOARG(35, has_ump_image, "toe_nvm_ump_present"),
        NOARG(36, has_ipmi_image, "toe_nvm_ipmi_present"),
        NOARG(37, has_ncsi_image, "toe_nvm_ncsi_present"),
        NOARG(38, has_mba_image, "toe_nvm_mba_present"),
        NOARG(39, has_ump_image_57710, "common_nvm_ump_present"),
        NOARG(40, has_ipmi_image_57710, "common_nvm_ipmi_present"),
        NOARG(41, has_ncsi_image_57710, "common_nvm_ncsi_present"),
        NOARG(42, has_mba_image_57710, "common_nvm_mba_present"),
        {43, "nvm_file_size", Form::Plain, [](IFwUpgKv9& f, HostOps) { f.file_size(gText, &gU32); },
         {w(gText), 0 /* the facade's own signed size, checked below */}},
        {44, "nvm_file_read", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.read_file(o, gText, kBuffer, 64, &gU32); },
         {w(gText), w(kBuffer), 64, w(&gU32)}},
        {45, "nvm_file_write", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.write_file(o, gText, kImage, 32, nullptr); },
         {w(gText), w(kImage), 32, 0}},
        {46, "toe_nvm_image_versions", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.image_version_string(o, kImage, 4096, 0x600, "UMP", gText, 8); },
         {w(kImage), 4096, 0x600, 0 /* name checked below */, w(gText), 8}},
        {47, "toe_nvm_size", Form::InterpOnly, [](IFwUpgKv9& f, HostOps o) { f.nvm_size(o); }, {0x1A7E}},
        {48, "common_nvm_image_type_lookup", Form::Current,
         [](IFwUpgKv9& f, HostOps o) { f.lookup_image_type(o, nullptr, 0x6D667731, &gU32); },
         {0, 0x6D667731, w(&gU32)}},
        {49, "common_nvm_mba_matches_file", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.mba_presence_matches(o, kImage); }, {w(kImage)}},
        {50, "common_nvm_ncsi_matches_file", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.ncsi_presence_matches(o, kImage); }, {w(kImage)}},
        {51, "common_nvm_feb_matches_file", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.feb_presence_matches(o, kImage); }, {w(kImage)}},
        {52, "common_nvm_image_matches_file", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.image_presence_matches(o, kImage, 0x90800003); }, {w(kImage), 0x90800003}},
        {53, "common_nvm_get_port_cfg_word", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.get_port_cfg_word(o, 3, nullptr, &gU32); }, {3, 0, w(&gU32)}},
        {54, "common_nvm_port_cfg_word_offset", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.get_port_cfg_word_offset(o, 2, &gU32); }, {2, w(&gU32)}},
        {55, "common_nvm_ext_phy_type", Form::ByValue, [](IFwUpgKv9& f, HostOps o) { f.get_ext_phy_type(o, 1, &gU32); },
         {1, w(&gU32)}},
        {56, "common_nvm_ext_phy2_type", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.get_ext_phy_types(o, 1, 0x900); }, {1, 0x900}},
        {57, "get_image_file_version", Form::ByValue,
         [](IFwUpgKv9& f, HostOps o) { f.file_version_string(o, gText, 15, gText); }, {w(gText), 15, w(gText)}},
        {58, "common_nvm_board_check", Form::InterpOnly, [](IFwUpgKv9& f, HostOps o) { f.nvm_board_check_57710(o); },
         {0x1A7E}},
    };
}

}  // namespace

TEST(Facade, EverySlotReachesItsEngineWithItsArgumentsAndTheCallersRecord)
{
    g_CurNicInfo.set(yxmapi::nic::kModeArg, 0x5151);
    const HostOps caller = caller_record();
    std::set<int> slots;
    for (const SlotCase& c : slot_table()) {
        SCOPED_TRACE("slot " + std::to_string(c.slot) + " " + c.engine);
        slots.insert(c.slot);
        g_lastCall = RecordedCall{};
        c.call(*gpIFwUpgKv9, caller);
        EXPECT_EQ(g_lastCall.name, c.engine);
        Words args = g_lastCall.args;
        if (c.slot == 46) {
            ASSERT_EQ(args.size(), 6u);
            EXPECT_STREQ(reinterpret_cast<const char*>(args[3]), "UMP");
            args[3] = 0;
        }
        if (c.slot == 43) {
            ASSERT_EQ(args.size(), 2u);
            EXPECT_NE(args[1], 0u);
            args[1] = 0;
        }
        EXPECT_EQ(args, c.args);
        EXPECT_EQ(g_pHostOps, nullptr) << "the previous (null) record is current again";
        if (c.form == Form::Plain) {
            EXPECT_EQ(g_lastCall.current, nullptr) << "plain slots make no record current";
            continue;
        }
        ASSERT_NE(g_lastCall.current, nullptr);
        EXPECT_EQ(std::memcmp(&g_lastCall.currentCopy, &caller, sizeof caller), 0);
        const bool byValue = c.form == Form::ByValue;
        EXPECT_EQ(g_lastCall.hasOps, byValue);
        if (byValue) {
            EXPECT_EQ(std::memcmp(&g_lastCall.ops, &caller, sizeof caller), 0);
            EXPECT_NE(g_lastCall.current, nullptr);
        }
    }
    EXPECT_EQ(slots.size(), 58u);
}

// Slot 27 asks exactly one directory, chosen by bit 0 of the type, even when that directory does
// not hold the type (the recording engine finds nothing).
TEST(Facade, TheDirectoryTestAsksOnlyTheDirectoryBitZeroChooses)
{
    std::vector<std::string> reached;
    g_duringCall = [&] { reached.push_back(g_lastCall.name); };
    const struct {
        uint32_t type;
        const char* engine;
    } cases[] = {
        {0xA0000001u, "common_nvm_ext_image_present"},
        {0x40000001u, "common_nvm_ext_image_present"},
        {0x70000000u, "toe_nvm_find_dir_entry"},
        {0xA0000000u, "toe_nvm_find_dir_entry"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        reached.clear();
        int32_t out = 0;
        EXPECT_EQ(gpIFwUpgKv9->has_ext_dir_image(caller_record(), c.type, &out), 77);
        EXPECT_EQ(reached, std::vector<std::string>{c.engine});
    }
    g_duringCall = nullptr;
}

TEST(Facade, ReturnsTheEngineResultUnchanged)
{
    HostOps ops = caller_record();
    EXPECT_EQ(gpIFwUpgKv9->nvm_upgrade(ops, 1, kObjv), 77);
    EXPECT_EQ(gpIFwUpgKv9->nvm_size(ops), 4242);
    EXPECT_EQ(gpIFwUpgKv9->image_version_string(ops, kImage, 0, 0, "x", gText, sizeof gText), gText);
}

TEST(Facade, NestedCallRestoresTheOuterRecordAndThrowingCallsRestoreThePrevious)
{
    HostOps outer = caller_record(1);
    HostOps inner = caller_record(2);
    HostOps* seenInside = nullptr;
    uint64_t innerClient = 0, outerClientAfterInner = 0;
    bool nested = false;
    g_duringCall = [&] {
        if (nested) {
            innerClient = g_pHostOps->clientData;
            return;
        }
        nested = true;
        seenInside = g_pHostOps;
        int32_t k = 0;
        gpIFwUpgKv9->has_ext_dir_image(inner, 0xA0000001, &k);  // as SetSelectedNIC does from an engine
        outerClientAfterInner = g_pHostOps ? g_pHostOps->clientData : 0;
        EXPECT_EQ(g_pHostOps, seenInside);
    };
    gpIFwUpgKv9->nvm_dump_57710(outer, 2, kObjv);
    g_duringCall = nullptr;
    EXPECT_EQ(innerClient, 2u);
    EXPECT_EQ(outerClientAfterInner, 1u);
    EXPECT_EQ(g_pHostOps, nullptr);

    // An engine that throws: every form restores the record that was current before it.
    HostOps base = caller_record(7);
    HostOpsFrame frame;
    push_host_ops(&frame, &base);
    g_duringCall = [] { throw std::runtime_error("engine failed"); };
    EXPECT_THROW(gpIFwUpgKv9->nvm_upgrade(outer, 1, kObjv), std::runtime_error);            // by value
    EXPECT_EQ(g_pHostOps, &base);
    EXPECT_THROW(gpIFwUpgKv9->nvm_upgrade_57710(outer, 1, kObjv), std::runtime_error);      // Tcl command
    EXPECT_EQ(g_pHostOps, &base);
    EXPECT_THROW(gpIFwUpgKv9->nvm_crc_check_57710(outer), std::runtime_error);              // interpreter
    EXPECT_EQ(g_pHostOps, &base);
    g_duringCall = nullptr;
    pop_host_ops(&frame);
    EXPECT_EQ(g_pHostOps, nullptr);
}

TEST(Facade, CurrentRecordOutsideAFacadeCallIsAnErrorNotACrash)
{
    HostOps out;
    std::memset(&out, 0xAB, sizeof out);
    EXPECT_EQ(get_current_host_ops(&out), nullptr);
    HostOps ops = caller_record(9);
    HostOps seen{};
    g_duringCall = [&] { EXPECT_EQ(get_current_host_ops(&seen), &seen); };
    gpIFwUpgKv9->has_mba_image(ops);
    g_duringCall = nullptr;
    EXPECT_EQ(seen.clientData, 9u);
}
