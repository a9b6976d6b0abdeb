// The E1-E3 image-type table and its lookups.
#include "fwupg/nvm/e123/image_table.h"

#include "fwupg/engine_procs.h"

#include <cstring>
#include <iterator>

extern "C" const nvm_image_row g_image_table[] = {
    {0, "BC1", "-bc1", 0x02000000, 0xF0000000, 0x31636200},
    {1, "BC2", "-bc2", 0x02000000, 0x00000000, 0x32636200},
    {2, "MBA", "-mba", 0x01000000, 0x10000000, 0x61626D00},
    {3, "NCSI_CMN", "-ncsi", 0x02000000, 0x20000000, 0x6D63636E},
    {4, "NCSI_ELIB", "", 0x02000000, 0x60000000, 0x656C636E},
    {5, "L2T", "-l2t", 0x03000000, 0x70000000, 0x74326C00},
    {6, "L2C", "-l2c", 0x04000000, 0x80000000, 0x63326C00},
    {7, "L2X", "-l2x", 0x05000000, 0x90000000, 0x78326C00},
    {8, "L2U", "-l2u", 0x06000000, 0xA0000000, 0x75326C00},
    {9, "IPMI", "-ipmi", 0x02000000, 0x40000000, 0x696D7069},
    {10, "MODULES_PN", "-m_pn", 0x01000000, 0x30000000, 0x706D7500},
    {11, "ISCSI_B", "-ib", 0x01000000, 0xD0000000, 0x62690000},
    {12, "I_B_CFG", "", 0x01000000, 0xC0000000, 0x63626900},
    {13, "I_B_CFG2", "", 0x01000000, 0x50000000, 0x63626900},
    {14, "I_B_CPRG", "-ibpe", 0x01000000, 0xB0000000, 0x65706269},
    {15, "FCOE_B", "-feb", 0x01000000, 0x20000001, 0x62656600},
    {16, "FEB_CFG", "", 0x01000000, 0x10000001, 0x63626566},
    {17, "FEB_CFG2", "", 0x01000000, 0x30000001, 0x63626566},
    {18, "FEB_CFG3", "", 0x01000000, 0x60000001, 0x63626566},
    {19, "FEB_CFG4", "", 0x01000000, 0x70000001, 0x63626566},
    {20, "FEB_CPRG", "", 0x01000000, 0x40000001, 0x65706266},
    {21, "NIC_PRTION", "-nicp", 0x01000000, 0x50000001, 0x7063696E},
    {22, "VPD", "-vpd", 0x01000000, 0xA0000001, 0x44505600},
    {23, "E3_WC", "", 0x07000000, 0xB0000001, 0x63773365},
    {24, "E3_PCIE", "", 0x08000000, 0xC0000001, 0x65703365},
    {25, "NIV", "-niv", 0x01000000, 0xD0000001, 0x6E69760A},
    {26, "NIVPROFILES", "-nivprofiles", 0x01000000, 0xD0000003, 0x6E6976BB},
    {27, "BOOT_CFG_SHADOW", "-bootsh", 0x01000000, 0x10800001, 0x6363CACA},
    {28, "CFG_SHARED", "-cfg_extended_shared", 0x02000000, 0xE0000003, 0x73686172},
    {29, "I_B_CFG3", "", 0x01000000, 0x80000001, 0x63626900},
    {30, "I_B_CFG4", "", 0x01000000, 0x90000001, 0x63626900},
    {31, "MFW1", "", 0x02000000, 0x20000003, 0x3177666D},
    {32, "MFW2", "", 0x02000000, 0x30000003, 0x3277666D},
    {33, "SWIM1", "", 0x02000000, 0xE0000001, 0x73776949},
    {34, "SWIM2", "", 0x02000000, 0xF0000001, 0x73776950},
    {35, "SWIM3", "", 0x02000000, 0x10000003, 0x73776951},
    {36, "SWIM4", "", 0x02000000, 0x40000003, 0x73776952},
    {37, "SWIM5", "", 0x02000000, 0x50000003, 0x73776953},
    {38, "SWIM6", "", 0x02000000, 0x60000003, 0x73776954},
    {39, "SWIM7", "", 0x02000000, 0x70000003, 0x73776955},
    {40, "SWIM8", "", 0x02000000, 0x80000003, 0x73776956},
    {41, "SWIM9", "", 0x02000000, 0x20800001, 0x73776965},
    {42, "SWIM10", "", 0x02000000, 0x30800001, 0x73776967},
    {43, "SWIM11", "", 0x02000000, 0x40800001, 0x73776969},
    {44, "SWIM12", "", 0x02000000, 0x50800001, 0x7377696B},
    {45, "SWIM1B", "", 0x02000000, 0x10800003, 0x73776957},
    {46, "SWIM2B", "", 0x02000000, 0x20800003, 0x73776958},
    {47, "SWIM3B", "", 0x02000000, 0x30800003, 0x73776959},
    {48, "SWIM4B", "", 0x02000000, 0x40800003, 0x73776960},
    {49, "SWIM5B", "", 0x02000000, 0x50800003, 0x73776961},
    {50, "SWIM6B", "", 0x02000000, 0x60800003, 0x73776962},
    {51, "SWIM7B", "", 0x02000000, 0x70800003, 0x73776963},
    {52, "SWIM8B", "", 0x02000000, 0x80800003, 0x73776964},
    {53, "SWIM9B", "", 0x02000000, 0xB0800003, 0x73776966},
    {54, "SWIM10B", "", 0x02000000, 0xE0800003, 0x73776968},
    {55, "SWIM11B", "", 0x02000000, 0x60800001, 0x7377696A},
    {56, "SWIM12B", "", 0x02000000, 0x70800001, 0x7377696C},
    {57, "MFW2_A", "", 0x02000000, 0x90000003, 0x3377666D},
    {58, "OCNVM", "", 0x00000000, 0xA0000003, 0x766E636F},
    {59, "E3_WC_V2", "", 0x07000000, 0xF0000003, 0x32766377},
    {60, "E3_PCIE_V2", "", 0x08000000, 0x00800003, 0x32766570},
    {61, "CCM", "-ccm", 0x01000000, 0x90800003, 0x6D636300},
    {62, "HW_SET", "-hw_set", 0x01000000, 0xA0800003, 0x706D7501},
    {63, "USR_BLK", "-usrblk", 0x01000000, 0xB0000003, 0x60627275},
    {0x41, "BDN", "-bdn", 0x01000000, 0xC0800003, 0x6E646200},
    {0x42, "MDUMP", "-mdump", 0x01000000, 0xD0800003, 0x706D646D},
};
static_assert(std::size(g_image_table) == kImageTableRows);

extern "C" uint32_t common_nvm_image_table_size() { return uint32_t(std::size(g_image_table)); }

extern "C" int common_nvm_image_row_by_type(uint32_t type, uint32_t* row)
{
    for (uint32_t i = 0; i < std::size(g_image_table); ++i)
        if (g_image_table[i].dir_type == type) {
            if (row)
                *row = i;
            return 0;
        }
    return -1;
}

extern "C" int common_nvm_image_type_lookup(const char* option, uint32_t tag, uint32_t* type)
{
    for (uint32_t i = 0; i < std::size(g_image_table); ++i) {
        bool hit = false;
        if (option && tag == 0)
            hit = std::strcmp(g_image_table[i].option, option) == 0;
        else if (!option && tag != 0)
            hit = g_image_table[i].tag == tag;
        else
            return 0;
        if (hit) {
            if (type)
                *type = g_image_table[i].dir_type;
            return 1;
        }
    }
    return 0;
}

namespace fwupg::nvm {

bool is_swim_type(uint32_t type, uint32_t* position)
{
    for (uint32_t i = 0; i < kSwimRows; ++i)
        if (g_image_table[kRowSwim1 + i].dir_type == type) {
            if (position)
                *position = i;
            return true;
        }
    return false;
}

int row_by_name_part(const char* text)
{
    if (!text)
        return -1;
    for (int i = 0; i < int(std::size(g_image_table)); ++i)
        if (std::strstr(g_image_table[i].name, text))
            return i;
    return -1;
}

int row_by_name(const char* name)
{
    if (!name)
        return -1;
    for (int i = 0; i < int(std::size(g_image_table)); ++i)
        if (std::strcmp(g_image_table[i].name, name) == 0)
            return i;
    return -1;
}

}  // namespace fwupg::nvm
