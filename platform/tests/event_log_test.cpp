#include "platform/event_log.h"
#include "platform/testing/temp_root.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class EventLogTest : public ::testing::Test {
protected:
    std::string file_text() const
    {
        std::ifstream in(root + "/events.log", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    platform::testing::TempSystemRoot temp_root;
    const std::string root = temp_root.path();
};

TEST_F(EventLogTest, FileSinkAppendsOneLinePerEntryAndKeepsEarlierContent)
{
    std::ofstream(root + "/events.log", std::ios::binary) << "earlier\tline\n";
    platform::EventEntry first{"Lib.dll", 4, 1, 0, "Subject:\n -Update\r\n\n"};
    platform::EventEntry second{"Lib.dll", 0, 1, 0, "ok \\ tab\there \xc3\xa9"};
    ASSERT_TRUE(platform::event_sink().report(first));
    ASSERT_TRUE(platform::event_sink().report(second));

    EXPECT_EQ(file_text(),
              "earlier\tline\n"
              "Lib.dll\t4\t1\t0\tSubject:\\n -Update\\r\\n\\n\n"
              "Lib.dll\t0\t1\t0\tok \\\\ tab\\there \xc3\xa9\n");
    auto entries = platform::read_event_log(root + "/events.log");
    ASSERT_EQ(entries.size(), 2u);  // the earlier line is not an entry
    EXPECT_EQ(entries[0], first);
    EXPECT_EQ(entries[1], second);
}

TEST_F(EventLogTest, UnopenableLogDropsTheEntry)
{
    setenv("FWUPG_SYSTEM_ROOT", (root + "/no/such/folder").c_str(), 1);
    EXPECT_FALSE(platform::event_sink().report({"s", 4, 1, 0, "t"}));
    EXPECT_FALSE(fs::exists(root + "/no"));
}

TEST_F(EventLogTest, InstalledDoubleCapturesAndRestores)
{
    platform::CapturingEventSink capture;
    {
        platform::ScopedEventSink scope(&capture);
        EXPECT_TRUE(platform::event_sink().report({"s", 0, 1, 0, "captured"}));
        capture.refuse_open = true;
        EXPECT_FALSE(platform::event_sink().report({"s", 0, 1, 0, "refused"}));
    }
    ASSERT_EQ(capture.entries.size(), 1u);
    EXPECT_EQ(capture.entries[0].text, "captured");
    EXPECT_FALSE(fs::exists(root + "/events.log"));
    ASSERT_TRUE(platform::event_sink().report({"s", 0, 1, 0, "to file"}));
    EXPECT_TRUE(fs::exists(root + "/events.log"));
}

TEST(EventLine, ControlBytesRoundTrip)
{
    std::string all;
    for (int c = 1; c < 0x80; ++c) all += static_cast<char>(c);
    platform::EventEntry entry{"src\tname", 2, 7, 3, all};
    std::string line = platform::format_event_line(entry);
    ASSERT_EQ(line.back(), '\n');
    line.pop_back();
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    auto back = platform::parse_event_line(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, entry);
}

TEST(EventLine, MalformedLinesAreRejected)
{
    const char* bad[] = {
        "",
        "src\t4\t1\t0",            // four fields
        "src\tx\t1\t0\ttext",      // type not a number
        "src\t4\t-1\t0\ttext",     // negative id
        "src\t70000\t1\t0\ttext",  // type out of range
        "src\t4\t1\t0\tbad \\q",   // unknown escape
        "src\t4\t1\t0\ttrailing \\",
        "src\t4\t1\t0\tshort \\x4",
        "src\t4\t1\t0\tnot hex \\xzz",
    };
    for (const char* line : bad) EXPECT_FALSE(platform::parse_event_line(line)) << line;
    EXPECT_TRUE(platform::parse_event_line("src\t4\t1\t0\t"));
}

}  // namespace
