#include "platform/livelog.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Not platform::testing::TempDir: socket names must stay within the 108 bytes of a socket
// address, so the folder is made directly under /tmp whatever TMPDIR says.
struct TempDir {
    std::string path;
    TempDir()
    {
        char t[] = "/tmp/livelogXXXXXX";
        path = mkdtemp(t);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

// A receiver serving on its own thread, collecting what it is sent.
struct ReceiverThread {
    std::mutex lock;
    std::vector<platform::LiveLogFrame> frames;
    platform::LiveLogReceiver receiver;  // last: stopped before the frames go
    explicit ReceiverThread(const std::string& path) : receiver(path)
    {
        receiver.start([this](const platform::LiveLogFrame& f) {
            std::lock_guard g(lock);
            frames.push_back(f);
        });
    }
};

}  // namespace

TEST(LiveLogFrame, LayoutIsLittleEndianAndFixedSize)
{
    std::string f = platform::encode_live_log_frame(6, u"Hi");
    ASSERT_EQ(f.size(), 536u);
    const std::string head("\x09\x53\x67\x08" "\x06\0\0\0\0\0\0\0" "\x08\x02\0\0" "H\0i\0\0\0", 22);
    EXPECT_EQ(f.substr(0, head.size()), head);
    EXPECT_EQ(f.find_first_not_of('\0', head.size()), std::string::npos);
}

TEST(LiveLogFrame, LongLinesAreCutWithoutSplittingAPair)
{
    struct Case { std::u16string text; size_t expected; };
    std::u16string pairAtCut(258, u'a');
    pairAtCut += u"\U0001F600";  // units 258 and 259: the pair does not fit in 259
    const Case cases[] = {
        {std::u16string(259, u'x'), 259},
        {std::u16string(400, u'x'), 259},
        {pairAtCut, 258},
    };
    for (const auto& c : cases) {
        auto d = platform::decode_live_log_frame(platform::encode_live_log_frame(4, c.text).data(), 536);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->text.size(), c.expected);
        EXPECT_EQ(d->text, c.text.substr(0, c.expected));
        EXPECT_EQ(d->level, 4u);
    }
}

TEST(LiveLogFrame, DecodeRejectsWrongSizesAndHonoursByteCount)
{
    std::string f = platform::encode_live_log_frame(6, u"abcdef");
    EXPECT_FALSE(platform::decode_live_log_frame(f.data(), 535));
    EXPECT_FALSE(platform::decode_live_log_frame(f.data(), 0));
    // A count of 6 bytes keeps three units although no NUL follows them.
    f[12] = 6;
    f[13] = 0;
    auto d = platform::decode_live_log_frame(f.data(), f.size());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->text, u"abc");
    // A count beyond the buffer is read as the buffer, and a text without NUL stops there.
    std::string full = platform::encode_live_log_frame(6, u"");
    for (size_t i = 16; i < full.size(); i += 2) full[i] = 'z';
    full[12] = '\xff';
    full[13] = '\xff';
    d = platform::decode_live_log_frame(full.data(), full.size());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->text, std::u16string(260, u'z'));
}

TEST(LiveLogPath, DerivedFromClassAndTitleInRuntimeFolder)
{
    setenv("FWUPG_RUNTIME_DIR", "/some/run", 1);
    std::string a = platform::live_log_socket_path(platform::kLiveLogClass, platform::kLiveLogTitle);
    EXPECT_EQ(a.rfind("/some/run/livelog-", 0), 0u);
    EXPECT_EQ(a, platform::live_log_socket_path(platform::kLiveLogClass, platform::kLiveLogTitle));
    EXPECT_NE(a, platform::live_log_socket_path(platform::kLiveLogClass, "Other"));
    EXPECT_NE(platform::live_log_socket_path("ab", "c"), platform::live_log_socket_path("a", "bc"));
    unsetenv("FWUPG_RUNTIME_DIR");
    setenv("FWUPG_SYSTEM_ROOT", "/r", 1);
    EXPECT_EQ(platform::live_log_runtime_dir(), "/r/run");
}

TEST(LiveLog, ReceiverGetsEveryLineInOrderWithItsLevel)
{
    TempDir dir;
    std::string path = dir.path + "/s.sock";
    ReceiverThread rt(path);
    ASSERT_TRUE(rt.receiver.listening());
    {
        platform::LiveLogSender sender(path);
        ASSERT_TRUE(sender.connected());
        sender.send(6, u"first line\n");
        sender.send(4, u"second");
        EXPECT_TRUE(sender.connected());
        // The acknowledgement comes after the handler ran: both lines are there already.
        std::lock_guard g(rt.lock);
        ASSERT_EQ(rt.frames.size(), 2u);
        EXPECT_EQ(rt.frames[0].level, 6u);
        EXPECT_EQ(rt.frames[0].text, u"first line\n");
        EXPECT_EQ(rt.frames[0].tag, platform::kLiveLogTag);
        EXPECT_EQ(rt.frames[1].level, 4u);
        EXPECT_EQ(rt.frames[1].text, u"second");
    }
}

TEST(LiveLog, MissingStaleOrStuckReceiverIsDroppedSilently)
{
    TempDir dir;
    // No socket file at all.
    platform::LiveLogSender none(dir.path + "/missing.sock");
    EXPECT_FALSE(none.connected());
    none.send(6, u"nothing happens");

    // A socket file whose listener has gone.
    std::string stale = dir.path + "/stale.sock";
    { platform::LiveLogReceiver gone(stale); ASSERT_TRUE(gone.listening()); }
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stale.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);  // the file stays, nobody listens
    platform::LiveLogSender refused(stale);
    EXPECT_FALSE(refused.connected());

    // A listener that never accepts nor answers: the first line times out, then the sender
    // gives the receiver up so no later line waits.
    std::string stuck = dir.path + "/stuck.sock";
    fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stuck.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(fd, 4), 0);
    platform::LiveLogSender sender(stuck);
    ASSERT_TRUE(sender.connected());
    sender.send(6, u"unanswered");
    EXPECT_FALSE(sender.connected());
    close(fd);
}

TEST(LiveLog, ReceiverThatEndsDropsTheSender)
{
    TempDir dir;
    std::string path = dir.path + "/s.sock";
    auto rt = std::make_unique<ReceiverThread>(path);
    platform::LiveLogSender sender(path);
    sender.send(6, u"one");
    ASSERT_TRUE(sender.connected());
    rt.reset();  // the receiver closes every connection and removes its socket
    sender.send(6, u"two");
    EXPECT_FALSE(sender.connected());
}
