// The update loop: answers over pipes, end of input, silent and forced runs, and a terminal.
#include "tirn_harness.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tirn_test;

namespace {

// Adapter A (bus 3) with two older entries, adapter B (bus 4) with one older entry.
const std::string kTwoAdapters =
    "adapter=Card A|DEVA|1|2|3|4|0|3|0|0|1|AAAAAAAAAAAA\n"
    "fw=MBA|a_mba.bin|1.0.0|1.0.1\n"
    "fw=PXE|a_pxe.bin|2.0.0|2.0.0\n"
    "adapter=Card B|DEVB|1|2|3|4|0|4|0|1|2|BBBBBBBBBBBB\n"
    "fw=MBA|b_mba.bin|1.0.0|1.0.1\n";

// The image file and force flag of each flash, from the journal.
std::vector<std::string> flashes(const Sandbox& sb)
{
    std::vector<std::string> out;
    for (const auto& l : sb.Calls("oem_do_full_flash_PCI ")) {
        size_t f = l.find("file=") + 5;
        size_t slash = l.rfind('/', l.find(' ', f));
        out.push_back(l.substr(slash + 1, l.find(' ', f) - slash - 1) + l.substr(l.find(" force=")));
    }
    return out;
}

}  // namespace

TEST(UpdateLoop, AnswersAndResults)
{
    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::optional<std::string> input;  // none: standard input at its end
        std::string extra;                 // extra control lines
        int exitCode;
        std::vector<std::string> flashed;
        bool countLine = true;  // "Adapters updated" is printed unless the loop was quit
    };
    const Case cases[] = {
        {"end of input skips everything", {}, std::nullopt, "", 3, {}},
        {"empty lines take the default yes", {}, "\n\n\n", "", 1,
         {"a_mba.bin force=1 pci=0:3:0.0", "a_pxe.bin force=1 pci=0:3:0.0", "b_mba.bin force=1 pci=0:4:0.1"}},
        {"answers are case-insensitive", {}, "Y\nno\nyes please\n", "", 1,
         {"a_mba.bin force=1 pci=0:3:0.0", "b_mba.bin force=1 pci=0:4:0.1"}},
        {"other answers skip", {}, "x\n?\n1\n", "", 3, {}},
        {"quit first", {}, "q\n", "", 3, {}, false},
        {"quit after a counted adapter", {}, "y\nn\nQ\n", "", 0, {"a_mba.bin force=1 pci=0:3:0.0"}, false},
        {"quit within an adapter that is not counted yet", {}, "y\nq\n", "", 3, {"a_mba.bin force=1 pci=0:3:0.0"}, false},
        {"quit after a failed flash", {}, "y\nq\n", "flash=3\n", 0, {"a_mba.bin force=1 pci=0:3:0.0"}, false},
        {"continue leaves the adapter", {}, "c\ny\n", "", 1, {"b_mba.bin force=1 pci=0:4:0.1"}},
        {"a failure does not stop the loop", {}, "\n\n\n", "flash=0,7,2\n", 0,
         {"a_mba.bin force=1 pci=0:3:0.0", "a_pxe.bin force=1 pci=0:3:0.0", "b_mba.bin force=1 pci=0:4:0.1"}},
        {"long answer: the rest is the next answer", {}, "n" + std::string(77, 'x') + "yq\n", "", 3, {}, false},
        {"long answer ending in yes", {}, "n" + std::string(78, 'x') + "y\nn\n", "", 1, {"a_pxe.bin force=1 pci=0:3:0.0"}},
        {"silent updates only older entries without force", {"-s"}, std::nullopt, "", 1,
         {"a_mba.bin force=0 pci=0:3:0.0", "b_mba.bin force=0 pci=0:4:0.1"}},
        {"silent with -f updates all with force", {"-s", "-f"}, std::nullopt, "", 1,
         {"a_mba.bin force=1 pci=0:3:0.0", "a_pxe.bin force=1 pci=0:3:0.0", "b_mba.bin force=1 pci=0:4:0.1"}},
        {"-y and -e change nothing", {"-y", "-e"}, "\n\n\n", "", 1,
         {"a_mba.bin force=1 pci=0:3:0.0", "a_pxe.bin force=1 pci=0:3:0.0", "b_mba.bin force=1 pci=0:4:0.1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(kTwoAdapters + c.extra);
        RunResult r = sb.Run(c.args, c.input);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        EXPECT_EQ(flashes(sb), c.flashed);
        EXPECT_EQ(Contains(r.out + sb.Log(), "Adapters updated: "), c.countLine);
    }
}

TEST(UpdateLoop, PromptAndFlashTexts)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(OneAdapter("fw=MBA|mba.bin|1.2.70000|1.2.3\nfw=PXE|pxe.bin|3.1.4|3.1.4\n") + "flash=104,0\n");
    RunResult r = sb.Run({}, "\nn\n");
    const std::string expected =
        "\nExamining NIC Stelmar NetXtreme II at PCI\\VEN_14E4&DEV_164E (MAC address 001018A1B2C3)\n"
        "\tUpdate firmware MBA from version 1.2.11170 to 1.2.3? [y]es/[n]o/[q]uit/[c]ontinue (y) "
        "\tFlash file name: " + sb.FwFolder() + "/mba.bin\n"
        "Updating Stelmar NetXtreme II...please wait.\n"
        "Update complete.  Flash result: 104\r\n"
        " 104 - RET_FAKE : fake text for 104.\r\n\r\n"
        "\tUpdate firmware PXE from version 3.1.4 to 3.1.4? [y]es/[n]o/[q]uit/[c]ontinue (y) "
        "\nAdapters updated: 0\n";
    EXPECT_TRUE(Contains(r.out, expected)) << r.out;
    EXPECT_EQ(r.exitCode, 0);
    std::string log = sb.Log();
    // Each answer is followed by a line end in the log only.
    EXPECT_TRUE(Contains(log, "[c]ontinue (y) \r\n\tFlash file name: "));
    EXPECT_TRUE(Contains(log, "Update complete.  Flash result: 104\r\r\n"));
}

TEST(UpdateLoop, SilentRunWritesNothingToTheConsoleAfterStartUp)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(kTwoAdapters);
    RunResult r = sb.Run({"-s"});
    EXPECT_EQ(r.exitCode, 1);
    // Only the start-up lines, printed before the options are read, reach the console.
    std::string rule(77, '-');
    EXPECT_EQ(r.out, rule + "\nStelmar for Windows (2.4.17.0)\nCopyright (c) the Stelmar developers. All rights reserved.\n" +
                         rule + "\nUpgrade library: vendor.so (ver 3.1.4.15)\r\n");
    std::string log = sb.Log();
    for (const char* line : {"Stelmar for Windows (", "Command line supplied:\r\n\t", "Upgrade began: ",
                             "Upgrade library: vendor.so", "Updating Card B...please wait.\r\n",
                             "\r\nAdapters updated: 2\r\n", "Exiting with code 1\r\n"})
        EXPECT_TRUE(Contains(log, line)) << line;
    EXPECT_FALSE(Contains(log, "? [y]es"));  // a silent run asks nothing, also not in the log
}

TEST(UpdateLoop, ImagePathThatDoesNotFitIsNotFlashed)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(OneAdapter("fw=MBA|" + std::string(1100, 'm') + "|1.0.0|1.0.1\nfw=PXE|pxe.bin|1.0.0|1.0.1\n"));
    RunResult r = sb.Run({"-s"});
    EXPECT_EQ(flashes(sb), std::vector<std::string>{"pxe.bin force=0 pci=0:3:0.1"});
    EXPECT_TRUE(Contains(r.out + sb.Log(), "Update complete.  Flash result: 8\r\r\n"));
    EXPECT_EQ(r.exitCode, 0);
}

// Reads from the terminal until `text` appears or the time runs out.
static bool read_until(int fd, std::string& seen, const std::string& text, int seconds = 30)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!Contains(seen, text)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buf[1024];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return Contains(seen, text);
        seen.append(buf, static_cast<size_t>(n));
    }
    return true;
}

TEST(UpdateLoop, PromptOnATerminal)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(kTwoAdapters);
    std::string program = sb.ProgramPath();
    char* argv[] = {program.data(), nullptr};
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(sb.work.c_str()) == 0) execv(program.c_str(), argv);
        _exit(127);
    }
    std::string seen;
    // The title goes to a terminal; the prompt arrives before any answer is typed.
    ASSERT_TRUE(read_until(master, seen, "MBA from version 1.0.0 to 1.0.1? [y]es/[n]o/[q]uit/[c]ontinue (y) ")) << seen;
    EXPECT_TRUE(Contains(seen, "\033]0;Stelmar for Windows\007"));
    ASSERT_EQ(write(master, "n\n", 2), 2);
    ASSERT_TRUE(read_until(master, seen, "PXE from version 2.0.0 to 2.0.0? [y]es/[n]o/[q]uit/[c]ontinue (y) ")) << seen;
    ASSERT_EQ(write(master, "y\n", 2), 2);
    ASSERT_TRUE(read_until(master, seen, "Card B")) << seen;
    ASSERT_TRUE(read_until(master, seen, "[c]ontinue (y) ")) << seen;
    ASSERT_EQ(write(master, "q\n", 2), 2);
    read_until(master, seen, "\033[0m", 30);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);  // quit after adapter A was counted
    EXPECT_EQ(flashes(sb), std::vector<std::string>{"a_pxe.bin force=1 pci=0:3:0.0"});
    EXPECT_FALSE(Contains(sb.Log(), "\033"));  // control sequences never reach the log
}
