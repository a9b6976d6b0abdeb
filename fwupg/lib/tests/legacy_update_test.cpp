// Legacy-family adapters updated through the exports: a discovery report of the demo machine is
// applied, every legacy image the folder offers is programmed, the NVRAM verifies and a second
// discovery reports the new versions; a power cut while an image is written is reported as a
// failure and leaves the adapter valid.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <platform/event_log.h>
#include <sim/adapter_builder.h>
#include <testkit/demo.h>
#include <testkit/legacy_reader.h>
#include <yxmapi/sim_control.h>

#include "fwupg/oem_interface.h"
#include "update_test_support.h"

namespace {

using disctest::World;
using namespace updtest;

// The first function of each legacy board: the one the report lists and the update programs.
const char* const kLegacy[] = {"l-5706", "l-5708", "l-5709-p0", "l-5716-p0"};

std::map<std::string, std::string> Versions(const testkit::Bytes& nvram)
{
    std::map<std::string, std::string> out;
    for (const auto& image : testkit::legacy::list_images(nvram)) out.emplace(image.name, image.version);
    return out;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(LegacyUpdate, ReportUpdatesEveryLegacyBoard)
{
    World w;
    testkit::make_demo(w.root(), w.fw(), true);
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    const std::string before = Read(report);
    for (const char* name : kLegacy)
        ASSERT_FALSE(DeviceBlock(before, Adapter(w, name).mac).empty()) << name << " is not in the report";

    EXPECT_EQ(Flash(w, report), uint32_t(RET_REBOOT_REQUIRED)) << Read(report);
    const std::string after = Read(report);
    const auto nvrams = Nvrams(w);
    for (const char* name : kLegacy) {
        SCOPED_TRACE(name);
        const std::string block = DeviceBlock(after, Adapter(w, name).mac);
        for (const std::string& status : Values(block, "action_status")) EXPECT_EQ(status, "1") << block;
        const testkit::Bytes& nvram = nvrams.at(name);
        EXPECT_EQ("", testkit::legacy::verify_nvram(nvram));
        const auto v = Versions(nvram);
        EXPECT_EQ(v.at("BC1"), "bc 7.12.0");
        EXPECT_TRUE(Contains(v.at("MBA"), "7.12.0")) << v.at("MBA");
        EXPECT_TRUE(Contains(v.at("ISCSI_B"), "v7.12.0")) << v.at("ISCSI_B");
        const bool dual = std::string(name).find("-p0") != std::string::npos;
        EXPECT_EQ(v.at(dual ? "NCSI_CMN" : "UMP"), dual ? "NCSI 7.12.0" : "UMP 7.12.0");
        if (dual) {
            EXPECT_TRUE(Contains(v.at("ISCSI_B"), "ipv4_ipv6")) << v.at("ISCSI_B");
        }
    }

    // A second discovery reads the new versions from the NVRAM.
    const std::string again = w.root() + "/again.xml";
    ASSERT_EQ(Discover(w, again), 0u);
    const std::string second = Read(again);
    for (const char* name : kLegacy) {
        const std::string block = DeviceBlock(second, Adapter(w, name).mac);
        EXPECT_FALSE(Contains(block, "7.10.1")) << name << "\n" << block;
        EXPECT_TRUE(Contains(block, "7.12.0")) << name << "\n" << block;
    }
}

// From the first read of a board's NVRAM from its start in the update (the board check before the
// backup, whose dump then reads the rest) to the end of the update from the report, each dword of the
// board is read once: again only after this process wrote it
// (the read-back of the write) or reset the board. The items of one adapter run as several
// command lines, so a read cache that ended with each line would read the first 4 KiB and the old
// images' ranges again for every item. Counted through the simulated library's journal over every
// function of the board.
TEST(LegacyUpdate, ReportReadsEachDwordOnceBetweenChanges)
{
    World w;
    testkit::make_demo(w.root(), w.fw(), true);
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    std::map<uint32_t, std::string> boardOfHandle;
    for (const std::string& name : sim::adapter_names(w.root()))
        boardOfHandle[Adapter(w, name).api_handle] = sim::board_of(w.root(), name);
    const size_t start = sim::read_journal_file(w.root()).size();
    ASSERT_EQ(Flash(w, report), uint32_t(RET_REBOOT_REQUIRED)) << Read(report);

    struct Board {
        std::vector<bool> read;  // per dword, from the dump on: read since the last change of it
        uint64_t repeated = 0;   // bytes read again without a change in between
    };
    std::map<std::string, Board> boards;
    const std::vector<YxSimCall> journal = sim::read_journal_file(w.root());
    for (size_t i = start; i < journal.size(); ++i) {
        const YxSimCall& call = journal[i];
        const auto board = boardOfHandle.find(call.handle);
        if (board == boardOfHandle.end() || call.status != 0) continue;
        Board& b = boards[board->second];
        const uint64_t first = call.offset / 4, end = first + call.count;
        if (b.read.empty()) {
            if (call.ordinal != 68 || call.offset != 0) continue;
            b.read.assign(sim::read_nvram(w.root(), board->second).size() / 4, false);
        }
        if (call.ordinal == 68) {
            for (uint64_t d = first; d < end && d < b.read.size(); ++d) {
                if (b.read[d]) b.repeated += 4;
                b.read[d] = true;
            }
        } else if (call.ordinal == 67) {
            for (uint64_t d = first; d < end && d < b.read.size(); ++d) b.read[d] = false;
        } else if (call.ordinal == 33) {
            b.read.assign(b.read.size(), false);
        }
    }
    for (const char* name : kLegacy) {
        const Board& b = boards[sim::board_of(w.root(), name)];
        EXPECT_FALSE(b.read.empty()) << name << ": nothing read";
        EXPECT_EQ(b.repeated, 0u) << name << ": bytes read again without a change between";
    }
}

// A power cut part way through writing the 5706's boot code: the export reports the failure, the
// failed item reports it, a failure event is logged, and the NVRAM verifies with the old boot code.
TEST(LegacyUpdate, PowerCutInAnImageWrite)
{
    World w;
    testkit::make_demo(w.root(), w.fw(), true);
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    const testkit::Bytes old = Nvrams(w).at("l-5706");

    sim::FaultRule cut;
    cut.ordinal = 67;   // the first NVRAM write of the adapter: the boot code's image
    cut.adapter = "l-5706";
    cut.nth = 1;
    cut.cut_after = 6;
    sim::Control control;
    control.faults = {cut};
    sim::write_control(w.root(), control);

    platform::CapturingEventSink events;
    {
        platform::ScopedEventSink capture(&events);
        EXPECT_EQ(Flash(w, report), uint32_t(RET_FLASH_WITH_FILE_FAILED));
    }
    const std::string after = Read(report);
    const std::vector<std::string> statuses = Values(DeviceBlock(after, Adapter(w, "l-5706").mac), "action_status");
    ASSERT_FALSE(statuses.empty());
    EXPECT_NE(statuses.front(), "1") << after;
    bool failureEvent = false;
    for (const platform::EventEntry& e : events.entries) failureEvent = failureEvent || Contains(e.text, "has failed");
    EXPECT_TRUE(failureEvent);

    const testkit::Bytes nvram = Nvrams(w).at("l-5706");
    EXPECT_EQ("", testkit::legacy::verify_nvram(nvram));
    EXPECT_EQ(Versions(nvram).at("BC1"), Versions(old).at("BC1"));
}
