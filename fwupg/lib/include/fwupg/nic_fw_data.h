// The firmware data file "NICFWData.xml" of a firmware folder: for each adapter model it names the
// product, the PCI ids and, per firmware component, the image version and the image file. Read
// once into a process-wide map keyed by "devid-subdevid" as the file spells them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

typedef struct _xmlNode xmlNode;

// Attributes of a "nic" element, in record order.
enum NicFwField : size_t {
    kNfName, kNfVenid, kNfDevid, kNfSubvenid, kNfSubdevid,
    kNfBootcode, kNfBcFile, kNfPxe, kNfPxeFile, kNfIpmi, kNfIpmiFile, kNfUmp, kNfUmpFile,
    kNfClp, kNfClpFile, kNfIscsi, kNfIscsiFile, kNfNcsi, kNfNcsiFile, kNfFcoe, kNfFcoeFile,
    kNfUefi, kNfUefiFile, kNfCcm, kNfCcmFile, kNfL2, kNfL2File, kNfMbi, kNfMbiFile, kNfPhy, kNfPhyFile,
    kNicFwFieldCount
};
static_assert(kNicFwFieldCount == 31);

// The attribute name of each field.
extern const char* const kNicFwAttributeNames[kNicFwFieldCount];

// One adapter model of the data file: 31 wide texts, empty when the attribute is absent.
struct NicFwData {
    std::array<std::u16string, kNicFwFieldCount> field;
    const std::u16string& operator[](NicFwField f) const { return field[f]; }
};

// Process-wide: the models read so far (first record of a key wins) and whether a file was read.
extern std::map<std::u16string, NicFwData> g_NicFwDataMap;
extern bool g_bNicFwDataLoaded;

// Reads "<folder>/NICFWData.xml" into the map: 0; 11 when the file is missing, has no root or a
// root other than "nic_fw_package"; 107 when it is not well-formed. On failure the map and the
// flag stay as they were.
uint32_t do_discover_with_zkfwdata(const char* folder);
bool IsNicFwDataLoaded();

// The 31 attributes of the first "nic" child element of `node`; nothing when it has none.
std::optional<NicFwData> ReadNicFwDataNode(xmlNode* node);

namespace fwupg {

// The lookup key of an adapter: "%04X-%04X" of its device id and subsystem device id.
std::u16string NicFwDataKey(uint32_t did, uint32_t ssid);
// The model of an adapter, or null when the map has none.
const NicFwData* FindNicFwData(uint32_t did, uint32_t ssid);
const NicFwData* FindNicFwData(const std::u16string& key);

// Forgets every model and clears the loaded flag (tests run several files in one process).
void ResetNicFwDataForTest();

}  // namespace fwupg
