// TIRN's console text, log file and live log.
#include "tirn_harness.h"

#include "platform/livelog.h"
#include "platform/utf16.h"

#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tirn_test;

namespace {

const std::string kAdapter = OneAdapter("fw=MBA|mba.bin|1.0.0|1.0.1\n");
const std::string kRule = std::string(77, '-');

const std::string kUsage =
    "USAGE: YXZQFWUpg [-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n"
    "With no options, interactively upgrade firmware.\n"
    "-c  Display currently installed firmware information.\n"
    "-d <filename>  Generate XML discovery report to <filename>.\n"
    "-e  Enable re-write if the current firmware is the same, and upgrade if the current firmware is older.\n"
    "-f  Force all firmware changes to occur.\n"
    "-g  Enable downgrade if the current firmware is newer, and upgrade if the current firmware is older.\n"
    "-h  Display this help menu.\n"
    "-s  Silently (non-interactively) upgrade firmware. \n"
    "-u <filename>  Read XML discovery report from <filename> and perform firmware upgrade.\n"
    "-y  Assume default repsonse for all prompts.\n";

std::string crlf(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Replaces the time after each label by "<time>" once it has the C library's fixed form
// ("Sun Sep 16 01:03:52 1973"), so whole logs can be compared.
std::string mask_times(std::string log)
{
    for (const std::string label : {"Upgrade began: ", "Upgrade completed: "}) {
        size_t at = log.find(label);
        if (at == std::string::npos) continue;
        at += label.size();
        std::string t = log.substr(at, 24);
        bool shaped = t.size() == 24 && t[3] == ' ' && t[7] == ' ' && t[10] == ' ' && t[13] == ':' && t[16] == ':' &&
                      t[19] == ' ' && std::isdigit(static_cast<unsigned char>(t[23]));
        if (shaped) log.replace(at, 24, "<time>");
    }
    return log;
}

}  // namespace

TEST(Output, LogFileBytesOfAWholeRun)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(kAdapter);
    RunResult r = sb.Run({"/c", "-no_overwrite"});
    ASSERT_EQ(r.exitCode, 0);
    std::string log = sb.Log();
    const std::string head =
        kRule + "\r\n"
        "Stelmar for Windows (2.4.17.0)\r\n"
        "Copyright (c) the Stelmar developers. All rights reserved.\r\n" +
        kRule + "\r\n"
        "Command line supplied:\r\n\t" + sb.ProgramPath() + " /c -no_overwrite \r\n"  // as given, before parsing
        "Upgrade began: <time>\r\n\r\n"
        "Attempting to load DLL vendor.so\r\n"
        "DLL vendor.so identified as an TIRN library\r\n"
        "Upgrade library: vendor.so (ver 3.1.4.15)\r\r\n"
        "Looking for FW in " + sb.FwFolder() + "\r\n"
        "Retrieving API function oem_get_adapter_info from vendor library -- present\r\n"
        "Found 1 adapters\r\n";
    const std::string tail =
        "\tMBA\t\t1.0.0\t\t1.0.1\r\r\n"
        "\tFile name: mba.bin\r\n"
        "\r\n"
        "Upgrade completed: <time>\r\n\r\n"
        "Exiting with code 0\r\n" +
        kRule + "\r\n";
    std::string masked = mask_times(log);
    ASSERT_GT(masked.size(), head.size() + tail.size());
    EXPECT_EQ(masked.substr(0, head.size()), head);
    EXPECT_EQ(masked.substr(masked.size() - tail.size()), tail);
    // The console keeps the lines as written: one CR where the text has one.
    EXPECT_TRUE(Contains(r.out, "Upgrade library: vendor.so (ver 3.1.4.15)\r\nFound 1 adapters\n"));
    // Every run appends.
    sb.Run({"-c"});
    EXPECT_EQ(sb.Log().substr(0, log.size()), log);
    EXPECT_GT(sb.Log().size(), log.size() + 100);
}

TEST(Output, LogNameFollowsTheWholeFirstArgument)
{
    struct Case {
        std::string argv0;  // "" for the program's full path
        std::string logName;
    };
    const Case cases[] = {
        {"YXZQFWUpg.exe", "YXZQFWUpg.log"},
        {"yxzqfwupg.EXE", "YXZQFWUpg.log"},
        {"OstraNicFwUpg.exe", "OstraNicFwUpg.log"},
        {"ostrefwupg.exe", "OstreFwUpg.log"},
        {"ZKNVMUpdate.exe", "ZKNVMUpdate.log"},
        {"YXNICFWUpg.exe", "YXNICFWUpg.log"},
        {"./YXZQFWUpg.exe", "tirn.log"},
        {"YXZQFWUpg", "tirn.log"},
        {"", "tirn.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv0);
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(kAdapter);
        RunResult r = c.argv0.empty() ? sb.Run({"-c"}) : sb.Run({"-c"}, std::nullopt, c.argv0);
        EXPECT_EQ(r.exitCode, 0);
        auto names = std::vector<std::string>();
        for (const auto& e : std::filesystem::directory_iterator(sb.LogFolder())) names.push_back(e.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{c.logName});
    }
}

TEST(Output, UsageTextAndWhereItGoes)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(kAdapter);
    RunResult r = sb.Run({"-c", "/?"}, std::nullopt, "YXZQFWUpg.exe");
    EXPECT_EQ(r.exitCode, 0);
    // The usage ends the run at once, without the closing banner.
    std::string tail = "Upgrade library: vendor.so (ver 3.1.4.15)\r\n" + kUsage;
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    std::string log = sb.Log("YXZQFWUpg.log");
    EXPECT_EQ(log.substr(log.size() - kUsage.size() - 11), crlf(kUsage));
    EXPECT_TRUE(sb.Calls("oem_get_adapter_info").empty());

    // Silent is set before the pair is rejected: the usage goes to the log only.
    Sandbox silent;
    silent.AddLibrary("fake_oem.so", "vendor.so");
    silent.Control(kAdapter);
    r = silent.Run({"-S", "-c"}, std::nullopt, "YXZQFWUpg.exe");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(Contains(r.out, "USAGE"));
    EXPECT_TRUE(Contains(silent.Log("YXZQFWUpg.log"), crlf(kUsage)));

    // A file argument that does not fit is refused, not cut.
    Sandbox longName;
    longName.AddLibrary("fake_oem.so", "vendor.so");
    longName.Control(kAdapter);
    r = longName.Run({"-d", std::string(260, 'r')});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.out, "-y  Assume default repsonse for all prompts.\n"));
    EXPECT_TRUE(longName.Calls("oem_do_discovery").empty());
}

TEST(Output, LogThatCannotBeOpenedIsReportedOnEveryLine)
{
    for (bool silent : {false, true}) {
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(kAdapter);
        // A file where the log folder should be: the folder cannot be made, the log not opened.
        std::filesystem::create_directories(sb.root + "/C/tvnsystem");
        sb.WriteFile("../root/C/tvnsystem/log", "in the way");
        RunResult r = sb.Run(silent ? std::vector<std::string>{"-s"} : std::vector<std::string>{"-c"});
        const std::string failure = "UserInterface::Write(): fopen() " + sb.LogFolder() + "/tirn.log failed 20\n";
        size_t count = 0;
        for (size_t p = r.out.find(failure); p != std::string::npos; p = r.out.find(failure, p + 1)) ++count;
        if (silent) {
            // Only the start-up lines, written before the options were read, report it.
            EXPECT_EQ(r.exitCode, 1);
            std::string end = "Upgrade library: vendor.so (ver 3.1.4.15)\r\n" + failure;
            ASSERT_GE(r.out.size(), end.size());
            EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end);
        } else {
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_GT(count, 20u);
            EXPECT_TRUE(Contains(r.out, failure + "Found 1 adapters\n" + failure));
        }
    }
}

namespace {

struct Receiver {
    std::mutex lock;
    std::vector<platform::LiveLogFrame> frames;
    platform::LiveLogReceiver receiver;  // last: stopped before the frames go
    Receiver() : receiver(platform::live_log_socket_path(platform::kLiveLogClass, platform::kLiveLogTitle))
    {
        receiver.start([this](const platform::LiveLogFrame& f) {
            std::lock_guard g(lock);
            frames.push_back(f);
        });
    }
    std::vector<std::string> Lines(uint64_t level)
    {
        std::lock_guard g(lock);
        std::vector<std::string> out;
        for (const auto& f : frames)
            if (f.level == level) out.push_back(platform::to_utf8(f.text));
        return out;
    }
};

bool has(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(LiveLog, ReceiverGetsLoggedLinesWithTheirLevels)
{
    Sandbox sb;  // sets the runtime folder the receiver's name lives in
    sb.AddLibrary("not_vendor.so", "not_vendor.so");
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(kAdapter);
    Receiver rx;
    ASSERT_TRUE(rx.receiver.listening());
    RunResult r = sb.Run({"-s"});
    EXPECT_EQ(r.exitCode, 1);
    auto normal = rx.Lines(6);
    auto binding = rx.Lines(4);
    EXPECT_TRUE(has(normal, "Found 1 adapters\n"));
    EXPECT_TRUE(has(normal, "Upgrade library: vendor.so (ver 3.1.4.15)\r\n"));  // as formatted, one CR
    EXPECT_TRUE(has(normal, "Update complete.  Flash result: 0\r\n"));
    EXPECT_TRUE(has(normal, "Exiting with code 1\n"));
    EXPECT_TRUE(has(binding, "DLL not_vendor.so is not an TIRN library\n"));
    EXPECT_TRUE(has(binding, "Retrieving API function oem_do_full_flash_PCI from vendor library -- present\n"));
    EXPECT_FALSE(has(normal, "DLL vendor.so identified as an TIRN library\n"));
    {
        std::lock_guard g(rx.lock);
        for (const auto& f : rx.frames) EXPECT_EQ(f.tag, platform::kLiveLogTag);
    }
    // Every logged line was forwarded, in order: the frames rebuild the log.
    std::string joined;
    {
        std::lock_guard g(rx.lock);
        for (const auto& f : rx.frames) joined += platform::to_utf8(f.text);
    }
    std::string log = sb.Log();
    std::string fromFrames;
    for (char ch : joined) {
        if (ch == '\n') fromFrames += '\r';
        fromFrames += ch;
    }
    EXPECT_EQ(fromFrames, log);
}

TEST(LiveLog, LongLineIsCutForTheLiveLogOnly)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    std::string product(300, 'P');
    sb.Control("adapter=" + product + "|DEV|1|2|3|4|0|0|0|0|1|M\n");
    Receiver rx;
    sb.Run({"-c"});
    auto lines = rx.Lines(6);
    std::string full = "NIC 0: " + product + " at DEV\n";
    EXPECT_TRUE(has(lines, full.substr(0, 259)));
    EXPECT_TRUE(Contains(sb.Log(), "NIC 0: " + product + " at DEV\r\n"));
}

TEST(LiveLog, DeadOrStuckReceiverDoesNotHoldTheToolUp)
{
    for (bool stuck : {false, true}) {
        SCOPED_TRACE(stuck ? "listener that never answers" : "socket left by a dead receiver");
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(kAdapter);
        std::string path = platform::live_log_socket_path(platform::kLiveLogClass, platform::kLiveLogTitle);
        int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        if (stuck)
            ASSERT_EQ(listen(fd, 4), 0);
        else
            close(fd);
        RunResult r = sb.Run({"-s"});  // the harness fails the test if the run does not end
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Contains(sb.Log(), "Exiting with code 1\r\n"));
        if (stuck) close(fd);
    }
}
