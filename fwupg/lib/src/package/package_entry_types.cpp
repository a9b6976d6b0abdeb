// The entry types a package may carry, with the shell command that programs each.
#include "fwupg/fw_package.h"

namespace fwupg {

namespace {

constexpr uint32_t tag4(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return uint32_t(a) | uint32_t(b) << 8 | uint32_t(c) << 16 | uint32_t(d) << 24;
}

constexpr PackageEntryType kPackageEntryTypes[] = {
    {tag4(0, 'm', 'b', 'a'), "MBA", "upgrade -F -mba "},
    {tag4('m', 'f', 'w', '1'), "MFW", "upgrade -F -mfw "},
    {tag4(0, 'l', '2', 't'), "L2T", "upgrade -F -l2t "},
    {tag4(0, 'c', 'c', 'm'), "CCM", "upgrade -F -ccm "},
    {tag4(0, 0, 'i', 'b'), "IBOOT", "upgrade -F -ib_ipv4n6 "},
    {tag4(0, 'f', 'e', 'b'), "FBOOT", "upgrade -F -feb "},
    {tag4(0, 'p', 'h', 'y'), "PHY", "phy -upg "},
    {tag4('h', 'w', 'i', 't'), "INIT_HW", "upgrade -F -init_hw "},
    {tag4('m', 'e', 't', 'a'), "META", ""},
    {tag4('n', 'c', 'f', 'g'), "NVM_CFG", "update_cfg -F "},
    {tag4(0x80, 0x85, 'u', 'i'), "PK", "upgrade -F -pk "},
};

static_assert(tag4(0, 'm', 'b', 'a') == kPkgTagMba && tag4('m', 'f', 'w', '1') == kPkgTagMfw && tag4('m', 'e', 't', 'a') == kPkgTagMeta &&
              tag4('n', 'c', 'f', 'g') == kPkgTagNvmCfg && tag4(0x80, 0x85, 'u', 'i') == kPkgTagPk);

}  // namespace

const PackageEntryType* FindPackageEntryType(uint32_t tag)
{
    for (const PackageEntryType& t : kPackageEntryTypes)
        if (t.tag == tag) return &t;
    return nullptr;
}

}  // namespace fwupg
