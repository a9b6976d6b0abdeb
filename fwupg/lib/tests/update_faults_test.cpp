// Updates through the exports while the hardware fails part way (an NVRAM write refused or cut
// short by a power loss, a refused claim, a failed reset), the update of one adapter by its PCI
// address, and the board options that follow an update (also when their own write fails).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <platform/event_log.h>
#include <sim/adapter_builder.h>
#include <testkit/demo.h>
#include <testkit/e1e3_reader.h>
#include <testkit/e1e3_verify.h>
#include <testkit/e4_reader.h>

#include "fwupg/oem_interface.h"
#include "update_test_support.h"

namespace {

using disctest::World;
using namespace updtest;
namespace e1e3 = testkit::e1e3;
namespace e4 = testkit::e4;

bool IsE4(const sim::AdapterDef& a) { return a.family == yxmapi::kFamilyE4; }

// What an adapter reports: the version text of each image kind, and the MBI version that the
// CFG_SHARED image keeps.
std::map<std::string, std::string> Versions(const testkit::Bytes& nvram)
{
    std::map<std::string, std::string> out;
    for (const auto& image : e1e3::list_images(nvram)) out.emplace(image.name, image.version);
    if (auto shared = e1e3::find_image(nvram, "CFG_SHARED"))
        if (auto word = e1e3::image_word(nvram, *shared, 72)) out["MBI"] = std::to_string(*word >> 8);
    return out;
}

std::string Show(const std::map<std::string, std::string>& versions)
{
    std::string out;
    for (const auto& [kind, version] : versions) out += kind + "=" + version + "; ";
    return out;
}

// What an adapter holds, wherever it lies: the bytes of each listed image by kind, and the fixed
// area (configuration, feature and VPD blocks) after the directory. An interrupted update that is
// undone may leave images at other offsets; their contents must be the old ones.
std::map<std::string, testkit::Bytes> Contents(const testkit::Bytes& nvram, e1e3::Chip chip)
{
    std::map<std::string, testkit::Bytes> out;
    for (const auto& image : e1e3::list_images(nvram))
        if (uint64_t(image.offset) + image.length <= nvram.size())
            out.emplace(image.name, testkit::Bytes(nvram.begin() + image.offset,
                                                   nvram.begin() + image.offset + image.length));
    const size_t fixedEnd = std::min<size_t>(e1e3::layout::image_start(chip), nvram.size());
    out["fixed area"] = testkit::Bytes(nvram.begin() + std::min<size_t>(0x100, fixedEnd), nvram.begin() + fixedEnd);
    return out;
}

// E4: the bytes of each image of the directory in force, by name; the directory copies
// themselves (whose sequence numbers move on) are left out.
std::map<std::string, testkit::Bytes> E4Contents(const testkit::Bytes& nvram)
{
    std::map<std::string, testkit::Bytes> out;
    for (const auto& image : e4::list_images(nvram)) {
        if (image.entry.type == e4::type::DIR1 || image.entry.type == e4::type::DIR2) continue;
        if (uint64_t(image.entry.offset) + image.entry.length <= nvram.size())
            out.emplace(image.name, testkit::Bytes(nvram.begin() + image.entry.offset,
                                                   nvram.begin() + image.entry.offset + image.entry.length));
    }
    return out;
}

std::map<std::string, testkit::Bytes> Contents(const testkit::Bytes& nvram, const sim::AdapterDef& a)
{
    return IsE4(a) ? E4Contents(nvram) : Contents(nvram, ChipOf(a.did));
}

// The NVRAM verifies (with the kit's verifier of its family), and it holds all it held before the
// update or all a fault-free update leaves: never a mix.
void ExpectOldOrNew(const std::string& name, const sim::AdapterDef& a, const testkit::Bytes& before,
                    const testkit::Bytes& fresh, const testkit::Bytes& after)
{
    SCOPED_TRACE(name);
    if (IsE4(a)) {
        const e4::Report report = e4::verify(after);
        EXPECT_TRUE(report.ok()) << report.text();
    } else {
        const e1e3::Report report = e1e3::verify(after, ChipOf(a.did));
        EXPECT_TRUE(report.ok()) << report.text();
    }
    const auto now = Contents(after, a);
    EXPECT_TRUE(now == Contents(before, a) || now == Contents(fresh, a))
        << "before: " << Show(Versions(before)) << "\nfault-free: " << Show(Versions(fresh))
        << "\nnow: " << Show(Versions(after));
}

// E4 images go in one at a time, each installed whole by the adapter's firmware, and the front
// end takes no backup of E4 NVRAM: a package cut short leaves the images it got to, each valid.
// What must hold is what the board runs and reports: the NVRAM verifies, the running bank's
// firmware (TIM1, MIM1) is untouched, and the MBI version is the old one, or 0 once an image of
// the package went in (each E4 upgrade clears it) — never the new one.
void ExpectE4StillRunsItsOldFirmware(const testkit::Bytes& before, const testkit::Bytes& after)
{
    const e4::Report report = e4::verify(after);
    EXPECT_TRUE(report.ok()) << report.text();
    const auto old_images = E4Contents(before), now = E4Contents(after);
    for (const char* running : {"TIM1", "MIM1"}) EXPECT_EQ(now.at(running), old_images.at(running)) << running;
    const std::string mbi = e4::find_image(after, e4::type::NVM_CFG1)->version;
    EXPECT_TRUE(mbi == e4::find_image(before, e4::type::NVM_CFG1)->version || mbi == "0.0.0") << mbi;
}

// Whether a failure event (type 4) carries the text of this code.
bool FailureEventFor(const std::vector<platform::EventEntry>& events, uint32_t code)
{
    std::string text = oem_text_for_error_code(code);
    text = text.substr(0, text.find_last_not_of("\r\n") + 1);
    for (const platform::EventEntry& e : events)
        if (e.type == platform::EVENT_INFORMATION && e.text.find("has failed") != std::string::npos &&
            e.text.find(text) != std::string::npos)
            return true;
    return false;
}

// The demo machine and what a fault-free report-driven update leaves on it, with the victim's
// NVRAM traffic: its writes, and the read that follows half of them.
struct Reference {
    std::map<std::string, testkit::Bytes> before, after;
    uint32_t victimWrites = 0;
    uint32_t readAfterHalfTheWrites = 0;
};

Reference FaultFreeUpdate(const std::string& victim)
{
    World w;
    testkit::make_demo(w.root(), w.fw());
    Reference ref;
    ref.before = Nvrams(w);
    const std::string report = w.root() + "/report.xml";
    EXPECT_EQ(Discover(w, report), 0u);
    const size_t discovery = sim::read_journal_file(w.root()).size();
    EXPECT_EQ(Flash(w, report), uint32_t(RET_REBOOT_REQUIRED)) << Read(report);
    ref.after = Nvrams(w);
    const uint32_t handle = Adapter(w, victim).api_handle;
    const std::vector<YxSimCall> journal = sim::read_journal_file(w.root());
    for (const YxSimCall& call : journal)
        ref.victimWrites += call.ordinal == 67 && call.handle == handle;
    // Reads are numbered over the whole update (the rule below counts them across the update's
    // sessions), so that the nth read is the same read in the faulted run.
    uint32_t writes = 0, reads = 0;
    for (size_t i = discovery; i < journal.size(); ++i) {
        const YxSimCall& call = journal[i];
        if (call.handle != handle) continue;
        writes += call.ordinal == 67;
        reads += call.ordinal == 68;
        if (call.ordinal == 68 && writes >= ref.victimWrites / 2 && !ref.readAfterHalfTheWrites)
            ref.readAfterHalfTheWrites = reads;
    }
    return ref;
}

struct FaultCase {
    const char* what;
    const char* victim;  // the adapter that fails
    // The rules, given the victim's traffic in a fault-free update.
    std::vector<sim::FaultRule> (*rules)(const Reference& ref, const char* victim);
    uint32_t struck;     // the ordinal whose injected failure must show in the journal
    const char* status;  // what the victim's item reports
};

sim::FaultRule Rule(uint32_t ordinal, uint32_t nth, const char* adapter)
{
    sim::FaultRule r;
    r.ordinal = ordinal;
    r.adapter = adapter;
    r.nth = nth;
    return r;
}

// 14: the update failed and the backup taken before it was programmed back (with every write
// refused the NVRAM still holds the backup's bytes, so programming it back has nothing to write
// and succeeds); 7: the line did not run.
constexpr char kE3[] = "e3-57810-p0";
const FaultCase kFaultCases[] = {
    {"write refused half way", kE3,
     [](const Reference& r, const char* v) { return std::vector{Rule(67, r.victimWrites / 2, v)}; }, 67, "14"},
    {"write refused near the end", kE3,
     [](const Reference& r, const char* v) { return std::vector{Rule(67, r.victimWrites - 1, v)}; }, 67, "14"},
    {"every write refused", kE3, [](const Reference&, const char* v) { return std::vector{Rule(67, 0, v)}; }, 67,
     "14"},
    {"power cut in a write", kE3,
     [](const Reference& r, const char* v) {
         sim::FaultRule cut = Rule(67, r.victimWrites / 3, v);
         cut.cut_after = 6;
         return std::vector{cut};
     },
     67, "14"},
    {"claim refused", kE3, [](const Reference&, const char* v) { return std::vector{Rule(47, 0, v)}; }, 47, "7"},
    {"read fails half way, then the reset after the restore", kE3,
     [](const Reference& r, const char* v) {
         sim::FaultRule read = Rule(68, r.readAfterHalfTheWrites, v);
         read.persist = true;
         return std::vector{read, Rule(33, 0, v)};
     },
     33, "14"},
    {"E1 board: write refused half way", "e1-57710",
     [](const Reference& r, const char* v) { return std::vector{Rule(67, r.victimWrites / 2, v)}; }, 67, "14"},
    {"E2 board: power cut in a write", "e2-57712",
     [](const Reference& r, const char* v) {
         sim::FaultRule cut = Rule(67, r.victimWrites * 2 / 3, v);
         cut.cut_after = 10;
         return std::vector{cut};
     },
     67, "14"},
    {"E4 board: write refused half way", "e4-57980s-p0",
     [](const Reference& r, const char* v) { return std::vector{Rule(67, r.victimWrites / 2, v)}; }, 67, "7"},
    {"E4 board: power cut in a write", "e4-57980s-p0",
     [](const Reference& r, const char* v) {
         sim::FaultRule cut = Rule(67, r.victimWrites / 3, v);
         cut.cut_after = 10;
         return std::vector{cut};
     },
     67, "7"},
    // The package's configuration upgrade writes NVM_CFG1, DEFAULT_CFG and META (header and data
    // each), then the MBI version goes into DEFAULT_CFG and NVM_CFG1: seven writes from the end
    // is DEFAULT_CFG's header.
    {"E4 board: configuration upgrade's DEFAULT_CFG write refused", "e4-57980s-p0",
     [](const Reference& r, const char* v) { return std::vector{Rule(67, r.victimWrites - 7, v)}; }, 67, "7"},
    {"E4 board: power cut in the first write", "e4-57980s-p0",
     [](const Reference&, const char* v) {
         sim::FaultRule cut = Rule(67, 1, v);
         cut.cut_after = 10;
         return std::vector{cut};
     },
     67, "7"},
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.what; }

class UpdateFault : public ::testing::TestWithParam<FaultCase> {};

// The action statuses of a device's items but its PHY item: the external PHY is written apart
// from the NVRAM, and its update goes on when the board's MBI update failed.
std::vector<std::string> NvramItemStatuses(const std::string& device)
{
    std::vector<std::string> out;
    const std::string open = "<fw_item>", close = "</fw_item>";
    for (size_t at = device.find(open); at != std::string::npos; at = device.find(open, at + 1)) {
        const std::string item = device.substr(at, device.find(close, at) - at);
        if (item.find("<type value=\"PHY\"") != std::string::npos) continue;
        for (const std::string& s : Values(item, "action_status")) out.push_back(s);
    }
    return out;
}

// The export reports the failure (106, never success), the victim's failed item says so, every
// other adapter is updated, and no adapter is left with NVRAM that fails to verify or holds an
// image that is neither its old one nor the new one.
TEST_P(UpdateFault, ReportsFailureAndLeavesEveryAdapterValid)
{
    const FaultCase& c = GetParam();
    const Reference ref = FaultFreeUpdate(c.victim);
    ASSERT_GT(ref.victimWrites, 4u);
    ASSERT_GT(ref.readAfterHalfTheWrites, 0u);

    World w;
    testkit::make_demo(w.root(), w.fw());
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    sim::Control control;
    control.faults = c.rules(ref, c.victim);
    sim::write_control(w.root(), control);

    platform::CapturingEventSink events;
    {
        platform::ScopedEventSink capture(&events);
        EXPECT_EQ(Flash(w, report), uint32_t(RET_FLASH_WITH_FILE_FAILED));
    }
    const std::string after = Read(report);
    EXPECT_TRUE(FailureEventFor(events.entries, std::stoul(c.status))) << "no event for the failed item";

    const sim::AdapterDef victim = Adapter(w, c.victim);
    bool struck = false;
    for (const YxSimCall& call : sim::read_journal_file(w.root()))
        struck = struck || (call.ordinal == c.struck && call.handle == victim.api_handle &&
                            call.status == YXSIM_E_INJECTED);
    EXPECT_TRUE(struck) << "the fault never happened";

    const auto now = Nvrams(w);
    const std::string victimBoard = sim::board_of(w.root(), c.victim);
    for (const auto& [name, nvram] : now) {
        const sim::AdapterDef a = Adapter(w, name);
        // Second functions of a board are not listed and not flashed; they read the board's flash.
        const std::vector<std::string> statuses = NvramItemStatuses(DeviceBlock(after, a.mac));
        if (a.board_name() == victimBoard) {
            if (name == c.victim) {
                EXPECT_EQ(statuses, std::vector<std::string>{c.status}) << after;
            }
            // Every E1-E3 case here ends with the old firmware (restored from the backup).
            if (IsE4(a)) {
                ExpectE4StillRunsItsOldFirmware(ref.before.at(name), nvram);
                continue;
            }
            EXPECT_TRUE(Contents(nvram, a) == Contents(ref.before.at(name), a))
                << "the victim does not hold its old firmware";
        } else {
            for (const std::string& s : statuses) EXPECT_EQ(s, "1") << name << "\n" << after;
            EXPECT_EQ(nvram, ref.after.at(name)) << name << " differs from a fault-free update";
        }
        ExpectOldOrNew(name, a, ref.before.at(name), ref.after.at(name), nvram);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, UpdateFault, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             return name;
                         });

// A write that the flash reports stored but drops (a silent fault), half way through the E3
// board's update. The engine reads each write back, so the programming fails there: the front
// end programs its backup back, the export reports the failure with the item's 14, and the board
// holds its old firmware and verifies; the other adapters are updated as without the fault.
TEST(SilentFault, LostWriteHalfWayThroughAnUpdateFailsTheUpdate)
{
    const Reference ref = FaultFreeUpdate(kE3);
    World w;
    testkit::make_demo(w.root(), w.fw());
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    sim::FaultRule lost = Rule(67, ref.victimWrites / 2, kE3);
    lost.lost = true;
    sim::Control control;
    control.faults = {lost};
    sim::write_control(w.root(), control);
    EXPECT_EQ(Flash(w, report), uint32_t(RET_FLASH_WITH_FILE_FAILED));
    const sim::AdapterDef victim = Adapter(w, kE3);
    EXPECT_EQ(NvramItemStatuses(DeviceBlock(Read(report), victim.mac)), std::vector<std::string>{"14"});
    const auto now = Nvrams(w);
    for (const auto& [name, nvram] : now) {
        const sim::AdapterDef a = Adapter(w, name);
        if (a.board_name() == victim.board_name())
            EXPECT_TRUE(Contents(nvram, a) == Contents(ref.before.at(name), a)) << name << " lost its old firmware";
        else
            EXPECT_EQ(nvram, ref.after.at(name)) << name << " differs from a fault-free update";
        ExpectOldOrNew(name, a, ref.before.at(name), ref.after.at(name), nvram);
    }
}

// One adapter updated by its PCI address: 1 (reboot required), a second discovery shows its new
// versions, and every other adapter keeps its NVRAM byte for byte. An image that does not fit the
// adapter at the address is refused with 103 and nothing is written.
TEST(FlashByPci, UpdatesOnlyTheAdapterAtThatAddress)
{
    World w;
    testkit::make_demo(w.root(), w.fw());
    const auto before = Nvrams(w);
    const sim::AdapterDef target = Adapter(w, "e2-57712");
    const sim::AdapterDef other = Adapter(w, "e3-57810-p1");

    EXPECT_EQ(FlashPci(w.fw() + "/mbi_e1.bin", other.bus, other.device, other.function),
              uint32_t(RET_FW_IMAGE_INVALID));
    EXPECT_EQ(Nvrams(w), before);

    EXPECT_EQ(FlashPci(w.fw() + "/mbi_e2e3.bin", target.bus, target.device, target.function),
              uint32_t(RET_REBOOT_REQUIRED));
    const auto after = Nvrams(w);
    for (const auto& [name, nvram] : after) {
        if (name != target.name) {
            EXPECT_EQ(nvram, before.at(name)) << name;
            continue;
        }
        EXPECT_NE(nvram, before.at(name));
        const e1e3::Report check = e1e3::verify(nvram, ChipOf(target.did));
        EXPECT_TRUE(check.ok()) << check.text();
    }

    const std::string second = w.root() + "/second.xml";
    ASSERT_EQ(Discover(w, second), 0u);
    const std::string text = Read(second);
    EXPECT_FALSE(DeviceBlock(text, target.mac).empty()) << text;
    for (const auto& [name, nvram] : after) {
        // Second functions of a board are not listed.
        const std::vector<std::string> active = Values(DeviceBlock(text, Adapter(w, name).mac), "active_version");
        const char* expected = name == target.name              ? "7.12.0"
                               : IsE4(Adapter(w, name))         ? "8.10.5"
                               : Adapter(w, name).ssid == 0x1006 ? "7.14.0"  // the converged board
                                                                 : "7.10.1";
        for (const std::string& version : active) {
            // Its boot agent and its external PHY's firmware.
            if ((version == "7.10.4" || version == "2.1.0") && Adapter(w, name).board_name() == "e3-57810") continue;
            EXPECT_EQ(version, expected) << name;
        }
    }
}

// Configuration parameter 16: bits 16-19 of the shared configuration word at byte 20 of the
// configuration block, on the path of the adapter's function.
uint32_t Parameter16(const testkit::Bytes& nvram, unsigned path)
{
    return (e1e3::config_word(nvram, e1e3::Chip::E3, path, 20).value_or(~0u) >> 16) & 0xF;
}

// The boot-agent (bit 25) and expansion-ROM (bit 27) options of port 0 of a path.
uint32_t VindoOptions(const testkit::Bytes& nvram, unsigned path)
{
    return e1e3::feature_word(nvram, e1e3::Chip::E3, path, 4).value_or(0) & (1u << 25 | 1u << 27);
}

const testkit::DemoBoard kPlain{"plain", 0x14E4, 0x168E, 0x14E4, 0x168E};

// After an update of a 14E4 board with subsystem 103C:22FA or 103C:1916, parameter 16 reads 3 on
// both paths of the updated function's NVRAM; a board with other ids keeps its value, and so does
// a 22FA board whose update failed (the failed write restored, no follow-up).
TEST(BoardFollowUps, ParameterSixteenAfterUpdateOfTheTwoSubsystems)
{
    for (const bool fail22fa : {false, true}) {
        SCOPED_TRACE(fail22fa ? "22FA update fails" : "every update succeeds");
        World w;
        testkit::make_demo_boards(w.root(), w.fw(),
                                  {{"b22fa", 0x14E4, 0x168E, 0x103C, 0x22FA},
                                   {"b1916", 0x14E4, 0x168E, 0x103C, 0x1916}, kPlain});
        const auto before = Nvrams(w);
        const std::string report = w.root() + "/report.xml";
        ASSERT_EQ(Discover(w, report), 0u);
        if (fail22fa) {
            sim::Control control;
            control.faults = {Rule(67, 5, "b22fa-p0")};
            sim::write_control(w.root(), control);
        }
        ASSERT_EQ(Flash(w, report), uint32_t(fail22fa ? RET_FLASH_WITH_FILE_FAILED : RET_REBOOT_REQUIRED))
            << Read(report);

        const struct {
            const char* name;
            bool set;
        } cases[] = {{"b22fa-p0", !fail22fa}, {"b1916-p0", true}, {"plain-p0", false}};
        const auto after = Nvrams(w);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const testkit::Bytes& nvram = after.at(c.name);
            const e1e3::Report check = e1e3::verify(nvram, e1e3::Chip::E3);
            EXPECT_TRUE(check.ok()) << check.text();
            for (unsigned path = 0; path < 2; ++path) {
                ASSERT_NE(Parameter16(before.at(c.name), path), 3u);
                EXPECT_EQ(Parameter16(nvram, path), c.set ? 3u : Parameter16(before.at(c.name), path)) << path;
            }
        }
    }
}

// A write of the 22FA board's option that fails (refused, or cut short by a power loss) after the
// update's image went in: the option change is undone from the backup taken before it, so the
// NVRAM verifies with the new firmware and both paths agree; the item reports the failure.
TEST(BoardFollowUps, FailedOptionWriteIsUndoneAndReported)
{
    const testkit::DemoBoard board{"b22fa", 0x14E4, 0x168E, 0x103C, 0x22FA};
    const char* const name = "b22fa-p0";
    // The fault-free run: the new firmware, and which write stores the second path's block.
    uint32_t secondPathWrite = 0;
    testkit::Bytes fresh;
    {
        World w;
        testkit::make_demo_boards(w.root(), w.fw(), {board});
        const std::string report = w.root() + "/report.xml";
        ASSERT_EQ(Discover(w, report), 0u);
        ASSERT_EQ(Flash(w, report), uint32_t(RET_REBOOT_REQUIRED));
        fresh = sim::read_nvram(w.root(), name);
        const uint32_t handle = Adapter(w, name).api_handle;
        uint32_t writes = 0;
        for (const YxSimCall& call : sim::read_journal_file(w.root())) {
            if (call.ordinal != 67 || call.handle != handle) continue;
            ++writes;
            // The last write into that block: the option's (it starts at the first word it changes).
            if (call.offset >= e1e3::layout::cfg(1) && call.offset < e1e3::layout::cfg(1) + 848)
                secondPathWrite = writes;
        }
        ASSERT_GT(secondPathWrite, 0u);
    }
    for (const std::optional<uint32_t> cut : {std::optional<uint32_t>(), std::optional<uint32_t>(400)}) {
        SCOPED_TRACE(cut ? "cut short" : "refused");
        World w;
        testkit::make_demo_boards(w.root(), w.fw(), {board});
        const std::string report = w.root() + "/report.xml";
        ASSERT_EQ(Discover(w, report), 0u);
        sim::Control control;
        control.faults = {Rule(67, secondPathWrite, name)};
        control.faults[0].cut_after = cut;
        sim::write_control(w.root(), control);

        platform::CapturingEventSink events;
        {
            platform::ScopedEventSink capture(&events);
            EXPECT_EQ(Flash(w, report), uint32_t(RET_FLASH_WITH_FILE_FAILED));
        }
        EXPECT_EQ(Values(Read(report), "action_status"), std::vector<std::string>{"7"});
        EXPECT_TRUE(FailureEventFor(events.entries, RET_OPERATION_FAILED)) << "no event for the failed item";
        const testkit::Bytes nvram = sim::read_nvram(w.root(), name);
        const e1e3::Report check = e1e3::verify(nvram, e1e3::Chip::E3);
        EXPECT_TRUE(check.ok()) << check.text();
        EXPECT_EQ(Versions(nvram), Versions(fresh));
        EXPECT_EQ(Parameter16(nvram, 0), 0u);
        EXPECT_EQ(Parameter16(nvram, 1), 0u);
    }
}

// The two board kinds of 1077/1590 get their two options switched on once an update of the run
// succeeded, also when their own items are skipped; a run that flashed nothing leaves them off.
TEST(BoardFollowUps, VindoBoardsGetTheirOptionsOnlyAfterASuccessfulRun)
{
    const std::vector<testkit::DemoBoard> boards = {
        {"va", 0x1077, 0x16A1, 0x1590, 0x00EC}, {"vb", 0x1077, 0x16A4, 0x1590, 0x22ED}, kPlain};
    for (const bool plainUpdated : {false, true}) {
        SCOPED_TRACE(plainUpdated ? "plain board updated" : "everything skipped");
        World w;
        testkit::make_demo_boards(w.root(), w.fw(), boards);
        const auto before = Nvrams(w);
        const std::string report = w.root() + "/report.xml";
        ASSERT_EQ(Discover(w, report), 0u);
        std::string text = Read(report);
        for (const auto& [name, nvram] : before) {
            const std::string mac = Adapter(w, name).mac;
            if (!DeviceBlock(text, mac).empty() && !(plainUpdated && name.rfind("plain", 0) == 0))
                text = WithAction(text, mac, "skip");
        }
        std::ofstream(report, std::ios::binary) << text;

        EXPECT_EQ(Flash(w, report), uint32_t(plainUpdated ? RET_REBOOT_REQUIRED : RET_FWUPG_SKIPPED_MISC))
            << Read(report);
        const auto after = Nvrams(w);
        for (const char* name : {"va-p0", "va-p1", "vb-p0", "vb-p1"}) {
            SCOPED_TRACE(name);
            const unsigned path = name[4] == '1' ? 1 : 0;
            ASSERT_EQ(VindoOptions(before.at(name), path), 0u);
            EXPECT_EQ(VindoOptions(after.at(name), path), plainUpdated ? (1u << 25 | 1u << 27) : 0u);
            const e1e3::Report check = e1e3::verify(after.at(name), e1e3::Chip::E3);
            EXPECT_TRUE(check.ok()) << check.text();
            EXPECT_EQ(Versions(after.at(name)), Versions(before.at(name)));
        }
    }
}

}  // namespace
