// Fuzz target of the image-file checks. The first input byte picks the image type and the adapter
// family; the rest is the image file, checked through the real facade and engines.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include <tcl.h>

#include "fwupg/fw_image.h"
#include "fwupg/selected_nic.h"

namespace {

std::string g_folder;
Tcl_Interp* g_interp = nullptr;

void Cleanup()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

void Setup()
{
    if (g_interp) return;
    char tmpl[] = "/tmp/fwupg_fuzz_imgXXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    g_folder = tmpl;
    std::atexit(Cleanup);
    Tcl_FindExecutable(nullptr);
    g_interp = Tcl_CreateInterp();
}

void SelectAdapter(uint32_t family)
{
    yxmapi::PhyNicInfo phy;
    yxmapi::NicInfoEx info;
    phy.prepare(yxmapi::kPhyNicInfoVersion);
    info.prepare(yxmapi::kNicInfoExVersion);
    const uint32_t did = family == 4 ? 0x1639 : 0x168E;
    phy.set(yxmapi::phy::kFamily, family);
    phy.set(yxmapi::phy::kChipId, family == 6 ? 0x16570000u : (family == 4 ? 0x5709u : did) << 12);
    phy.set(yxmapi::phy::kVid, 0x14E4);
    phy.set(yxmapi::phy::kDid, did);
    phy.set(yxmapi::phy::kSvid, 0x103C);
    phy.set(yxmapi::phy::kSsid, 0x1917);
    info.set(yxmapi::nic::kFlashWord, 0x40000);
    fwupg::SelectNic(phy, info);
    const char* ints[][2] = {{"DEV", "0"}, {"NVM_SIZE", "262144"}, {"VID", "5348"}, {"DID", family == 4 ? "5689" : "5774"},
                             {"SVID", "4156"}, {"SSID", "6423"}, {"FUNC_NUM", "0"}, {"PHY_TYPE", "COPPER"}};
    for (auto& kv : ints) Tcl_SetVar2(g_interp, "::toe", kv[0], kv[1], TCL_GLOBAL_ONLY);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    Setup();
    const uint32_t type = data[0] % 24;
    const uint32_t family = 4 + (data[0] / 24) % 3;
    SelectAdapter(family);

    const std::string path = g_folder + "/image.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    fwupg::FwImage image(g_interp, path.c_str(), type, (data[0] & 0x80) != 0);
    if (type != fwupg::kImgUnknown && type != fwupg::kImgNone) {
        uint32_t dirType = 0, version = 0, date = 0;
        image.isValidImageFormat(&dirType);
        image.IsBootCodeForDevice();
        image.IsMfwForDevice();
        image.IsPhyImageForDevice(0);
        image.GetPackageVersion(&version, &date);
    }
    ClearFwImageCache();
    return 0;
}
