// The library's small synchronisation classes: an abstract lockable object and a recursive
// critical section built on it.
#pragma once

#include <cstdint>
#include <mutex>

namespace fwupg {

class CSyncObject {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    CSyncObject() = default;
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;
    virtual ~CSyncObject();

    // Takes the object. A timeout of 0 only tries and returns false when the object is held
    // elsewhere; any other timeout waits until the object is free.
    virtual bool Lock(uint32_t timeout = kInfinite) = 0;
    virtual bool Unlock() = 0;
    // Writes the object's address range and members to the debug channel.
    virtual void Dump(const char* prefix) const;
    // True when another thread holds the object. Never blocks. (The owning thread can take a
    // recursive object again, so from there it reports false.)
    virtual bool IsLocked();

protected:
    void* m_hObject = nullptr;  // system handle; none is held on this platform
};

class CCriticalSection : public CSyncObject {
public:
    CCriticalSection() = default;
    ~CCriticalSection() override = default;

    bool Lock(uint32_t timeout = kInfinite) override;
    bool Unlock() override;
    void Dump(const char* prefix) const override;

private:
    std::recursive_mutex m_sect;
};

// Holds a CSyncObject for the lifetime of the guard.
class SyncLock {
public:
    explicit SyncLock(CSyncObject& object) : object_(object) { object_.Lock(); }
    ~SyncLock() { object_.Unlock(); }
    SyncLock(const SyncLock&) = delete;
    SyncLock& operator=(const SyncLock&) = delete;

private:
    CSyncObject& object_;
};

}  // namespace fwupg
