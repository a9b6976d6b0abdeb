// Bad input at each outside interface of TIRN, on a demo machine holding one E2 board: tool
// options, the discovery report, the image files and packages of the firmware folder, and the
// firmware data file. Each case gets its exit code and message, and no NVRAM write reaches the
// simulated management library: every adapter's NVRAM stays byte for byte as it was.
#include "demo_machine.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

constexpr const char* kBoard = "e2-57712";
constexpr const char* kPackage = "mbi_e2e3.bin";

std::string replace_all(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

struct Case {
    const char* name;
    // Changes the working folder (report.xml is the machine's good report; FW the good folder).
    std::function<void(Sandbox&)> spoil;
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> says;  // lines the output must hold
};

void write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

void report_with(Sandbox& sb, const std::string& from, const std::string& to)
{
    write(sb.work + "/r.xml", replace_all(ReadFile(sb.work + "/report.xml"), from, to));
}

const std::string kUsage = "USAGE: TIRN [-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n";
const std::string kFailed = "Library result: 106\n";
const std::string kFailedText = "Library response:  106 - RET_FLASH_WITH_FILE_FAILED : The flash with file has failed.";

const Case kCases[] = {
    // Tool options: the usage, and nothing run.
    {"UnknownOption", nullptr, {"-z"}, 0, {kUsage}},
    {"ReportOptionWithoutFile", nullptr, {"-d"}, 0, {kUsage}},
    {"UpdateOptionWithoutFile", nullptr, {"-u"}, 0, {kUsage}},
    {"ListingAndUpdateTogether", nullptr, {"-c", "-u", "report.xml"}, 0, {kUsage}},
    // The discovery report.
    {"ReportMissing", nullptr, {"-u", "missing.xml"}, 0, {"Library result: 10\n"}},
    {"ReportEmpty", [](Sandbox& sb) { write(sb.work + "/r.xml", ""); }, {"-u", "r.xml"}, 0, {"Library result: 11\n"}},
    {"ReportCutShort",
     [](Sandbox& sb) { write(sb.work + "/r.xml", ReadFile(sb.work + "/report.xml").substr(0, 900)); },
     {"-u", "r.xml"}, 0, {"Library result: 11\n"}},
    {"ReportOfAnotherKind", [](Sandbox& sb) { report_with(sb, "zk_rom_discovery", "zk_rom_other"); },
     {"-u", "r.xml"}, 0, {"Library result: 11\n"}},
    {"ImageNamedByAbsolutePath", [](Sandbox& sb) { report_with(sb, kPackage, "/etc/passwd"); },
     {"-u", "r.xml"}, 0, {kFailed, kFailedText}},
    {"ImageNamedOutsideTheFolder",
     [](Sandbox& sb) { report_with(sb, kPackage, "../../root/adapters/" + std::string(kBoard) + ".nvram"); },
     {"-u", "r.xml"}, 0, {kFailed, kFailedText}},
    {"ImageNotInTheFolder", [](Sandbox& sb) { report_with(sb, kPackage, "nothere.bin"); }, {"-u", "r.xml"}, 0,
     {kFailed, kFailedText}},
    {"ImageOfAnotherFamily", [](Sandbox& sb) { report_with(sb, kPackage, "mbi_e4.bin"); }, {"-u", "r.xml"}, 0,
     {kFailed, kFailedText}},
    // The firmware folder.
    // A package cut short is invalid: the board's only image is gone, so no adapter is usable.
    {"PackageCutShort",
     [](Sandbox& sb) {
         const std::string p = sb.FwFolder() + "/" + kPackage;
         write(p, ReadFile(p).substr(0, 3000));
     },
     {"-u", "report.xml"}, 102, {"No supported adapters found!\n", "Failed to get NIC information! Aborting installation.\n"}},
    {"PackageWithoutItsMark",
     [](Sandbox& sb) {
         const std::string p = sb.FwFolder() + "/" + kPackage;
         std::string bytes = ReadFile(p);
         bytes.replace(0, 4, std::string(4, '\0'));
         write(p, bytes);
     },
     {"-u", "report.xml"}, 102, {"No supported adapters found!\n", "Failed to get NIC information! Aborting installation.\n"}},
    {"FirmwareDataFileCutShort",
     [](Sandbox& sb) {
         const std::string p = sb.FwFolder() + "/NICFWData.xml";
         write(p, ReadFile(p).substr(0, 200));
     },
     {"-d", "r2.xml"}, 0,
     {"Library response:  107 - RET_XML_SYNTAX_ERROR : The given NICFWData.xml is invalid and it contains xml-syntax "
      "error(s)"}},
};

class BadInput : public ::testing::TestWithParam<Case> {};

TEST_P(BadInput, GetsItsCodeAndMessageAndWritesNothing)
{
    const Case& c = GetParam();
    Sandbox sb;
    auto usable = MakeDemoMachine(sb, false);
    ASSERT_FALSE(usable.empty());
    ASSERT_FALSE(KeepOnlyBoard(sb, usable, kBoard).empty());
    ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
    ASSERT_TRUE(Contains(ReadFile(sb.work + "/report.xml"), kPackage));

    std::map<std::string, std::string> before;
    for (const auto& entry : fs::directory_iterator(sb.root + "/adapters"))
        if (entry.path().extension() == ".nvram") before[entry.path().string()] = ReadFile(entry.path().string());
    const std::string journal = sb.root + "/yxmapi.journal";
    const size_t start = fs::exists(journal) ? fs::file_size(journal) : 0;

    if (c.spoil) c.spoil(sb);
    RunResult r = sb.Run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
    for (const auto& line : c.says) EXPECT_TRUE(Contains(r.out, line)) << "no \"" << line << "\" in:\n" << r.out;
    EXPECT_FALSE(Contains(r.out, "Library result: 1\n")) << r.out;

    std::istringstream calls(ReadFile(journal).substr(start));
    for (std::string l; std::getline(calls, l);)
        EXPECT_FALSE(Contains(l, " ord=67 ") || Contains(l, " ord=131 ")) << "an NVRAM write was made: " << l;
    for (const auto& [path, bytes] : before) EXPECT_EQ(ReadFile(path), bytes) << path << " changed";
}

INSTANTIATE_TEST_SUITE_P(Interfaces, BadInput, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
