// The IPMI pass-through configuration image: 138 big-endian words, a header word, the link
// settings byte in word 53 and the CRC word of bytes 0-547 at 548. The engine holds it as host
// words (NVRAM read with the byte-order flag clear).
#include "fwupg/nvm_legacy/ipmi_cfg.h"

#include <cstring>

#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "ipmi_image.h"

namespace {
constexpr uint32_t CRC_WORD = TOE_IPMI_CFG_BYTES / 4 - 1;
}

uint32_t ipmi_image::computed_crc() const { return toe_crc_of_words(words, TOE_IPMI_CFG_BYTES - 4, 0); }
uint32_t ipmi_image::stored_crc() const { return words[CRC_WORD]; }
void ipmi_image::seal() { words[CRC_WORD] = computed_crc(); }
uint8_t ipmi_image::settings() const { return uint8_t(words[TOE_IPMI_CFG_SETTINGS_WORD] >> 8); }
void ipmi_image::set_settings(uint8_t s)
{
    uint32_t& w = words[TOE_IPMI_CFG_SETTINGS_WORD];
    w = (w & ~0xFF00u) | uint32_t(s) << 8;
}

int ipmi_image::write(Tcl_Interp* interp)
{
    // The programming stages its own CRC word in the spare word behind the image.
    return cur_nvm_write_image(interp, reinterpret_cast<uint8_t*>(words), TOE_IPMI_CFG_BYTES, TOE_IPMI_CFG_DIR_TYPE);
}

int ipmi_image::find_and_read(Tcl_Interp* interp)
{
    int index = 0;
    if (cur_nvm_find_dir_entry(interp, TOE_IPMI_CFG_DIR_TYPE, &index) != 0 &&
        (toe_ipmi_cfg_create(interp) != 0 || cur_nvm_find_dir_entry(interp, TOE_IPMI_CFG_DIR_TYPE, &index) != 0))
        return 1;
    uint32_t offset = 0, read = 0;
    if (cur_nvm_read_dir_entry(interp, index, &offset, nullptr, nullptr, nullptr, nullptr) != 0 ||
        cur_nvm_read_range(interp, reinterpret_cast<uint8_t*>(words), 0, TOE_IPMI_CFG_BYTES, offset, &read) != 0 ||
        read < TOE_IPMI_CFG_BYTES)
        return 1;
    return 0;
}

int toe_ipmi_cfg_create(Tcl_Interp* interp)
{
    ipmi_image image;
    image.words[0] = TOE_IPMI_CFG_HEADER;
    image.seal();
    return image.write(interp);
}

uint32_t toe_ipmi_cfg_table_addr(Tcl_Interp*, uint32_t version)
{
    return version < 0x01020000u ? 0x08000000u : 0x08000010u;
}

int toe_ipmi_cfg_load(Tcl_Interp* interp, uint8_t* settings)
{
    ipmi_image image;
    if (image.find_and_read(interp) != 0)
        return 1;
    *settings = image.settings();
    return 0;
}

int toe_ipmi_cfg_save(Tcl_Interp* interp, uint8_t settings)
{
    ipmi_image image;
    if (image.find_and_read(interp) != 0)
        return 1;
    image.set_settings(settings);
    image.seal();
    return image.write(interp);
}
