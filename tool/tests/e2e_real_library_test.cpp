// TIRN end to end against the real vendor library and the simulated management library: the
// program, both libraries and the FW folder in one working folder, as an installation has them,
// on the simulated machine and firmware folder that the test kit's demo set makes.
#include "demo_machine.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

std::string child_value(xmlNode* parent, const char* name)
{
    for (xmlNode* c = parent->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE || xmlStrcmp(c->name, BAD_CAST name) != 0) continue;
        xmlChar* v = xmlGetProp(c, BAD_CAST "value");
        std::string s = v ? reinterpret_cast<const char*>(v) : "";
        xmlFree(v);
        return s;
    }
    return {};
}

class RealLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine = MakeDemoMachine(sb, false);
        ASSERT_FALSE(machine.empty());
    }

    std::map<std::string, ListedAdapter> ListByMac() { return tirn_test::ListByMac(sb, machine); }

    Sandbox sb;
    std::vector<MachineAdapter> machine;  // the usable adapters
};

TEST_F(RealLibrary, ListingShowsEveryAdapterWithItsFirmwareVersions)
{
    auto listed = ListByMac();
    // Every E1-E3 board carries 7.10.1 firmware and the E4 board 8.10.5; the folder holds 7.12.0
    // images for the former and an 8.12.3 package for the latter. The E3 board's boot agent is
    // 7.10.4: its sub-components being old, its MBI item shows that MBA version. The converged E3
    // board runs 7.14 firmware, above every threshold: its MBI item shows the MBI version of its
    // configuration (7.14.0), not its boot agent's 7.14.2; the folder holds 7.15.0 for it.
    using Versions = std::pair<std::string, std::string>;
    for (const auto& m : machine) {
        const auto& fw = listed[m.mac].firmware;
        const bool e4 = m.name.rfind("e4-", 0) == 0;
        const bool e3 = m.name.rfind("e3-", 0) == 0;
        const bool converged = m.name.rfind("e3-57810c", 0) == 0;
        const Versions expected = e4          ? Versions{"8.10.5", "8.12.3"}
                                  : converged ? Versions{"7.14.0", "7.15.0"}
                                              : Versions{e3 ? "7.10.4" : "7.10.1", "7.12.0"};
        const bool offered =
            std::any_of(fw.begin(), fw.end(), [&](const auto& e) { return e.second == expected; });
        EXPECT_TRUE(offered) << m.name << " shows no " << expected.first << " -> " << expected.second << " entry";
    }
    EXPECT_TRUE(Contains(sb.Log(), "Found " + std::to_string(machine.size()) + " adapters\r\n"));
}

TEST_F(RealLibrary, DiscoveryWritesAWellFormedReportNamingEveryAdapter)
{
    RunResult r = sb.Run({"-d", "report.xml"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Discovery report written to report.xml.\nLibrary result: 0\n")) << r.out;

    const std::string report = sb.work + "/report.xml";
    ASSERT_TRUE(fs::exists(report));
    xmlDoc* doc = xmlReadFile(report.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(doc, nullptr) << "report is not well-formed:\n" << ReadFile(report);
    xmlNode* root = xmlDocGetRootElement(doc);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "zk_rom_discovery");

    std::multiset<std::string> reported;
    for (xmlNode* list = root->children; list; list = list->next) {
        if (list->type != XML_ELEMENT_NODE || xmlStrcmp(list->name, BAD_CAST "devices") != 0) continue;
        for (xmlNode* d = list->children; d; d = d->next) {
            if (d->type != XML_ELEMENT_NODE) continue;
            reported.insert(child_value(d, "macaddress"));
            bool hasItem = false;
            for (xmlNode* c = d->children; c; c = c->next)
                hasItem |= c->type == XML_ELEMENT_NODE && xmlStrcmp(c->name, BAD_CAST "fw_item") == 0;
            EXPECT_TRUE(hasItem) << child_value(d, "macaddress") << " has no firmware item";
        }
    }
    xmlFreeDoc(doc);

    std::multiset<std::string> expected;
    for (const auto& m : machine) expected.insert(m.mac);
    EXPECT_EQ(reported, expected) << ReadFile(report);
}

TEST_F(RealLibrary, UpdateFromTheReportInstallsTheNewVersions)
{
    ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
    auto before = ListByMac();

    RunResult r = sb.Run({"-u", "report.xml"});
    EXPECT_TRUE(Contains(r.out, "Flashing from discovery report at report.xml.\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Library result: 1\n")) << r.out;
    auto after = ListByMac();

    // Every entry that was older than the folder's image now runs that image's version.
    EXPECT_EQ(r.exitCode, 2) << r.out;
    for (const auto& m : machine) {
        for (const auto& [type, versions] : before[m.mac].firmware) {
            if (versions.first == versions.second) continue;
            auto now = after[m.mac].firmware.find(type);
            ASSERT_NE(now, after[m.mac].firmware.end()) << m.name << " " << type;
            EXPECT_EQ(now->second.first, versions.second) << m.name << " " << type;
        }
    }
}

// Two update runs started together on one machine. The simulated management library's claims let
// only one process write an adapter at a time, so the NVRAM writes of the two processes never
// interleave on any adapter. A run that met the other's claim on some adapter reports failure
// (each run may lose one adapter to the other); a run that reports success updated everything.
// Afterwards every adapter's NVRAM passes the test kit's verifier of its family, and one more run
// from a fresh discovery leaves every adapter running the new versions.
TEST_F(RealLibrary, TwoUpdatesAtOnceNeverInterleaveTheirWrites)
{
    ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
    auto before = ListByMac();
    const std::string journal = sb.root + "/yxmapi.journal";
    const size_t journalStart = fs::exists(journal) ? fs::file_size(journal) : 0;

    RunResult first, second;
    std::thread a([&] { first = sb.Run({"-u", "report.xml"}); });
    std::thread b([&] { second = sb.Run({"-u", "report.xml"}); });
    a.join();
    b.join();
    for (const RunResult* r : {&first, &second}) {
        if (r->exitCode == 2)
            EXPECT_TRUE(Contains(r->out, "Library result: 1\n")) << r->out;
        else
            EXPECT_FALSE(Contains(r->out, "Library result: 1\n")) << r->exitCode << ":\n" << r->out;
    }

    // Per adapter handle, the writing processes in the order of their writes: one process's
    // writes must all come before the other's.
    std::map<std::string, std::vector<std::string>> writers;
    std::istringstream lines(ReadFile(journal).substr(journalStart));
    for (std::string l; std::getline(lines, l);) {
        if (!Contains(l, " ord=67 ") && !Contains(l, " ord=131 ")) continue;
        const std::string pid = l.substr(0, l.find(' '));
        const size_t h = l.find("handle=");
        const std::string handle = l.substr(h, l.find(' ', h) - h);
        auto& w = writers[handle];
        if (w.empty() || w.back() != pid) w.push_back(pid);
    }
    EXPECT_FALSE(writers.empty()) << "no NVRAM write was journalled";
    for (const auto& [handle, pids] : writers) {
        std::set<std::string> distinct(pids.begin(), pids.end());
        EXPECT_EQ(pids.size(), distinct.size()) << handle << ": the writes of two processes interleave";
    }

    for (const auto& [name, verdict] : VerifyAllNvram(sb.root)) EXPECT_EQ(verdict.status, 0) << name << ":\n" << verdict.output;

    // One more run from a fresh discovery finishes what the two left.
    ASSERT_EQ(sb.Run({"-d", "report2.xml"}).exitCode, 1);
    sb.Run({"-u", "report2.xml"});
    auto after = ListByMac();
    const std::set<std::pair<std::string, std::string>> upgrades{{"7.10.1", "7.12.0"}, {"7.10.4", "7.12.0"}, {"8.10.5", "8.12.3"}};
    for (const auto& m : machine) {
        for (const auto& [type, versions] : before[m.mac].firmware) {
            if (!upgrades.count(versions)) continue;
            EXPECT_EQ(after[m.mac].firmware[type].first, versions.second) << m.name << " " << type;
        }
    }
}

}  // namespace
