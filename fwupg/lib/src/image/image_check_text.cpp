// What each error code of the image checks says about a file, for the debug log.
#include "fwupg/image_check_codes.h"

namespace fwupg::imgcode {

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

constexpr CodeText kTexts[] = {
    {kFileRead, "the file cannot be sized or read"},
    {kChipMask, "its chip mask excludes this chip, or the package has no row for this board"},
    {kNvmSize, "its size does not fit this adapter's NVRAM"},
    {kPciIds, "its PCI ids differ from the adapter's"},
    {kUnknownFormat, "its format is not known for this family"},
    {kNotOnAdapter, "the adapter does not hold this kind of image"},
    {kNoMemory, "no memory to load it"},
    {kHeaderVersion, "its record header version is unknown"},
    {kMedia, "its media or PHY does not match"},
    {kWrongFamily, "it is for another family"},
    {kNoSuchFile, "the file does not exist"},
    {kNotIscsiOrL2t, "it is not an iSCSI boot or L2T image"},
    {kNotUmp, "it is not a UMP image"},
    {kNotMba, "it is not a boot-agent ROM, or a ROM chain or byte sum in it is broken"},
    {kNotBootOrMfw, "it is not a boot-code or MFW image"},
    {kNotIpmi, "it is not an IPMI image"},
    {kNotFullImage, "it is not a full NVRAM image"},
    {kUnknownOption, "it is not a package, or its kind is unknown"},
    {kNcsiIncomplete, "its NCSI bundle is incomplete"},
    {kNotPhy, "it is not a PHY image for this adapter's PHY"},
    {kNotL2t, "it is not an L2T image"},
    {kNotFcoe, "it is not an FCoE boot image"},
    {kNotCcm, "it is not a CCM image"},
    {kBadPackage, "the package is invalid or for another family"},
    {kPackageLayout, "the package's header or layout does not add up (cut, or an image outside the file)"},
};

}  // namespace

const char* Text(uint32_t code)
{
    for (const CodeText& row : kTexts)
        if (row.code == code) return row.text;
    return "the check refused it";
}

}  // namespace fwupg::imgcode
