// The adapter model: one Device per kept PCI function of a supported adapter, built by discovery
// from the management library's records, with its identifier and its firmware items; and the two
// process-wide lists the exports work from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <yxmapi/yxmapi.h>

#include "fwupg/firmware.h"
#include "fwupg/oem_interface.h"

class Device {
public:
    // Copies the records, sets the identifier and builds the firmware list from `folder`.
    Device(uint32_t hPhyNic, const yxmapi::PhyNicInfo& phy, const yxmapi::NicInfoEx& nic, const std::string& folder);

    bool IsDevice(uint32_t bus, uint32_t device, uint32_t function) const;
    bool IsDevice(const std::u16string& id) const { return m_ID == id; }

    // One "device" block of the discovery report.
    std::string ToXml() const;
    // Chip name from the NIC type table, else "Unknown".
    std::string NicType() const;
    // Product name: the data file's name of the model while it is loaded, else the OEM table's.
    std::string ProductName() const;
    bool IsRebootRequiredForFwupg() const;
    int fillVendorAdaptInfo(VendorAdaptInfo* info) const;

    // Image selection: whether a file holds an image of a type that fits this adapter, whether the
    // folder holds an MBI or PHY image for it, the first file of the folder that fits a type.
    bool IsCompatible(const std::string& file, int type) const;
    bool IsCompatible(const std::string& file) const;
    bool IsValidDeviceForMBIorPHYImgFile(const std::string& folder) const;
    bool HasCompatibleImageForDevice(const std::string& folder, int type, std::string* file) const;
    bool GetImageVersion(int type, const std::string& file, std::string* version) const;
    // The file (or, with `wantVersion`, the version) attribute of a data file entry for an
    // image-type code; empty when there is none.
    static std::string GetFirmwareFileByType(const std::u16string& key, uint32_t imageCode, bool wantVersion);

    uint32_t Family() const { return m_PhyNicInfo.get(yxmapi::phy::kFamily); }
    uint32_t ApiHandle() const { return m_PhyNicInfo.get(yxmapi::phy::kApiHandle); }
    uint32_t Vid() const { return m_NicInfo.get(yxmapi::nic::kVid); }
    uint32_t Did() const { return m_NicInfo.get(yxmapi::nic::kDid); }
    uint32_t Svid() const { return m_NicInfo.get(yxmapi::nic::kSvid); }
    uint32_t Ssid() const { return m_NicInfo.get(yxmapi::nic::kSsid); }
    uint32_t Bus() const { return m_NicInfo.get(yxmapi::nic::kBus); }
    uint32_t DeviceNumber() const { return m_NicInfo.get(yxmapi::nic::kDevice); }
    uint32_t Function() const { return m_NicInfo.get(yxmapi::nic::kFunction); }
    std::u16string DataFileKey() const;

    uint32_t m_hPhyNic;
    yxmapi::PhyNicInfo m_PhyNicInfo;
    yxmapi::NicInfoEx m_NicInfo;
    std::u16string m_ID;
    std::vector<Firmware> m_Firmwares;
    bool m_bCcmPending = false;

private:
    void SetId();
    void InitFws(const std::string& folder);
    void AddMbiAndPhy(const std::string& folder, std::vector<std::string>* candidates, const std::string& mbiVersion,
                      const std::string& mbaText, const std::string& phyText, const yxmapi::FwInfoType5* info5);
    void AddFirmware(int type, const std::string& activeVersion, std::vector<std::string>* candidates,
                     std::string* imageFile);
    // Publishes this adapter as the selected one for an image check.
    void Publish() const;
};

// Usable adapters (PCI function 0 with a fitting MBI or PHY image, or any in dump mode) and every
// kept function.
extern std::vector<Device> g_Devices;
extern std::vector<Device> g_AllDevices;
// Function 0 of every board of a supported family and of the OEM table that discovery left out:
// no image of the folder fits it, or the firmware data file does not list its model. Nothing is
// ever written to these; an update from a report only tells their items why.
extern std::vector<Device> g_LeftOutDevices;

namespace fwupg {
// The four-identifier form of an adapter's id: "%04X.%04X.%04X.%04X" of VID, DID, SVID, SSID.
std::u16string FourIdForm(uint32_t vid, uint32_t did, uint32_t svid, uint32_t ssid);
// The display name of an adapter's network connection from its driver service name, read from
// the registry value "Name" of "...\{4D36E972-...}\<service>\Connection" (at most 130 characters).
// 0, or the status of the failing step.
uint32_t GetNICDisplayName(const std::string& service, std::u16string* name);
}  // namespace fwupg
