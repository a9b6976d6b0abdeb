// The live-log channel between the console tool and the plug-in's log receiver.
//
// The receiver listens on a Unix SOCK_SEQPACKET socket whose name is derived from a window class
// and a title, in a runtime folder. The sender connects once, sends one fixed-size frame per line
// and waits for a one-byte acknowledgement, so a line is handled before the sender goes on. A
// missing, dead or stuck receiver never blocks the sender for long and never reports an error.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

// Marks a frame as a live-log line.
constexpr uint32_t kLiveLogTag = 0x8675309;
// Line buffer in UTF-16 units (259 characters and the terminating NUL) and in bytes.
constexpr size_t kLiveLogLineUnits = 260;
constexpr uint32_t kLiveLogLineBytes = kLiveLogLineUnits * 2;
// Frame: u32 tag, u64 level, u32 byte count (520), 520 bytes of UTF-16LE text; all little-endian,
// no padding.
constexpr size_t kLiveLogFrameSize = 4 + 8 + 4 + kLiveLogLineBytes;

// The class and title the console tool looks for.
inline constexpr std::string_view kLiveLogClass = "PelarisVerboseLogWindowClass";
inline constexpr std::string_view kLiveLogTitle = "TIRN Verbose Log Messages";

// How long the sender waits for an acknowledgement before it gives the receiver up.
constexpr int kLiveLogAckTimeoutMs = 2000;

struct LiveLogFrame {
    uint32_t tag = kLiveLogTag;
    uint64_t level = 0;
    uint32_t byteCount = kLiveLogLineBytes;
    std::u16string text;  // the line up to its NUL (or up to byteCount / 2 units without one)
};

// Encodes a line: the text is cut to 259 units (never inside a surrogate pair) and NUL-padded.
std::string encode_live_log_frame(uint64_t level, std::u16string_view text);
// Decodes a frame; nothing when its size is not kLiveLogFrameSize. The tag is returned as read;
// byte counts above 520 are treated as 520.
std::optional<LiveLogFrame> decode_live_log_frame(const void* data, size_t size);

// Folder of the live-log sockets: $FWUPG_RUNTIME_DIR, else "<system root>/run" when a system
// root is set, else $XDG_RUNTIME_DIR, else "/tmp".
std::string live_log_runtime_dir();
// "<runtime dir>/livelog-<16 hex digits>.sock", the digits a hash of class and title.
std::string live_log_socket_path(std::string_view windowClass, std::string_view title);

// The sending side. Looks the receiver up once, at construction.
class LiveLogSender {
public:
    explicit LiveLogSender(const std::string& socketPath);
    ~LiveLogSender();
    LiveLogSender(const LiveLogSender&) = delete;
    LiveLogSender& operator=(const LiveLogSender&) = delete;

    bool connected() const { return fd_ >= 0; }
    // Sends one line and waits for its acknowledgement. Any failure (receiver gone, no answer
    // within kLiveLogAckTimeoutMs) drops the connection silently; later sends do nothing.
    void send(uint64_t level, std::u16string_view text);

private:
    void drop();
    int fd_ = -1;
};

// The receiving side: listens on the socket path (a stale socket file is replaced) and, in
// run(), hands each frame to the handler and acknowledges it. Frames of any tag are
// acknowledged; the handler decides what to do with them.
class LiveLogReceiver {
public:
    using Handler = std::function<void(const LiveLogFrame&)>;

    explicit LiveLogReceiver(const std::string& socketPath);
    ~LiveLogReceiver();  // stops listening and removes the socket file
    LiveLogReceiver(const LiveLogReceiver&) = delete;
    LiveLogReceiver& operator=(const LiveLogReceiver&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    // Serves connections until stop() is called (from any thread). Returns at once when not
    // listening.
    void run(const Handler& handler);
    // Runs run() on a thread of the receiver's own, which stop() ends and joins.
    void start(Handler handler);
    void stop();

private:
    std::string path_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace platform
