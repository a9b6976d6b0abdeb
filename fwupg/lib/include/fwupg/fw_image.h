// Image-file checks: FwImage loads one firmware image file and decides whether it is an image of
// the kind asked for (Validate) and, in a second step, whether it suits the selected adapter (the
// device checks). Adapter facts come from ::toe and the selected adapter's records; NVRAM
// questions go through the engine facade with the object's own host record.
//
// Every read of the file is bounds-checked against its size: a file too short for what a check
// reads fails that check with the check's own code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/wrapped_record.h"

struct Tcl_Interp;

namespace fwupg {

// Image-type codes, as the shell maps its options to them.
enum ImageType : uint32_t {
    kImgBootCode = 0,   // no option
    kImgMba = 1,        // -mba
    kImgIpmi = 2,       // -ipmi
    kImgUmp = 3,        // -ump
    kImgNcsi = 4,       // -ncsi
    kImgIscsi = 5,      // -ib, -ib_ipv6, -ib_ipv4n6
    kImgFullNvm = 6,    // full NVRAM image
    kImgUpg = 7,        // -upg
    kImgL2t = 8,        // -l2t
    kImgMpn = 9,        // "-m_pn" in the format check
    kImgMfw = 10,       // -mfw1, -mfw
    kImgFeb = 11,       // -feb
    kImgVpd = 12,       // -vpd
    kImgNone = 13,      // nothing is loaded
    kImgCcm = 14,       // -ccm
    kImgMbi = 15,       // -mbi
    kImgInitHw = 16,    // -init_hw
    kImg17 = 17,
    kImgIscsiCfg = 18,  // -iscsi_cfg
    kImgFcoeCfg = 19,   // -fcoe_cfg
    kImgPk = 20,        // -pk
    kImgRecovery = 21,  // -recovery
    kImgMeta = 22,      // -meta
    kImgUnknown = 23,   // anything else
};

class FwImage {
public:
    FwImage(Tcl_Interp* interp, const char* path, uint32_t imageType, bool useCache);
    ~FwImage();
    FwImage(const FwImage&) = delete;
    FwImage& operator=(const FwImage&) = delete;

    bool valid() const { return valid_; }
    uint32_t error() const { return error_; }
    const char* path() const { return path_.c_str(); }
    uint32_t imageType() const { return imageType_; }
    // The loaded bytes (type 6: de-paged and with every dword byte-reversed) and their count, a
    // multiple of 4.
    const uint8_t* data() const { return data_; }
    uint32_t size() const { return size_; }

    bool Validate();
    // The NVRAM directory type the file would occupy on the selected adapter's family.
    bool isValidImageFormat(uint32_t* dirType);

    bool IsBootCodeForDevice();
    bool IsMfwForDevice();
    bool IsL2tForDevice();
    bool IsImageTypePresent();
    bool IsFullNvmImageForDevice();
    bool IsFebForDevice();
    bool IsNcsiForDevice();
    bool IsPhyImageForDevice(uint32_t devIndex);
    bool IsCcmForDevice();
    bool isMBIValidForDevice();
    bool ImagePresenceMatches();
    bool PhySettingsMatch();
    bool GetPackageVersion(uint32_t* version, uint32_t* date);

private:
    bool Load();
    bool PrepareFullImage();
    uint64_t LargestFile(uint32_t imageType) const;
    bool WithinBound(uint64_t fileSize) const;
    bool Fail(uint32_t code);

    // Bounded reads: false when the bytes lie outside the loaded data.
    bool Dword(size_t index, uint32_t* out) const;
    bool WordAt(uint64_t byteOffset, uint32_t* out) const;
    bool U16At(uint64_t byteOffset, uint16_t* out) const;
    bool HasMagic() const;
    uint32_t Tag() const;  // dword 2, 0 when the file is shorter

    bool MbaRomCheck() const;
    bool UmpCheck();
    struct NcsiScan {
        bool ok = false;
        bool newFormat = false;
        bool cm = false, lx = false, le = false;
    };
    NcsiScan ScanNcsi(uint32_t chipMask, bool anyMask) const;
    bool NcsiBundleCheck();
    bool FullImageCheck();
    bool LookupLegacyOption(const char* option, uint32_t* dirType);
    bool LookupByTag(uint32_t tag, uint32_t* dirType);
    bool LookupByOption(const char* option, uint32_t* dirType);
    bool IsPresent(uint32_t dirType);   // in the directory the family keeps it
    bool IsPresent4(uint32_t dirType);  // in the legacy-format directory
    bool DirectoryHolds(uint32_t dirType) const;  // in the loaded full image
    bool ImageIds(uint32_t* vid, uint32_t* did, uint32_t* svid, uint32_t* ssid, uint32_t* altDid);
    const uint8_t* ImageForEngine();
    HostOps Host() const;
    void SetFuncNum();
    std::string Toe(const char* name) const;
    uint32_t ToeInt(const char* name) const;

    std::string path_;
    bool valid_ = false;
    const uint8_t* data_ = nullptr;
    uint32_t size_ = 0;      // loaded bytes, a multiple of 4
    uint32_t fileSize_ = 0;  // bytes of the file itself
    Tcl_Interp* interp_;
    HostOps host_{};
    uint32_t imageType_;
    uint32_t error_ = 0;
    bool useCache_;
    std::vector<uint8_t> own_;  // the buffer when it is not the cache's
    std::shared_ptr<const std::vector<uint8_t>> cached_;  // the cache's buffer, while in use
};

}  // namespace fwupg

// Frees every cached image buffer and forgets every cached size.
void ClearFwImageCache();
