#include "platform/win_handle.h"

#include <mutex>
#include <unordered_map>

#include "platform/win_error.h"

namespace platform {
namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<HandleObject>> entries;
    uintptr_t next = 0x1000;  // never reused, so a closed handle stays invalid
};

Table& table()
{
    static Table* t = new Table;  // lives until exit: handles may be closed from static destructors
    return *t;
}

}  // namespace

win::HANDLE register_handle(std::shared_ptr<HandleObject> object)
{
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    uintptr_t h = t.next;
    t.next += 4;
    t.entries.emplace(h, std::move(object));
    return reinterpret_cast<win::HANDLE>(h);
}

std::shared_ptr<HandleObject> lookup_handle(win::HANDLE handle)
{
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.entries.find(reinterpret_cast<uintptr_t>(handle));
    return it == t.entries.end() ? nullptr : it->second;
}

}  // namespace platform

namespace win {

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<platform::HandleObject> object;
    {
        auto& t = platform::table();
        std::lock_guard<std::mutex> g(t.lock);
        auto it = t.entries.find(reinterpret_cast<uintptr_t>(handle));
        if (it == t.entries.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        t.entries.erase(it);
    }
    return TRUE;  // the object is released here, outside the table's lock
}

}  // namespace win
