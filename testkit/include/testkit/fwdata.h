// The firmware data file "NICFWData.xml": root "nic_fw_package", one wrapper element per adapter
// model, each holding one "nic" element whose attributes name the model, its PCI ids and, per
// firmware component, the image version and the image file.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct NicFwModel {
  std::string name, venid, devid, subvenid, subdevid;  // ids as the key spells them ("168E")
  // Component attributes in any order, e.g. {"bootcode", "7.10.3"}, {"bcFile", "bc.bin"}.
  std::vector<std::pair<std::string, std::string>> components;
};

// The XML text. Attribute values are escaped; `root` may be changed to make a wrong file.
std::string nicfwdata_xml(const std::vector<NicFwModel>& models, const std::string& root = "nic_fw_package");

}  // namespace testkit
