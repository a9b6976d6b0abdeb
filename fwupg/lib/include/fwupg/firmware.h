// Firmware items of an adapter: one per kind of firmware the adapter runs or the firmware folder
// can supply, with the running version, the chosen image file, its version and the action an
// update would take.
#pragma once

#include <cstdint>
#include <string>

#include "fwupg/nic_fw_data.h"
#include "fwupg/oem_interface.h"

// Firmware type indexes.
enum FwTypeIndex : int {
    kFwBootcode = 0, kFwPxe = 1, kFwIscsi = 2, kFwUmp = 3, kFwIpmi = 4, kFwNcsi = 5, kFwAsf = 6, kFwDash = 7,
    kFwL2 = 8, kFwFcoe = 9, kFwMfw = 10, kFwSmash = 11, kFwCcm = 12, kFwMbi = 13, kFwPhy = 14,
};
constexpr int kFwTypeCount = 15;
// The image-type code that matches no image.
constexpr uint32_t kImageTypeNone = 23;

// The type name of an index ("" above 14).
const char* FwTypeName(int type);
// The index of a type name as the report writes it ("MBI", "PHY", ...); -1 for any other text.
int FwTypeOfName(const std::string& name);
// The engine image-type code of an index (23 for ASF, DASH, SMASH and anything out of range).
uint32_t MapImageTypeCode(int type);

// Set while a device's firmware list is built when its MBI version cannot be trusted: the next
// item takes the action "upgrade" and clears it.
extern bool g_bForceUpgradeAction;

class Firmware {
public:
    // The image file, image version and action are kept only when the file or the action is not
    // empty. Texts are UTF-8.
    Firmware(int type, const std::string& activeVersion, const std::string& imageFile,
             const std::string& imageVersion, const std::string& action);

    // One "fw_item" block of the discovery report.
    std::string ToXml() const;
    int fillFirmwareInfo(FwInfo* info) const;

    int m_Type;
    std::string m_TypeName;
    std::string m_Reserved;
    std::string m_ImageFile;
    std::string m_ImageVersion;
    std::string m_ActiveVersion;
    std::string m_Action;

private:
    // The file as the report and the information record show it: as stored while the firmware
    // data file is loaded, else the part after the last "/".
    std::string ShownFile() const;
};
