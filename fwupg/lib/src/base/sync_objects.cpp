#include "fwupg/sync_objects.h"

#include "platform/debug_channel.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fwupg {

namespace {

void dump_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void dump_line(const char* fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    platform::debug_channel().output(std::string_view(line, std::min<size_t>(n, sizeof line - 1)));
}

uintptr_t end_of(const void* p, size_t size) { return reinterpret_cast<uintptr_t>(p) + size; }

}  // namespace

CSyncObject::~CSyncObject()
{
    // No system handle is ever opened here; the field only mirrors the object's layout.
    m_hObject = nullptr;
}

void CSyncObject::Dump(const char* prefix) const
{
    char name[256];
    std::snprintf(name, sizeof name, "%s::%s", prefix ? prefix : "", "CSyncObject");
    dump_line("%s at address[%p - 0x%lx]\r\n", name, static_cast<const void*>(this),
              static_cast<unsigned long>(end_of(this, sizeof(CSyncObject))));
    dump_line("%s.%s(%lu) at address[%p - 0x%lx].\r\n", name, "m_hObject",
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(m_hObject)),
              static_cast<const void*>(&m_hObject),
              static_cast<unsigned long>(end_of(&m_hObject, sizeof m_hObject)));
}

bool CSyncObject::IsLocked()
{
    if (!Lock(0)) return true;
    Unlock();
    return false;
}

bool CCriticalSection::Lock(uint32_t timeout)
{
    if (timeout == 0) return m_sect.try_lock();
    m_sect.lock();
    return true;
}

bool CCriticalSection::Unlock()
{
    m_sect.unlock();
    return true;
}

void CCriticalSection::Dump(const char* prefix) const
{
    char name[256];
    std::snprintf(name, sizeof name, "%s::%s", prefix ? prefix : "", "CCriticalSection");
    dump_line("%s at address[%p - 0x%lx]\r\n", name, static_cast<const void*>(this),
              static_cast<unsigned long>(end_of(this, sizeof(CCriticalSection))));
    CSyncObject::Dump(name);
    dump_line("%s.%s at address[%p - 0x%lx].\r\n", name, "m_sect", static_cast<const void*>(&m_sect),
              static_cast<unsigned long>(end_of(&m_sect, sizeof m_sect)));
}

}  // namespace fwupg
