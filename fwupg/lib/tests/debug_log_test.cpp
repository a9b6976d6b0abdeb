#include "fwupg/debug_log.h"
#include "fwupg/host_ops.h"
#include "platform/debug_channel.h"
#include "platform/testing/temp_root.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Counts how often the log takes its lock.
class CountingLock : public fwupg::CSyncObject {
public:
    bool Lock(uint32_t) override
    {
        ++locks;
        return true;
    }
    bool Unlock() override { return true; }
    int locks = 0;
};

fwupg::DebugLogSource fixed_source()
{
    fwupg::DebugLogSource s;
    s.now = [] { return fwupg::DebugTime{2026, 2, 1, 9, 5, 3, 42}; };
    s.process_id = [] { return 4711ul; };
    s.thread_id = [] { return 12ul; };
    return s;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class DebugLogTest : public ::testing::Test {
protected:

    void write(fwupg::DebugLog& log, uint8_t level, const char* fmt, ...) __attribute__((format(printf, 4, 5)))
    {
        va_list ap;
        va_start(ap, fmt);
        log.WriteV(level, fmt, ap);
        va_end(ap);
    }
    platform::testing::TempDir temp;
    const std::string dir = temp.path();
    const std::string file = temp / "dbg.log";
};

TEST_F(DebugLogTest, LinesAreByteExactForEveryLevel)
{
    CountingLock lock;
    fwupg::DebugLog log(lock, fixed_source());
    ASSERT_TRUE(log.SetFileName(file));
    struct {
        uint8_t level;
        const char* name;
    } const cases[] = {
        {1, "INFORMATION"}, {2, "WARNING    "}, {4, "DEBUG      "}, {16, "DIAG_ERROR "},
        {5, "INFORMATION"},  // the first set bit wins
        {6, "WARNING    "}, {24, "DIAG_ERROR "},
        {8, ""}, {0, ""}, {32, ""},  // no known bit: empty name
    };
    std::string want;
    for (const auto& c : cases) {
        write(log, c.level, "%s():  Return Code: %d.", "oem_get_adapter_info", c.level);
        want += std::string("2/1/2026 09:05:03.042 ") + c.name + " 4711.12 oem_get_adapter_info():  Return Code: " +
                std::to_string(c.level) + ".\r\n";
    }
    EXPECT_EQ(read_file(file), want);
}

TEST_F(DebugLogTest, NoFileNameMeansNoOutputAndNoLock)
{
    CountingLock lock;
    fwupg::DebugLog log(lock, fixed_source());
    write(log, 4, "dropped %d", 1);
    EXPECT_EQ(lock.locks, 0);
    EXPECT_TRUE(fs::is_empty(dir));

    ASSERT_TRUE(log.SetFileName(file));
    lock.locks = 0;
    write(log, 4, "kept");
    EXPECT_GT(lock.locks, 0);

    ASSERT_TRUE(log.SetFileName(""));  // an empty name turns the log off again
    lock.locks = 0;
    write(log, 4, "dropped again");
    EXPECT_EQ(lock.locks, 0);
    EXPECT_EQ(read_file(file), "2/1/2026 09:05:03.042 DEBUG       4711.12 kept\r\n");
}

TEST_F(DebugLogTest, BadNamesAreRefusedAndUnopenableFilesLoseTheLine)
{
    CountingLock lock;
    fwupg::DebugLog log(lock, fixed_source());
    ASSERT_TRUE(log.SetFileName(file));
    EXPECT_FALSE(log.SetFileName(std::string(260, 'x')));
    EXPECT_FALSE(log.SetFileName(std::string("a\0b", 3)));
    EXPECT_EQ(log.FileName(), file);
    EXPECT_TRUE(log.SetFileName(dir + "/" + std::string(259 - dir.size() - 1, 'y')));

    ASSERT_TRUE(log.SetFileName(dir + "/missing/dbg.log"));
    write(log, 4, "lost");  // must neither crash nor create the folder
    EXPECT_FALSE(fs::exists(dir + "/missing"));
}

// Something other than a regular file at the log's name: a link (to a file or to nowhere), a FIFO,
// a folder. The line is lost, the linked file keeps its bytes and nothing is made at the link's
// target; the next line to a regular file is written as ever.
TEST_F(DebugLogTest, ALinkOrNonRegularFileAtTheNameIsNeverWritten)
{
    const std::string target = temp / "target";
    std::ofstream(target) << "keep";
    struct Case {
        const char* name;
        std::function<void(const std::string&)> plant;
    } const cases[] = {
        {"link_to_a_file", [&](const std::string& at) { fs::create_symlink(target, at); }},
        {"dangling_link", [&](const std::string& at) { fs::create_symlink(temp / "made-through-link", at); }},
        {"fifo", [](const std::string& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
        {"folder", [](const std::string& at) { fs::create_directory(at); }},
    };
    CountingLock lock;
    fwupg::DebugLog log(lock, fixed_source());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string at = temp / c.name;
        c.plant(at);
        ASSERT_TRUE(log.SetFileName(at));
        write(log, 4, "refused");
        EXPECT_EQ(read_file(target), "keep");
        EXPECT_FALSE(fs::exists(temp / "made-through-link"));
    }
    ASSERT_TRUE(log.SetFileName(file));
    write(log, 4, "kept");
    EXPECT_EQ(read_file(file), "2/1/2026 09:05:03.042 DEBUG       4711.12 kept\r\n");
}

TEST_F(DebugLogTest, TimeFieldsAreNotPaddedExceptTheClock)
{
    CountingLock lock;
    auto source = fixed_source();
    source.now = [] { return fwupg::DebugTime{1999, 12, 31, 23, 59, 59, 999}; };
    fwupg::DebugLog log(lock, source);
    ASSERT_TRUE(log.SetFileName(file));
    write(log, 1, "a\n");  // the message's own line end is kept before CR LF
    source.now = [] { return fwupg::DebugTime{2026, 1, 2, 0, 0, 0, 5}; };
    fwupg::DebugLog log2(lock, source);
    ASSERT_TRUE(log2.SetFileName(file));
    write(log2, 1, "b");
    EXPECT_EQ(read_file(file),
              "12/31/1999 23:59:59.999 INFORMATION 4711.12 a\n\r\n"
              "1/2/2026 00:00:00.005 INFORMATION 4711.12 b\r\n");
}

TEST_F(DebugLogTest, OverlongMessageIsBoundedByTheSharedBuffer)
{
    CountingLock lock;
    fwupg::DebugLog log(lock, fixed_source());
    ASSERT_TRUE(log.SetFileName(file));
    const std::string big(fwupg::DebugLog::kBufferSize + 1000, 'm');
    write(log, 4, "%s", big.c_str());
    const std::string head = "2/1/2026 09:05:03.042 DEBUG       4711.12 ";
    EXPECT_EQ(read_file(file), head + std::string(fwupg::DebugLog::kBufferSize - 1, 'm') + "\r\n");
}

// "M/D/YYYY HH:MM:SS.mmm " with the clock fields two digits wide and the milliseconds three.
bool is_time_stamp(std::string_view s)
{
    auto digits = [&](size_t min, size_t max, char end) {
        size_t n = 0;
        while (n < s.size() && std::isdigit(static_cast<unsigned char>(s[n]))) ++n;
        if (n < min || n > max || n >= s.size() || s[n] != end) return false;
        s.remove_prefix(n + 1);
        return true;
    };
    return digits(1, 2, '/') && digits(1, 2, '/') && digits(4, 4, ' ') && digits(2, 2, ':') && digits(2, 2, ':') &&
           digits(2, 2, '.') && digits(3, 3, ' ') && s.empty();
}

TEST_F(DebugLogTest, ProcessLogWritesRealIdsAndTime)
{
    ASSERT_TRUE(fwupg::GetDebugLog().SetFileName(file));
    LogDebugMsg(DBG_DEBUG, "%s(): API Entry Point.", "oem_do_flash_with_file");
    unsigned long other = 0;
    std::thread([&] {
        other = static_cast<unsigned long>(gettid());
        LogDebugMsg(DBG_WARNING, "from %s", "a thread");
    }).join();
    const std::string text = read_file(file);
    const std::string pid = std::to_string(getpid());
    const std::string first = "DEBUG       " + pid + "." + std::to_string(gettid()) +
                              " oem_do_flash_with_file(): API Entry Point.\r\n";
    const std::string second = "WARNING     " + pid + "." + std::to_string(other) + " from a thread\r\n";
    const size_t split = text.find("\r\n") + 2;
    ASSERT_NE(split, std::string::npos + 2);
    const std::string line1 = text.substr(0, split), line2 = text.substr(split);
    ASSERT_TRUE(line1.ends_with(first)) << line1;
    ASSERT_TRUE(line2.ends_with(second)) << line2;
    EXPECT_TRUE(is_time_stamp(line1.substr(0, line1.size() - first.size()))) << line1;
    EXPECT_TRUE(is_time_stamp(line2.substr(0, line2.size() - second.size()))) << line2;
}

TEST_F(DebugLogTest, LoggingWhileTheSameThreadHoldsTheLockDoesNotDeadlock)
{
    ASSERT_TRUE(fwupg::GetDebugLog().SetFileName(file));
    fwupg::SyncLock hold(g_DebugLogLock);
    LogDebugMsg(DBG_DEBUG, "nested");
    EXPECT_NE(read_file(file).find(" nested\r\n"), std::string::npos);
}

TEST(DebugLock, IsLockedSeesOtherThreadsOnlyAndNeverBlocks)
{
    fwupg::CCriticalSection section;
    EXPECT_FALSE(section.IsLocked());

    std::atomic<int> stage{0};
    std::thread holder([&] {
        section.Lock();
        stage = 1;
        while (stage != 2) std::this_thread::yield();
        section.Unlock();
    });
    while (stage != 1) std::this_thread::yield();
    EXPECT_TRUE(section.IsLocked());
    EXPECT_FALSE(section.Lock(0));
    stage = 2;
    holder.join();

    // Recursive: the owner may take it again and must release it as often.
    ASSERT_TRUE(section.Lock());
    ASSERT_TRUE(section.Lock());
    EXPECT_FALSE(section.IsLocked());
    section.Unlock();
    section.Unlock();
    std::thread([&] { EXPECT_FALSE(section.IsLocked()); }).join();
}

TEST(DebugLock, DumpNamesTheClassesAndMembers)
{
    platform::CapturingDebugChannel channel;
    platform::set_debug_channel(&channel);
    fwupg::CCriticalSection section;
    section.Dump("g_DebugLogLock");
    platform::set_debug_channel(nullptr);
    ASSERT_EQ(channel.texts.size(), 4u);
    EXPECT_TRUE(channel.texts[0].starts_with("g_DebugLogLock::CCriticalSection at address[0x"));
    EXPECT_TRUE(channel.texts[1].starts_with("g_DebugLogLock::CCriticalSection::CSyncObject at address[0x"));
    EXPECT_TRUE(channel.texts[2].starts_with("g_DebugLogLock::CCriticalSection::CSyncObject.m_hObject(0) at address["));
    EXPECT_TRUE(channel.texts[3].starts_with("g_DebugLogLock::CCriticalSection.m_sect at address["));
    for (const auto& t : channel.texts) EXPECT_TRUE(t.ends_with("]\r\n") || t.ends_with("].\r\n")) << t;
}

class DebugChannelTest : public ::testing::Test {
protected:
    void SetUp() override { platform::set_debug_channel(&channel); }
    void TearDown() override
    {
        platform::set_debug_channel(nullptr);
        fwupg::GetDebugLog().SetChannelEnabled(false);
    }
    std::string prefix() const
    {
        return "CIM Provider " + std::to_string(getpid()) + "." + std::to_string(gettid()) + ": ";
    }
    platform::CapturingDebugChannel channel;
};

TEST_F(DebugChannelTest, SilentUntilSwitchedOn)
{
    LogDebugString("before %d", 1);
    fwupg_dbg_printf("engine %d", 2);
    EXPECT_TRUE(channel.texts.empty());

    fwupg::GetDebugLog().SetChannelEnabled(true);
    LogDebugString("value %d", 3);
    LogDebugString("%s", "");  // an empty message still makes a line
    EXPECT_EQ(channel.texts, (std::vector<std::string>{prefix() + "value 3\r\n", prefix() + "\r\n"}));
}

TEST_F(DebugChannelTest, EnginePrintPassesTextOnWithoutReinterpretingPercentSigns)
{
    fwupg::GetDebugLog().SetChannelEnabled(true);
    fwupg_dbg_printf("progress %s %d%%\n", "50%s %n %x", 7);
    fwupg_dbg_printf_ex(99, "[%s]", "%d");
    EXPECT_EQ(channel.texts, (std::vector<std::string>{prefix() + "progress 50%s %n %x 7%\n\r\n",
                                                       prefix() + "[%d]\r\n"}));
}

TEST_F(DebugChannelTest, LongEngineOutputIsEmittedWhole)
{
    fwupg::GetDebugLog().SetChannelEnabled(true);
    std::string listing;
    for (int i = 0; i < 200; ++i) listing += "entry " + std::to_string(i) + " 0x0000ffff\n";
    ASSERT_GT(listing.size(), 528u * 4);
    fwupg_dbg_printf("%s", listing.c_str());
    std::string exact(527, 'e');  // fits the stack line exactly
    fwupg_dbg_printf("%s", exact.c_str());
    exact += 'e';  // one more: needs the larger buffer
    fwupg_dbg_printf("%s", exact.c_str());
    ASSERT_EQ(channel.texts.size(), 3u);
    EXPECT_EQ(channel.texts[0], prefix() + listing + "\r\n");
    EXPECT_EQ(channel.texts[1], prefix() + std::string(527, 'e') + "\r\n");
    EXPECT_EQ(channel.texts[2], prefix() + exact + "\r\n");
}

}  // namespace
