// The Device model: identity, report block and adapter information record (see device.h).
#include "fwupg/device.h"

#include <cstdio>
#include <cstring>

#include <platform/utf16.h>

#include "fwupg/adapter_tables.h"
#include "fwupg/debug_log.h"
#include "fwupg/nic_fw_data.h"
#include "fwupg/report_text.h"
#include "fwupg/yxmapi_client.h"

std::vector<Device> g_Devices;
std::vector<Device> g_AllDevices;
std::vector<Device> g_LeftOutDevices;

namespace fwupg {

std::u16string FourIdForm(uint32_t vid, uint32_t did, uint32_t svid, uint32_t ssid)
{
    char text[48];
    std::snprintf(text, sizeof text, "%04X.%04X.%04X.%04X", vid, did, svid, ssid);
    return platform::to_utf16(text);
}

}  // namespace fwupg

namespace {

std::string Hex(const char* format, uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

Device::Device(uint32_t hPhyNic, const yxmapi::PhyNicInfo& phy, const yxmapi::NicInfoEx& nic,
               const std::string& folder)
    : m_hPhyNic(hPhyNic), m_PhyNicInfo(phy), m_NicInfo(nic)
{
    SetId();
    InitFws(folder);
}

void Device::SetId()
{
    static const char* const kFn = "Device::Device";
    // The service name comes back as a narrow text of at most 519 bytes and its terminator.
    char service[520] = {};
    const uint32_t handle = m_PhyNicInfo.get(yxmapi::phy::kServiceNameHandle);
    const uint32_t status = fwupg::yx::GetServiceName(handle, service, sizeof service);
    service[sizeof service - 1] = '\0';
    LogDebugMsg(DBG_DEBUG, "%s():  uHandle = %d, Nic Type =%d,SrvName =%s ", kFn, static_cast<int>(handle),
                static_cast<int>(Family()), service);
    if (status != 0) {
        LogDebugMsg(DBG_DEBUG, "%s(): YXmapiGetServiceName() call in Device constructor failed return code = %lu\r\n",
                    kFn, static_cast<unsigned long>(status));
        m_ID = fwupg::FourIdForm(Vid(), Did(), Svid(), Ssid());
        return;
    }
    std::u16string name;
    if (fwupg::GetNICDisplayName(service, &name) == 0) {
        LogDebugMsg(DBG_DEBUG, "%s():  ethernetInterfaceName = %s ", kFn, platform::to_utf8(name).c_str());
        m_ID = name;
        LogDebugMsg(DBG_DEBUG, " m_ID = %s \n", platform::to_utf8(m_ID).c_str());
        return;
    }
    LogDebugMsg(DBG_DEBUG, "%s(): GetNICDisplayNameW2k() call in Device constructor failed !!! Return code = %lu\r\n",
                kFn, 0ul);
    m_ID = fwupg::FourIdForm(Vid(), Did(), Svid(), Ssid());
}

bool Device::IsDevice(uint32_t bus, uint32_t device, uint32_t function) const
{
    return bus == Bus() && device == DeviceNumber() && function == Function();
}

std::u16string Device::DataFileKey() const
{
    return fwupg::NicFwDataKey(Did(), Ssid());
}

std::string Device::NicType() const
{
    namespace p = yxmapi::phy;
    return fwupg::NicTypeName(m_PhyNicInfo.get(p::kVid), m_PhyNicInfo.get(p::kDid), m_PhyNicInfo.get(p::kSvid),
                              m_PhyNicInfo.get(p::kSsid));
}

std::string Device::ProductName() const
{
    if (g_bNicFwDataLoaded) {
        if (const NicFwData* data = fwupg::FindNicFwData(DataFileKey())) return platform::to_utf8((*data)[kNfName]);
    }
    return fwupg::GetOemProductName(Vid(), Did(), Svid(), Ssid());
}

bool Device::IsRebootRequiredForFwupg() const
{
    LogDebugMsg(DBG_DEBUG, "%s(): Checking for reboot operation if it is required or not.",
                "Device::IsRebootRequiredForFwupg");
    const uint32_t family = Family();
    if (family == yxmapi::kFamily57710 || family == yxmapi::kFamilyE4) return true;
    if (NicType() == "DOV5709") return true;
    return (m_NicInfo.get(yxmapi::nic::kCapabilities) & yxmapi::nic::kCapNeedsReboot) != 0;
}

std::string Device::ToXml() const
{
    using fwupg::AppendLeaf;
    std::string out;
    fwupg::AppendLine(&out, 4, "<device>");
    AppendLeaf(&out, 6, "device_id", platform::to_utf8(m_ID));
    AppendLeaf(&out, 6, "nictype", NicType());
    AppendLeaf(&out, 6, "venid", Hex("%04X", Vid()));
    AppendLeaf(&out, 6, "devid", Hex("%04X", Did()));
    AppendLeaf(&out, 6, "subvenid", Hex("%04X", Svid()));
    AppendLeaf(&out, 6, "subdevid", Hex("%04X", Ssid()));
    AppendLeaf(&out, 6, "product_id", ProductName());
    AppendLeaf(&out, 6, "segment", "0000");
    AppendLeaf(&out, 6, "busnumber", Hex("%04X", Bus()));
    AppendLeaf(&out, 6, "devicenumber", Hex("%04X", DeviceNumber()));
    AppendLeaf(&out, 6, "funcnumber", Hex("%04X", Function()));
    AppendLeaf(&out, 6, "slotnumber", Hex("%08X", m_PhyNicInfo.get(yxmapi::phy::kSlot)));
    AppendLeaf(&out, 6, "macaddress", m_PhyNicInfo.get(yxmapi::phy::kMac));
    for (const Firmware& fw : m_Firmwares) out += fw.ToXml();
    fwupg::AppendLine(&out, 4, "</device>");
    return out;
}

int Device::fillVendorAdaptInfo(VendorAdaptInfo* info) const
{
    // Wide texts are cut to the field's capacity less one and always terminated.
    platform::copy_utf16(platform::to_utf16(ProductName()), info->productName, std::size(info->productName));
    platform::copy_utf16(m_ID, info->deviceId, std::size(info->deviceId));
    info->vid = Vid();
    info->did = Did();
    info->svid = Svid();
    info->ssid = Ssid();
    info->segment = 0;
    info->bus = Bus();
    info->device = DeviceNumber();
    info->function = Function();
    platform::copy_utf16(platform::to_utf16(Hex("%08X", m_PhyNicInfo.get(yxmapi::phy::kSlot))), info->slot,
                         std::size(info->slot));
    platform::copy_utf16(platform::to_utf16(m_PhyNicInfo.get(yxmapi::phy::kMac)), info->mac, std::size(info->mac));
    const size_t count = m_Firmwares.size() < kMaxFwInfo ? m_Firmwares.size() : kMaxFwInfo;
    info->fwCount = static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; ++i) m_Firmwares[i].fillFirmwareInfo(&info->fw[i]);
    return 0;
}
