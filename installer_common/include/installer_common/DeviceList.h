// Present devices with their installed drivers, through the device installer: W2KDEVINST is one
// device, CWin2000DeviceList the list built over the setup classes, CDeviceHandle an opened
// device path.
#pragma once

#include <cstddef>
#include <vector>

#include "installer_common/CStr.h"
#include "platform/win_file.h"
#include "platform/win_setupapi.h"

// One present device. A value: copies share the set handle. The driver list that the device
// installer keeps for the device belongs to the list that built the record (it releases it
// before it destroys the set), never to a record, so copies may outlive the list safely.
class W2KDEVINST {
public:
    W2KDEVINST();
    W2KDEVINST(const W2KDEVINST& other);
    W2KDEVINST& operator=(const W2KDEVINST& other);
    virtual ~W2KDEVINST();

    // The device installer's registry property of the device; 0 without a set handle.
    int GetRegistryProperty(win::DWORD property, win::DWORD* type, win::BYTE* buffer, win::DWORD bytes,
                            win::DWORD* required) const;
    // The installed driver's install flags AND mask; 0 without a set handle or driver.
    unsigned TestDriverFlags(unsigned mask) const;
    // The installed driver's version as "a.b.c.d"; empty without a set handle.
    CStr GetDriverVersionString() const;

    win::HDEVINFO m_set = nullptr;
    win::SP_DEVINFO_DATA m_device{};
    win::SP_DRVINFO_DATA_V2_W m_driver{};
    win::SP_DRVINFO_DETAIL_DATA_W m_detail{};
    win::SP_DRVINSTALL_PARAMS m_installParams{};
};

class CWin2000DeviceList {
public:
    CWin2000DeviceList();
    virtual ~CWin2000DeviceList();
    CWin2000DeviceList(const CWin2000DeviceList&) = delete;
    CWin2000DeviceList& operator=(const CWin2000DeviceList&) = delete;

    // All classes at once, or one pass per class of the setup class table. Appends: a second
    // Build lists every device again.
    void Build(int allClasses);
    void AddClass(const win::GUID* classGuid);
    size_t GetCount() const;
    // Null when index >= count; valid until the list changes.
    W2KDEVINST* GetDevice(size_t index);
    // The hardware-id multi-string in bytes: asks the size first; 1 when the buffer held it, else
    // 0 with the size needed stored (0 and nothing stored for a null size or a bad index).
    int GetHardwareIds(size_t index, win::BYTE* buffer, win::DWORD* bytesInOut);
    // One matching id per device (ids without &REV and &CC first, an exact-length one preferred),
    // as a null-terminated array of new strings; null when nothing matches.
    char16_t** FindHardwareId(const char16_t* id);
    static void FreeHardwareIdList(char16_t** list);

private:
    std::vector<win::HDEVINFO> m_sets;
    std::vector<W2KDEVINST> m_devices;
};

class CDeviceHandle {
public:
    explicit CDeviceHandle(const char16_t* devicePath);
    virtual ~CDeviceHandle();
    CDeviceHandle(const CDeviceHandle&) = delete;
    CDeviceHandle& operator=(const CDeviceHandle&) = delete;

    bool IsOpen() const;
    win::HANDLE GetHandle() const;
    void Close();
    // Output buffer first, then input.
    int IoControl(win::DWORD code, void* outBuffer, win::DWORD outBytes, void* inBuffer, win::DWORD inBytes);
    int IoControlEx(win::DWORD code, void* outBuffer, win::DWORD outBytes, void* inBuffer, win::DWORD inBytes,
                    win::DWORD* bytesReturned);

private:
    win::HANDLE m_handle;
};
