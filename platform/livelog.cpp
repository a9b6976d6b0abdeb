#include "platform/livelog.h"

#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

void put_le(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t get_le(const unsigned char* p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

bool make_address(const std::string& path, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

// Waits for `events` on fd; true when they arrived within the timeout.
bool wait_for(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r > 0 && (p.revents & events) != 0;
    }
}

}  // namespace

std::string encode_live_log_frame(uint64_t level, std::u16string_view text)
{
    size_t units = std::min(text.size(), kLiveLogLineUnits - 1);
    // Never leave half of a surrogate pair at the end of a cut line.
    if (units < text.size() && units > 0 && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF) --units;
    std::string frame;
    frame.reserve(kLiveLogFrameSize);
    put_le(frame, kLiveLogTag, 4);
    put_le(frame, level, 8);
    put_le(frame, kLiveLogLineBytes, 4);
    for (size_t i = 0; i < kLiveLogLineUnits; ++i) put_le(frame, i < units ? text[i] : 0, 2);
    return frame;
}

std::optional<LiveLogFrame> decode_live_log_frame(const void* data, size_t size)
{
    if (!data || size != kLiveLogFrameSize) return std::nullopt;
    const auto* p = static_cast<const unsigned char*>(data);
    LiveLogFrame f;
    f.tag = static_cast<uint32_t>(get_le(p, 4));
    f.level = get_le(p + 4, 8);
    f.byteCount = static_cast<uint32_t>(get_le(p + 12, 4));
    size_t units = std::min<size_t>(f.byteCount, kLiveLogLineBytes) / 2;
    for (size_t i = 0; i < units; ++i) {
        auto c = static_cast<char16_t>(get_le(p + 16 + 2 * i, 2));
        if (c == 0) break;
        f.text.push_back(c);
    }
    return f;
}

std::string live_log_runtime_dir()
{
    if (const char* d = std::getenv("FWUPG_RUNTIME_DIR"); d && *d) return d;
    if (const char* r = std::getenv("FWUPG_SYSTEM_ROOT"); r && *r) return root_path("run");
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return x;
    return "/tmp";
}

std::string live_log_socket_path(std::string_view windowClass, std::string_view title)
{
    // 64-bit FNV-1a over class, a separator that neither name contains, and title.
    uint64_t h = 0xcbf29ce484222325ULL;
    auto mix = [&h](std::string_view s) {
        for (unsigned char c : s) { h ^= c; h *= 0x100000001b3ULL; }
    };
    mix(windowClass);
    mix(std::string_view("\0", 1));
    mix(title);
    char name[40];
    std::snprintf(name, sizeof name, "livelog-%016llx.sock", static_cast<unsigned long long>(h));
    return live_log_runtime_dir() + "/" + name;
}

LiveLogSender::LiveLogSender(const std::string& socketPath)
{
    sockaddr_un addr;
    if (!make_address(socketPath, addr)) return;
    // Non-blocking throughout: a receiver whose queue is full must not hold the sender up.
    fd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) drop();
}

LiveLogSender::~LiveLogSender() { drop(); }

void LiveLogSender::drop()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void LiveLogSender::send(uint64_t level, std::u16string_view text)
{
    if (fd_ < 0) return;
    std::string frame = encode_live_log_frame(level, text);
    ssize_t n;
    for (;;) {
        n = ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0 || errno == EINTR) {
            if (n >= 0) break;
            continue;
        }
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_for(fd_, POLLOUT, kLiveLogAckTimeoutMs)) continue;
        return drop();
    }
    if (static_cast<size_t>(n) != frame.size()) return drop();
    if (!wait_for(fd_, POLLIN, kLiveLogAckTimeoutMs)) return drop();
    char ack;
    ssize_t r;
    do { r = recv(fd_, &ack, 1, MSG_DONTWAIT); } while (r < 0 && errno == EINTR);
    if (r != 1) drop();
}

LiveLogReceiver::LiveLogReceiver(const std::string& socketPath) : path_(socketPath)
{
    sockaddr_un addr;
    if (!make_address(path_, addr)) return;
    if (pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakeFds_[0] = wakeFds_[1] = -1;
        return;
    }
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    unlink(path_.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return;
    }
    listenFd_ = fd;
}

LiveLogReceiver::~LiveLogReceiver()
{
    stop();
    if (listenFd_ >= 0) {
        close(listenFd_);
        unlink(path_.c_str());
    }
    for (int fd : wakeFds_)
        if (fd >= 0) close(fd);
}

void LiveLogReceiver::start(Handler handler)
{
    if (thread_.joinable()) return;
    thread_ = std::thread([this, h = std::move(handler)] { run(h); });
}

void LiveLogReceiver::stop()
{
    stopping_ = true;
    if (wakeFds_[1] >= 0) {
        char b = 1;
        [[maybe_unused]] ssize_t r = write(wakeFds_[1], &b, 1);
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void LiveLogReceiver::run(const Handler& handler)
{
    if (listenFd_ < 0) return;
    std::vector<int> clients;
    std::vector<unsigned char> buf(kLiveLogFrameSize + 1);
    while (!stopping_) {
        std::vector<pollfd> fds{{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (int c : clients) fds.push_back({c, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        if (fds[1].revents & POLLIN) {
            int c = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) clients.push_back(c);
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            int c = fds[i].fd;
            ssize_t n = recv(c, buf.data(), buf.size(), 0);
            if (n <= 0) {
                close(c);
                std::erase(clients, c);
                continue;
            }
            if (auto frame = decode_live_log_frame(buf.data(), static_cast<size_t>(n))) handler(*frame);
            char ack = 1;
            ::send(c, &ack, 1, MSG_NOSIGNAL);
        }
    }
    for (int c : clients) close(c);
}

}  // namespace platform
