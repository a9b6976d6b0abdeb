// Two TIRN updates from one report started at once from one tool folder, one of them with the
// report's devices in reverse order, on the test kit's demo machine, pair after pair (a few in the
// ordinary suite; FWUPG_TWO_RUN_PAIRS asks for more). Whatever the two runs win or lose of each
// other, every board ends with its own NVRAM before the update or the NVRAM one run alone gives
// it - never bytes of another board's package - and an item reported successful always left its
// board with what one run alone gives it.
//
// Also the limits a run meets in its tool folder: a file-size limit below the NVRAM size fails
// the backed-up items with their own status, and ends nothing else.
#include "demo_machine.h"
#include "report_xml.h"

#include "sim/adapter_builder.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e4_reader.h"
#include "yxmapi/sim_control.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

// The report with its device entries in reverse order.
void WriteReversed(const std::string& from, const std::string& to)
{
    xmlDoc* doc = xmlReadFile(from.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
    ASSERT_NE(doc, nullptr);
    xmlNode* devices = ReportDevices(doc);
    ASSERT_NE(devices, nullptr);
    std::vector<xmlNode*> entries;
    for (xmlNode* d = devices->children; d; d = d->next) entries.push_back(d);
    for (xmlNode* d : entries) xmlUnlinkNode(d);
    for (auto d = entries.rbegin(); d != entries.rend(); ++d) xmlAddChild(devices, *d);
    ASSERT_GE(xmlSaveFormatFile(to.c_str(), doc, 1), 0);
    xmlFreeDoc(doc);
}

// What a board holds, image by image (where the images lie left out: the order in which two runs
// program them may place them differently), by the test kit's reader of its family.
using Images = std::map<std::string, testkit::Bytes>;
using Boards = std::map<std::string, Images>;

Images ImagesOf(const std::string& board, const testkit::Bytes& nvram)
{
    Images out;
    auto add = [&](const std::string& name, uint64_t offset, uint64_t length) {
        std::string key = name;
        for (int n = 2; out.count(key); ++n) key = name + "#" + std::to_string(n);
        if (offset + length <= nvram.size())
            out.emplace(key, testkit::Bytes(nvram.begin() + long(offset), nvram.begin() + long(offset + length)));
        else
            out.emplace(key, testkit::Bytes{});
    };
    if (board.rfind("e4-", 0) == 0) {
        for (const auto& image : testkit::e4::list_images(nvram))
            if (image.name != "DIR1" && image.name != "DIR2") add(image.name, image.entry.offset, image.entry.length);
    } else {
        for (const auto& image : testkit::e1e3::list_images(nvram)) add(image.name, image.offset, image.length);
    }
    return out;
}

Boards BoardImages(const std::string& root)
{
    Boards out;
    for (const MachineAdapter& a : MachineAdapters(root))
        if (!out.count(a.board)) out[a.board] = ImagesOf(a.board, sim::read_nvram(root, a.board));
    return out;
}

// The images of `now` that are neither what the board held before nor what one run alone gives it.
std::string Foreign(const Images& now, const Images& before, const Images& alone)
{
    std::string out;
    for (const auto& [name, bytes] : now) {
        const auto b = before.find(name), a = alone.find(name);
        if ((b == before.end() || b->second != bytes) && (a == alone.end() || a->second != bytes)) out += " " + name;
    }
    return out;
}

class TwoRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        sb.runSeconds = 300;
        machine = MakeDemoMachine(sb, false);
        ASSERT_FALSE(machine.empty());
        ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
        WriteReversed(sb.work + "/report.xml", sb.work + "/reversed.xml");
        for (const MachineAdapter& a : MachineAdapters(sb.root)) boardOfMac[a.mac] = a.board;
        pristine = sb.base + "/pristine";
        fs::copy(sb.root, pristine, fs::copy_options::recursive);
    }

    void RestoreMachine()
    {
        fs::remove_all(sb.root);
        fs::copy(pristine, sb.root, fs::copy_options::recursive);
    }

    // A report to run from: a fresh copy, since a run writes its results into it.
    std::string Copy(const std::string& report, const std::string& as)
    {
        fs::copy_file(sb.work + "/" + report, sb.work + "/" + as, fs::copy_options::overwrite_existing);
        return as;
    }

    Sandbox sb;
    std::vector<MachineAdapter> machine;
    std::map<std::string, std::string> boardOfMac;
    std::string pristine;
};

TEST_F(TwoRuns, NeverLeaveABoardWithAnotherBoardsImages)
{
    const Boards before = BoardImages(sb.root);
    // What one run alone leaves on each board.
    RunResult alone = sb.Run({"-u", Copy("report.xml", "alone.xml")});
    ASSERT_EQ(alone.exitCode, 2) << alone.out;
    const Boards reference = BoardImages(sb.root);
    RestoreMachine();

    const char* env = std::getenv("FWUPG_TWO_RUN_PAIRS");
    const int pairs = env && std::atoi(env) > 0 ? std::atoi(env) : 3;
    int successes = 0, boardsByBoth = 0;
    for (int pair = 0; pair < pairs; ++pair) {
        SCOPED_TRACE("pair " + std::to_string(pair + 1));
        const std::string reports[2] = {Copy("report.xml", "a.xml"), Copy("reversed.xml", "b.xml")};
        RunResult runs[2];
        std::thread a([&] { runs[0] = sb.Run({"-u", reports[0]}); });
        std::thread b([&] { runs[1] = sb.Run({"-u", reports[1]}); });
        a.join();
        b.join();

        const Boards now = BoardImages(sb.root);
        std::set<std::string> reportedDone;  // boards with an item some run reported successful
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(runs[i].exitCode >= 0 && runs[i].exitCode < 128) << runs[i].exitCode << ":\n" << runs[i].out;
            for (const auto& [mac, items] : ItemStatuses(sb.work + "/" + reports[i]))
                for (const auto& [type, status] : items)
                    if (status == "1") reportedDone.insert(boardOfMac[mac]);
            successes += runs[i].exitCode == 2;
        }
        for (const auto& [board, images] : now) {
            const bool updated = images == reference.at(board);
            EXPECT_EQ(Foreign(images, before.at(board), reference.at(board)), "")
                << board << " holds images that are neither its own before the update nor those of its package";
            if (reportedDone.count(board)) {
                EXPECT_TRUE(updated) << board << ": an item was reported successful, yet the board does not hold "
                                     << "what one run alone gives it:" << Foreign(images, {}, reference.at(board));
            }
            boardsByBoth += updated;
        }
        EXPECT_EQ(RunLeftovers(sb.work), std::vector<std::string>{}) << "the runs leave no backup or work folder behind";
        RestoreMachine();
    }
    std::printf("two-runs: %d pairs, %d runs reported success, %d boards updated\n", pairs, successes, boardsByBoth);
}

// A file-size limit below the NVRAM size: the backup of each E1-E3 and legacy item cannot be
// written, so those items fail with the status of a work file that cannot be written (9) before
// any NVRAM write, the run ends with its ordinary failure code instead of the signal, and no half
// backup stays. (E4 boards take no backup; their package update still runs.)
TEST_F(TwoRuns, AFileSizeLimitFailsTheBackedUpItemsAndNothingElse)
{
    // The simulated library's journal is no file of the product: started afresh, it stays below
    // the limit (it is written when the library loads, before any call could ignore SIGXFSZ).
    fs::remove(sb.root + "/yxmapi.journal");
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = 192 * 1024;  // below every demo board's NVRAM; above the report and the logs
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const RunResult r = sb.Run({"-u", Copy("report.xml", "limited.xml")});
    setrlimit(RLIMIT_FSIZE, &saved);

    // Some items failed: the run ends with its own code, not by SIGXFSZ.
    EXPECT_TRUE(r.exitCode >= 0 && r.exitCode < 128 && r.exitCode != 2) << r.exitCode << ":\n" << r.out;
    EXPECT_TRUE(Contains(r.out, "Library result: 106\n")) << r.out;
    const Boards now = BoardImages(sb.root);
    const Boards before = BoardImages(pristine);
    int refused = 0;
    for (const auto& [mac, items] : ItemStatuses(sb.work + "/limited.xml")) {
        const std::string& board = boardOfMac[mac];
        if (board.rfind("e4-", 0) == 0) continue;
        for (const auto& [type, status] : items) {
            if (type == "PHY") continue;  // the PHY image goes to the PHY, without an NVRAM backup
            EXPECT_TRUE(status == "9" || status.empty()) << board << " " << type << " item status " << status;
            refused += status == "9";
        }
        EXPECT_TRUE(now.at(board) == before.at(board)) << board << "'s images were written";
    }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(RunLeftovers(sb.work), std::vector<std::string>{});
}

}  // namespace
