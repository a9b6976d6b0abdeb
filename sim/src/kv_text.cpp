#include "kv_text.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/state_file.h"
#include "sim/adapter_builder.h"

namespace sim {

std::string hex32(uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

std::optional<std::string> read_file(const std::string& path) { return platform::read_file(path); }

void write_file_atomic(const std::string& path, std::string_view content)
{
    std::string tmp = path + ".tmp" + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw BuildError("cannot create " + tmp);
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(tmp.c_str());
            throw BuildError("cannot write " + tmp);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw BuildError("cannot replace " + path);
    }
}

bool pread_all(int fd, void* buf, std::size_t len, uint64_t offset)
{
    auto* p = static_cast<unsigned char*>(buf);
    std::size_t done = 0;
    while (done < len) {
        ssize_t n = ::pread(fd, p + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool pwrite_all(int fd, const void* buf, std::size_t len, uint64_t offset)
{
    const auto* p = static_cast<const unsigned char*>(buf);
    std::size_t done = 0;
    while (done < len) {
        ssize_t n = ::pwrite(fd, p + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace sim
