#include "fwupg/file_cache.h"

#include <algorithm>
#include <map>
#include <new>

namespace fwupg {

namespace {

std::map<std::string, CachedFile> g_Files;
bool g_Open = false;

bool same_time(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

bool FileIdentity::operator==(const FileIdentity& o) const
{
    return device == o.device && inode == o.inode && size == o.size && same_time(modified, o.modified) &&
           same_time(changed, o.changed);
}

std::optional<FileIdentity> IdentifyFile(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

const CachedFile* FindCachedFile(const std::string& path)
{
    if (!g_Open) return nullptr;
    auto it = g_Files.find(path);
    if (it == g_Files.end()) return nullptr;
    const std::optional<FileIdentity> now = IdentifyFile(path);
    if (!now || !(*now == it->second.identity)) {
        g_Files.erase(it);
        return nullptr;
    }
    return &it->second;
}

const CachedFile* KeepCachedFile(const std::string& path, const FileIdentity& before, uint32_t size,
                                 std::vector<uint8_t>& buffer)
{
    if (!g_Open) return nullptr;
    const std::optional<FileIdentity> after = IdentifyFile(path);
    if (!after || !(*after == before) || buffer.size() < size) return nullptr;
    try {
        buffer.resize(((uint64_t(size) + 3) & ~uint64_t(3)) + 4, 0);
        std::fill(buffer.begin() + size, buffer.end(), uint8_t{0});
        // Both allocations before the bytes move: a failure leaves the caller its buffer.
        auto shared = std::make_shared<std::vector<uint8_t>>();
        CachedFile& slot = g_Files[path];
        shared->swap(buffer);
        slot.size = size;
        slot.buffer = std::move(shared);
        slot.identity = before;
        return &slot;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool ReadCachedFile(const std::string& path, uint8_t* buffer, uint32_t length, uint32_t* count)
{
    const CachedFile* c = FindCachedFile(path);
    if (!c || (!buffer && length)) return false;
    const uint32_t n = std::min(length, c->size);
    std::copy_n(c->buffer->begin(), n, buffer);
    if (count) *count = n;
    return true;
}

void KeepFileRead(const std::string& path, const FileIdentity& before, const uint8_t* bytes, uint32_t count)
{
    if (!g_Open || !bytes || off_t(count) != before.size) return;
    try {
        std::vector<uint8_t> copy(bytes, bytes + count);
        KeepCachedFile(path, before, count, copy);
    } catch (const std::bad_alloc&) {
        // Not kept: the next read goes to the file again.
    }
}

void ForgetCachedFile(const std::string& path) { g_Files.erase(path); }

void OpenFileCache() { g_Open = true; }

void CloseFileCache()
{
    g_Files.clear();
    g_Open = false;
}

}  // namespace fwupg
