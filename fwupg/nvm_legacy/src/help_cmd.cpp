// Usage text of the legacy "nvm" command set.
#include <cstdio>
#include <cstring>
#include <string>

#include "fwupg/nvm_legacy/commands.h"
#include "fwupg/nvm_legacy/image_table.h"

namespace {
std::string help_text()
{
    char line[256];
    std::string t;
    std::snprintf(line, sizeof line, "%-*s Access non-volatile memory.\n\n", 15, "nvm");
    t += line;
    t += "Usage: nvm read <addr> [bytecount]\n"
         "       nvm write <addr> <value32 | byte_list>\n"
         "       nvm show [<addr> [bytecount]]\n"
         "       nvm fill <addr> <bytecount> <value32|inc|addr>\n"
         "           <addr>     : memory offset\n"
         "           <value32>  : a 32-bit value\n"
         "           inc      : for dword incremental pattern\n"
         "           addr     : for address pattern\n"
         "           <byte_list>: a Tcl list of byte values\n"
         "           <bytecount>: number of bytes\n"
         "       nvm upgrade [-F] <image_type> <filename>\n";
    std::snprintf(line, sizeof line,
                  "           <image_type> : -bc, -ipmi, -ump, -ncsi %s [-p [-n <value>]] [-d], %s, %s|%s|%s %s\n",
                  g_toe_image_table[TOE_IMG_MBA].option, g_toe_image_table[TOE_IMG_L2_RXP].option,
                  g_toe_image_table[TOE_IMG_ISCSI_B].option, "-ib_ipv6", "-ib_ipv4n6", "[-c|-p|-cp], -ccm");
    t += line;
    t += "           [-d]         : bypass device check (for -mba debug)\n"
         "           [-p]         : force MBA to use a certain PFN (for -mba debug)\n"
         "           [-n <value>] : force MBA to use <value> as the PFN (for -mba debug)\n"
         "           [-c|-p|-cp]  : forced config/program/both updates (for -ib|-ib_ipv6|-ib_ipv4n6)\n"
         "           <filename>   : binary file\n"
         "       nvm cfg [item=choice] [-otherfn]\n"
         "               [-otherfn] : specify the other function/port on dual port device\n"
         "       nvm rescfg [item=choice]\n"
         "       nvm prg [options] <offset> [<filename>|<hostaddr>] [size]\n"
         "           option -mem               : input from host memory\n"
         "           option -l                 : little endian file format\n"
         "           option -force_mac         : force to update MAC addresses\n"
         "           option -force_smbus       : force to update SMBus address\n"
         "           option -force_ibcfg       : force to update iscsi boot cfg block\n"
         "           option -force_febcfg      : force to update fcoe boot cfg block\n"
         "           option -skip_ec           : preserve EC field in VPD block\n"
         "           option -skip_sn           : preserve SN field in VPD block\n"
         "           option -raw               : program the complete raw image\n"
         "           option -no_chip_chk       : skip device ID check\n"
         "           option -skip_options <lst>: perserve a list of specific NVRAM config\n"
         "                                       parameters\n"
         "           option -noidmatch         : same as -no_chip_chk\n"
         "           option -idmatch           : match device VID,DID,SSID and SVID\n"
         "           <offset>                  : where in NVM to start programming\n"
         "           [<filename>|<hostaddr>]   : binary file or host memory address\n"
         "           <size>                    : the number of bytes read from host memory\n"
         "       nvm dump [-l] [-a|-s] [<offset> <length>] <filename>\n"
         "           [-l]         : little endian format\n"
         "           [-a]         : output ATMEL based image\n"
         "           [-s]         : output ST Micro based image\n"
         "           <offset>     : where in NVM to start dumping\n"
         "           <length>     : bytes to dump (multiple of 4)\n"
         "           <filename>   : output binary file\n"
         "       nvm dir [[-delete] entry] # Display NVM directory of images\n"
         "       nvm crc [[-fix] entry] # Display NVM directory of images and check CRCs, correct if '-fix' is included\n"
         "       nvm usrblk byte_cnt    # Create/expand a user block image in NVRAM (byte_cnt being multiple of 4).\n"
         "Note: \"nvm show\" takes previous addr+bytecount as new addr\n"
         "Example: nvm read 0x0 0x100\n"
         "         nvm write 0x0 0xffff\n"
         "         nvm write 0x0 {0x01 0x02}\n"
         "         nvm show 0x0 0x100\n"
         "         nvm fill 0x0 0x100 0xfeed\n"
         "         nvm upgrade -bc bc.bin\n"
         "         nvm cfg 1=00:10:18:01:02:03 17=1\n"
         "         nvm prg 0 image.bin\n"
         "         nvm dump 0 0x100 output.bin\n"
         "         nvm dir bc1\n"
         "         nvm dir -delete mba\n"
         "         nvm crc -fix bc1\n";
    return t;
}
}  // namespace

uint32_t toe_nvm_help_cmd(char* buf, uint32_t buf_size, uint32_t page, uint32_t* length)
{
    if (page != 0)
        return 0xFFFFFFFFu;
    const std::string t = help_text();
    size_t n = 0;
    if (buf && buf_size > 0) {
        n = t.size() < buf_size ? t.size() : buf_size - 1;
        std::memcpy(buf, t.data(), n);
        buf[n] = '\0';
    }
    if (length)
        *length = static_cast<uint32_t>(n);
    return 0;
}
