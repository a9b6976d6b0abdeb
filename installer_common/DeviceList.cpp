#include "installer_common/DeviceList.h"

#include <cstring>
#include <string_view>

#include "platform/guid.h"
#include "platform/setup_classes.h"
#include "platform/msvc_format.h"
#include "platform/win_error.h"
#include "platform/win_handle.h"

using namespace win;

namespace {

// The setup classes a per-class build walks, in this order.
constexpr std::string_view kWalkedClasses[] = {
    "SCSIAdapter", "Net", "hdc", "Display", "System", "Ports", "MultiFunction", "USB", "1394",
    "Adapter", "Computer", "fdc", "Infiniband", "MTD", "NoDriver", "Processor", "Unknown",
};
static_assert(std::size(kWalkedClasses) == 17);

constexpr DWORD kFindBufferBytes = 4096;

void UpperAscii(char16_t* s)
{
    for (; *s; ++s)
        if (*s >= u'a' && *s <= u'z') *s = char16_t(*s - u'a' + u'A');
}

char16_t* NewCopy(const char16_t* s)
{
    const size_t n = std::char_traits<char16_t>::length(s);
    auto* out = new char16_t[n + 1];
    std::memcpy(out, s, (n + 1) * sizeof(char16_t));
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// W2KDEVINST

W2KDEVINST::W2KDEVINST() = default;
W2KDEVINST::W2KDEVINST(const W2KDEVINST& other) = default;
W2KDEVINST& W2KDEVINST::operator=(const W2KDEVINST& other) = default;
W2KDEVINST::~W2KDEVINST() = default;

int W2KDEVINST::GetRegistryProperty(DWORD property, DWORD* type, BYTE* buffer, DWORD bytes, DWORD* required) const
{
    if (!m_set) return 0;
    auto device = m_device;
    return SetupDiGetDeviceRegistryPropertyW(m_set, &device, property, type, buffer, bytes, required);
}

unsigned W2KDEVINST::TestDriverFlags(unsigned mask) const { return m_set ? (m_installParams.Flags & mask) : 0; }

CStr W2KDEVINST::GetDriverVersionString() const
{
    if (!m_set) return CStr();
    const uint64_t v = m_driver.DriverVersion;
    return CStr(platform::format_msvc(u"%d.%d.%d.%d", int(v >> 48 & 0xFFFF), int(v >> 32 & 0xFFFF),
                                      int(v >> 16 & 0xFFFF), int(v & 0xFFFF)));
}

// ---------------------------------------------------------------------------------------------
// CWin2000DeviceList

CWin2000DeviceList::CWin2000DeviceList() = default;

CWin2000DeviceList::~CWin2000DeviceList()
{
    // Each device's driver list is released once, while its set still lives; then the sets.
    for (W2KDEVINST& d : m_devices)
        if (d.m_set) SetupDiDestroyDriverInfoList(d.m_set, &d.m_device, SPDIT_COMPATDRIVER);
    m_devices.clear();
    for (HDEVINFO set : m_sets)
        if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    m_sets.clear();
}

void CWin2000DeviceList::Build(int allClasses)
{
    if (allClasses) {
        AddClass(nullptr);
        return;
    }
    for (std::string_view name : kWalkedClasses) {
        const GUID guid = *platform::parse_guid(*platform::setup_class_guid(name));
        AddClass(&guid);
    }
}

void CWin2000DeviceList::AddClass(const GUID* classGuid)
{
    const HDEVINFO set = SetupDiGetClassDevsW(classGuid, nullptr, nullptr,
                                              classGuid ? DIGCF_PRESENT : DIGCF_PRESENT | DIGCF_ALLCLASSES);
    m_sets.push_back(set);
    for (DWORD index = 0;; ++index) {
        W2KDEVINST record;
        record.m_device.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!SetupDiEnumDeviceInfo(set, index, &record.m_device)) break;

        SP_DEVINSTALL_PARAMS_W params{};
        params.cbSize = sizeof params;
        bool listed = false;
        if (SetupDiGetDeviceInstallParamsW(set, &record.m_device, &params)) {
            // With this flag the compatible-driver list holds the installed driver only.
            params.FlagsEx |= DI_FLAGSEX_INSTALLEDDRIVER;
            SetupDiSetDeviceInstallParamsW(set, &record.m_device, &params);
            listed = SetupDiBuildDriverInfoList(set, &record.m_device, SPDIT_COMPATDRIVER);
        }
        record.m_driver.cbSize = sizeof(SP_DRVINFO_DATA_V2_W);
        if (listed && SetupDiEnumDriverInfoW(set, &record.m_device, SPDIT_COMPATDRIVER, 0, &record.m_driver)) {
            SP_DRVINSTALL_PARAMS install{};
            install.cbSize = sizeof install;
            if (SetupDiGetDriverInstallParamsW(set, &record.m_device, &record.m_driver, &install))
                record.m_installParams = install;
            SP_DRVINFO_DETAIL_DATA_W detail{};
            detail.cbSize = sizeof detail;
            DWORD required = 0;
            // The ids behind the fixed part do not fit the record: a too-small answer is fine.
            if (SetupDiGetDriverInfoDetailW(set, &record.m_device, &record.m_driver, &detail, sizeof detail, &required) ||
                GetLastError() == ERROR_INSUFFICIENT_BUFFER)
                record.m_detail = detail;
        } else {
            record.m_driver = SP_DRVINFO_DATA_V2_W{};
        }
        record.m_set = set;
        m_devices.push_back(record);
    }
}

size_t CWin2000DeviceList::GetCount() const { return m_devices.size(); }

W2KDEVINST* CWin2000DeviceList::GetDevice(size_t index) { return index < m_devices.size() ? &m_devices[index] : nullptr; }

int CWin2000DeviceList::GetHardwareIds(size_t index, BYTE* buffer, DWORD* bytesInOut)
{
    if (!bytesInOut || index >= m_devices.size()) return 0;
    const W2KDEVINST& d = m_devices[index];
    DWORD needed = 0;
    d.GetRegistryProperty(SPDRP_HARDWAREID, nullptr, nullptr, 0, &needed);
    if (buffer && *bytesInOut >= needed && d.GetRegistryProperty(SPDRP_HARDWAREID, nullptr, buffer, *bytesInOut, nullptr))
        return 1;
    *bytesInOut = needed;
    return 0;
}

char16_t** CWin2000DeviceList::FindHardwareId(const char16_t* id)
{
    if (!id) return nullptr;
    std::u16string wanted(id);
    UpperAscii(wanted.data());
    std::vector<char16_t*> found;
    for (size_t i = 0; i < m_devices.size(); ++i) {
        // One character more than the buffer so that the walk always ends at a NUL.
        char16_t ids[kFindBufferBytes / sizeof(char16_t) + 1] = {};
        DWORD bytes = kFindBufferBytes;
        if (!GetHardwareIds(i, reinterpret_cast<BYTE*>(ids), &bytes)) continue;
        const char16_t* match = nullptr;
        for (char16_t* p = ids; *p; p += std::char_traits<char16_t>::length(p) + 1) {
            UpperAscii(p);
            const std::u16string_view each(p);
            if (each.find(wanted) == std::u16string_view::npos) continue;
            if (!match) {
                if (each.find(u"&REV") == std::u16string_view::npos && each.find(u"&CC") == std::u16string_view::npos)
                    match = p;
            } else if (each.size() == wanted.size()) {
                match = p;
            }
        }
        if (match) found.push_back(NewCopy(match));
    }
    if (found.empty()) return nullptr;
    auto** out = new char16_t*[found.size() + 1];
    for (size_t i = 0; i < found.size(); ++i) out[i] = found[i];
    out[found.size()] = nullptr;
    return out;
}

void CWin2000DeviceList::FreeHardwareIdList(char16_t** list)
{
    if (!list) return;
    for (char16_t** p = list; *p; ++p) delete[] *p;
    delete[] list;
}

// ---------------------------------------------------------------------------------------------
// CDeviceHandle

CDeviceHandle::CDeviceHandle(const char16_t* devicePath)
    : m_handle(CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr))
{
}

CDeviceHandle::~CDeviceHandle() { Close(); }

bool CDeviceHandle::IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

HANDLE CDeviceHandle::GetHandle() const { return m_handle; }

void CDeviceHandle::Close()
{
    if (IsOpen()) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

int CDeviceHandle::IoControl(DWORD code, void* outBuffer, DWORD outBytes, void* inBuffer, DWORD inBytes)
{
    DWORD returned = 0;
    return IoControlEx(code, outBuffer, outBytes, inBuffer, inBytes, &returned);
}

int CDeviceHandle::IoControlEx(DWORD code, void* outBuffer, DWORD outBytes, void* inBuffer, DWORD inBytes,
                               DWORD* bytesReturned)
{
    const bool lockOut = outBuffer && VirtualLock(outBuffer, outBytes);
    const bool lockIn = inBuffer && inBuffer != outBuffer && VirtualLock(inBuffer, inBytes);
    DWORD returned = 0;
    const BOOL result = DeviceIoControl(m_handle, code, inBuffer, inBytes, outBuffer, outBytes, &returned, nullptr);
    if (lockIn) VirtualUnlock(inBuffer, inBytes);
    if (lockOut) VirtualUnlock(outBuffer, outBytes);
    if (bytesReturned) *bytesReturned = returned;
    return result;
}
