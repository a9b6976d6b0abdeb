// What TIRN's update from a report leaves in the report, end to end on the test kit's demo machine
// with the real libraries: a board whose firmware file went missing or bad after the report was
// written fails each of its items with its own status and the run fails, with nothing written to
// the board; and a report that cannot be saved under a file-size limit keeps its earlier content
// whole, and the run does not end as a success.
#include "demo_machine.h"
#include "report_xml.h"

#include "testkit/bytes.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

// Per MAC address and item type: the item's action status ("" when it has none).
std::map<std::string, std::map<std::string, std::string>> Statuses(const std::string& report)
{
    std::map<std::string, std::map<std::string, std::string>> out;
    for (const auto& [mac, items] : ItemStatuses(report))
        for (const auto& [type, status] : items) out[mac].emplace(type, status);
    return out;
}

// Sets every item's action.
void SetEveryAction(const std::string& report, const char* action)
{
    xmlDoc* doc = xmlReadFile(report.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
    ASSERT_NE(doc, nullptr);
    for (xmlNode* d = ReportDevices(doc)->children; d; d = d->next)
        for (xmlNode* i = d->children; i; i = i->next)
            for (xmlNode* c = i->children; c; c = c->next)
                if (c->type == XML_ELEMENT_NODE && std::string(reinterpret_cast<const char*>(c->name)) == "action")
                    xmlSetProp(c, BAD_CAST "value", BAD_CAST action);
    ASSERT_GE(xmlSaveFormatFile(report.c_str(), doc, 1), 0);
    xmlFreeDoc(doc);
}

class ReportResults : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine = MakeDemoMachine(sb, false);
        ASSERT_FALSE(machine.empty());
        ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
        for (const MachineAdapter& a : machine) boardOfMac[a.mac] = a.board;
    }
    std::string Nvram(const std::string& board) const
    {
        return ReadFile(sb.root + "/adapters/" + board + ".nvram");
    }

    Sandbox sb;
    std::vector<MachineAdapter> machine;
    std::map<std::string, std::string> boardOfMac;
};

constexpr const char* kE1Mac = "001018E10100";
constexpr const char* kE2Mac = "001018E20100";
constexpr const char* kE3Mac = "001018E30100";

TEST_F(ReportResults, ABoardWithAMissingOrBadFileFailsItsItemsAndTheRun)
{
    struct Case {
        const char* what;
        const char* file;
        std::function<void(testkit::Bytes&)> damage;  // null: the file is removed
        std::map<std::string, std::map<std::string, std::string>> expected;  // MAC -> type -> status
    };
    const std::vector<Case> cases = {
        {"E1 package removed", "mbi_e1.bin", nullptr, {{kE1Mac, {{"MBI", "8"}}}}},
        {"E1 package cut to 3000 bytes", "mbi_e1.bin", [](testkit::Bytes& b) { b.resize(3000); },
         {{kE1Mac, {{"MBI", "103"}}}}},
        {"E1 package emptied", "mbi_e1.bin", [](testkit::Bytes& b) { b.clear(); }, {{kE1Mac, {{"MBI", "103"}}}}},
        {"E2/E3 package cut, E3 PHY image sound", "mbi_e2e3.bin", [](testkit::Bytes& b) { b.resize(3000); },
         {{kE2Mac, {{"MBI", "103"}}}, {kE3Mac, {{"MBI", "103"}, {"PHY", "1"}}}}},
    };
    const std::string report = ReadFile(sb.work + "/report.xml");
    const std::string pristine = sb.base + "/pristine";
    fs::copy(sb.root, pristine, fs::copy_options::recursive);
    const std::string fw = sb.FwFolder();
    const std::string fwCopy = sb.base + "/fw-pristine";
    fs::copy(fw, fwCopy, fs::copy_options::recursive);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(sb.root);
        fs::copy(pristine, sb.root, fs::copy_options::recursive);
        fs::remove_all(fw);
        fs::copy(fwCopy, fw, fs::copy_options::recursive);
        sb.WriteFile("run.xml", report);
        const std::string path = fw + "/" + c.file;
        if (c.damage) {
            testkit::Bytes bytes = testkit::read_file(path);
            c.damage(bytes);
            testkit::write_file(path, bytes);
        } else {
            fs::remove(path);
        }
        std::map<std::string, std::string> before;
        for (const auto& [mac, items] : c.expected) before[mac] = Nvram(boardOfMac[mac]);

        const RunResult r = sb.Run({"-u", "run.xml"});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_TRUE(Contains(r.out, "Library result: 106\n")) << r.out;
        const auto statuses = Statuses(sb.work + "/run.xml");
        for (const auto& [mac, items] : c.expected) {
            for (const auto& [type, status] : items) EXPECT_EQ(statuses.at(mac).at(type), status) << mac << " " << type;
            if (!items.count("PHY")) {
                EXPECT_TRUE(Nvram(boardOfMac[mac]) == before[mac]) << boardOfMac[mac] << " was written";
            }
        }
    }
}

// A file-size limit below the report's size: the report cannot be saved, so it keeps its earlier
// content whole (no half file, no work file beside it) and the run fails with the library's
// "discovery file access failed" (11) rather than ending by the signal or as a success.
TEST_F(ReportResults, AReportThatCannotBeSavedKeepsItsEarlierContent)
{
    const std::string report = sb.work + "/report.xml";
    SetEveryAction(report, "skip");  // nothing to flash: only the report is written
    const std::string before = ReadFile(report);
    ASSERT_GT(before.size(), 2048u);
    fs::remove(sb.root + "/yxmapi.journal");

    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = before.size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const RunResult r = sb.Run({"-u", "report.xml"});
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Library result: 11\n")) << r.out;
    EXPECT_EQ(ReadFile(report), before);
    for (const auto& entry : fs::directory_iterator(sb.work))
        EXPECT_EQ(entry.path().filename().string().find("report.xml."), std::string::npos) << entry.path();

    // Without the limit the same run saves the report (every item skipped: 3).
    const RunResult free = sb.Run({"-u", "report.xml"});
    EXPECT_TRUE(Contains(free.out, "Library result: 3\n")) << free.out;
    EXPECT_NE(ReadFile(report), before);
}

}  // namespace
