#include "fw_image_test_support.h"

#include <gtest/gtest.h>

#include "fwupg/bkv9_helper.h"
#include "fwupg/selected_nic.h"

namespace imgtest {

int FacadeDouble::Unexpected(int slot)
{
    ADD_FAILURE() << "the image checks called facade slot " << slot;
    return -1;
}

int FacadeDouble::find_dir_entry(HostOps, uint32_t dirType, int32_t* index)
{
    Count(26);
    if (!legacyDir.count(dirType)) return -1;
    *index = 0;
    return 0;
}

int FacadeDouble::has_ext_dir_image(HostOps, uint32_t dirType, int32_t* out)
{
    Count(27);
    *out = extDir.count(dirType) ? 0 : -1;
    return *out;
}

int FacadeDouble::file_size(const char* path, uint32_t* size)
{
    Count(43);
    return GetFwUpgKv9Instance()->file_size(path, size);
}

int FacadeDouble::read_file(HostOps ops, const char* path, uint8_t* buffer, uint32_t count, uint32_t* countRead)
{
    Count(44);
    return GetFwUpgKv9Instance()->read_file(ops, path, buffer, count, countRead);
}

char* FacadeDouble::image_version_string(HostOps ops, const uint8_t* image, uint32_t imageLen, uint32_t nvmOffset,
                                         const char* name, char* text, size_t textSize)
{
    Count(46);
    return GetFwUpgKv9Instance()->image_version_string(ops, image, imageLen, nvmOffset, name, text, textSize);
}

long FacadeDouble::nvm_size(HostOps ops)
{
    Count(47);
    return GetFwUpgKv9Instance()->nvm_size(ops);
}

int FacadeDouble::lookup_image_type(HostOps ops, const char* option, uint32_t tag, uint32_t* dirType)
{
    Count(48);
    return GetFwUpgKv9Instance()->lookup_image_type(ops, option, tag, dirType);
}

int FacadeDouble::get_port_cfg_word(HostOps, uint32_t selector, const uint8_t*, uint32_t* value)
{
    Count(53);
    auto it = portCfgWords.find(selector);
    if (it == portCfgWords.end()) return -1;
    *value = it->second;
    return 0;
}

int FacadeDouble::get_port_cfg_word_offset(HostOps, uint32_t, uint32_t* offset)
{
    Count(54);
    if (portCfgOffsetFails) return -1;
    *offset = portCfgOffset;
    return 0;
}

ImageCheckWorld::ImageCheckWorld()
{
    interp = Tcl_CreateInterp();
    previous_ = gpIFwUpgKv9;
    gpIFwUpgKv9 = &facade;
    Select(Adapter{});
}

ImageCheckWorld::~ImageCheckWorld()
{
    gpIFwUpgKv9 = previous_;
    g_Bkv9Helper.SetImageFileName("");
    Tcl_DeleteInterp(interp);
}

void ImageCheckWorld::Select(const Adapter& a)
{
    yxmapi::PhyNicInfo phy;
    yxmapi::NicInfoEx info;
    phy.prepare(yxmapi::kPhyNicInfoVersion);
    info.prepare(yxmapi::kNicInfoExVersion);
    phy.set(yxmapi::phy::kFamily, a.family);
    phy.set(yxmapi::phy::kChipId, a.chipId);
    phy.set(yxmapi::phy::kVid, a.vid);
    phy.set(yxmapi::phy::kDid, a.did);
    phy.set(yxmapi::phy::kSvid, a.svid);
    phy.set(yxmapi::phy::kSsid, a.ssid);
    phy.set(yxmapi::phy::kPciFunction, a.function);
    info.set(yxmapi::nic::kPort, a.port);
    info.set(yxmapi::nic::kFlashWord, a.nvmSize);
    info.set(yxmapi::nic::kExtPhyId1, a.extPhy1);
    info.set(yxmapi::nic::kExtPhyId2, a.extPhy2);
    fwupg::SelectNic(phy, info);

    auto setInt = [this](const char* name, long v) {
        Tcl_SetVar2Ex(interp, "::toe", name, Tcl_NewLongObj(v), TCL_GLOBAL_ONLY);
    };
    setInt("DEV", 0);
    setInt("NVM_SIZE", a.nvmSize);
    setInt("CHIP_NUM", a.chipId >> 12);
    setInt("VID", a.vid);
    setInt("DID", a.did);
    setInt("SVID", a.svid);
    setInt("SSID", a.ssid);
    Tcl_SetVar2(interp, "::toe", "FUNC_NUM", std::to_string(a.function).c_str(), TCL_GLOBAL_ONLY);
    Tcl_SetVar2(interp, "::toe", "PHY_TYPE", a.phyType.c_str(), TCL_GLOBAL_ONLY);
}

std::string ImageCheckWorld::File(const testkit::Bytes& bytes, const std::string& name)
{
    testkit::write_file(dir / name, bytes);
    return dir / name;
}

void ImageCheckWorld::UseNvram(const testkit::Bytes& nvram)
{
    ASSERT_TRUE(g_Bkv9Helper.SetImageFileName(File(nvram, "nvram.img")));
}

}  // namespace imgtest
