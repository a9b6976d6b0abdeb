// "nvm upgrade" for E1-E3 adapters: checks an image file (raw or made of wrapped records), hands
// each record to the directory or extended-directory programmer, then runs the steps that follow
// an upgrade (register kick, NPAR block, board fixes, VPD version fields).
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

#include "commands/upgrade_detail.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/base/registers.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "fwupg/nvm/e123/board_fixups.h"
#include "fwupg/nvm/e123/boot_cfg_prepare.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "fwupg/nvm/e123/queries.h"
#include "fwupg/nvm/e4/commands.h"
#include "fwupg/nvm/formats/hw_set.h"
#include "fwupg/nvm/formats/rom_patch.h"
#include "fwupg/nvm/formats/sfp_modules.h"
#include "fwupg/nvm/formats/vpd_text.h"
#include "fwupg/wrapped_record.h"


using namespace fwupg::nvm;
using fwupg::kWrappedHeaderSize;
using fwupg::kWrappedMagic;
using fwupg::WrappedHeader;
using fwupg::WrappedReader;
using fwupg::WrappedRecord;
using fwupg::WrappedStop;

namespace {

// Record tags the walk looks at by value.
enum : uint32_t {
    kTagNcsiXlib = 0x786C636E,
    kTagIscsiB = 0x62690000, kTagIscsiB6 = 0x36626900, kTagIscsiB46 = 0x6E346269,
    kTagIbCfg = 0x63626900, kTagIbCfg6 = 0x36636269, kTagIbCprg = 0x65706269,
    kTagIbpl = 0x6C706269, kTagIbcp = 0x70636269,
    kTagFebCfg = 0x63626566, kTagFebCprg = 0x65706266, kTagFebCprgA = 0x70626566, kTagFebCprgL = 0x6C706266,
    kTagE3Wc = 0x63773365, kTagE3Pcie = 0x65703365, kTagE3WcV2 = 0x32766377, kTagE3PcieV2 = 0x32766570,
    kTagMfw1 = 0x3177666D, kTagOcnvm = 0x766E636F,
};

// What the walk does with a record, by the image-table row of its tag: the companion of
// g_image_table, one entry per row in the same order. A tag that several rows share (I_B_CFG*,
// FEB_CFG*) is looked up at its first row.
struct RowWalk {
    bool extended;   // installed through the extended directory, else programmed by its row
    bool mfw_space;  // counts against the room an MFW bundle needs
};
constexpr RowWalk kRowWalk[] = {
    {false, false},  // BC1
    {false, false},  // BC2
    {false, true},  // MBA
    {false, false},  // NCSI_CMN
    {false, false},  // NCSI_ELIB
    {false, true},  // L2T
    {false, true},  // L2C
    {false, true},  // L2X
    {false, true},  // L2U
    {false, true},  // IPMI
    {false, true},  // MODULES_PN
    {false, true},  // ISCSI_B
    {false, true},  // I_B_CFG
    {false, true},  // I_B_CFG2
    {false, true},  // I_B_CPRG
    {true, true},  // FCOE_B
    {true, true},  // FEB_CFG
    {true, true},  // FEB_CFG2
    {true, true},  // FEB_CFG3
    {true, true},  // FEB_CFG4
    {true, true},  // FEB_CPRG
    {true, true},  // NIC_PRTION
    {true, true},  // VPD
    {true, true},  // E3_WC
    {true, true},  // E3_PCIE
    {true, true},  // NIV
    {false, true},  // NIVPROFILES
    {true, true},  // BOOT_CFG_SHADOW
    {false, true},  // CFG_SHARED
    {false, true},  // I_B_CFG3
    {false, true},  // I_B_CFG4
    {true, false},  // MFW1
    {true, false},  // MFW2
    {true, false},  // SWIM1
    {true, false},  // SWIM2
    {true, false},  // SWIM3
    {true, false},  // SWIM4
    {true, false},  // SWIM5
    {true, false},  // SWIM6
    {true, false},  // SWIM7
    {true, false},  // SWIM8
    {true, false},  // SWIM9
    {true, false},  // SWIM10
    {true, false},  // SWIM11
    {true, false},  // SWIM12
    {false, true},  // SWIM1B
    {false, true},  // SWIM2B
    {false, true},  // SWIM3B
    {false, true},  // SWIM4B
    {false, true},  // SWIM5B
    {false, true},  // SWIM6B
    {false, true},  // SWIM7B
    {false, true},  // SWIM8B
    {false, true},  // SWIM9B
    {false, true},  // SWIM10B
    {false, true},  // SWIM11B
    {false, true},  // SWIM12B
    {true, false},  // MFW2_A
    {true, true},  // OCNVM
    {true, true},  // E3_WC_V2
    {true, true},  // E3_PCIE_V2
    {true, true},  // CCM
    {false, true},  // HW_SET
    {false, true},  // USR_BLK
    {false, true},  // BDN
    {true, false},  // MDUMP
};
static_assert(std::size(kRowWalk) == kImageTableRows, "one walk entry per image-table row");

bool is_iscsi_tag(uint32_t tag)
{
    switch (tag) {
    case kTagIscsiB: case kTagIscsiB6: case kTagIscsiB46: case kTagIbCfg: case kTagIbCfg6: case kTagIbCprg:
    case kTagIbpl: case kTagIbcp:
        return true;
    default:
        return false;
    }
}

// Row of a record tag: the iSCSI variants map to their base rows; -1 when no row has the tag.
int row_by_tag(uint32_t tag)
{
    if (tag == kTagIscsiB6 || tag == kTagIscsiB46)
        tag = kTagIscsiB;
    if (tag == kTagIbCfg6)
        tag = kTagIbCfg;
    for (uint32_t r = 0; r < common_nvm_image_table_size(); ++r)
        if (g_image_table[r].tag == tag)
            return int(r);
    return -1;
}

int row_by_option(const char* option)
{
    for (uint32_t r = 0; r < common_nvm_image_table_size(); ++r)
        if (g_image_table[r].option[0] && std::strcmp(g_image_table[r].option, option) == 0)
            return int(r);
    return -1;
}

bool is_extra_option(const std::string& o)
{
    return o == "-bc" || o == "-ib" || o == "-ib_ipv4n6" || o == "-ib_ipv6" || o == "-l2" || o == "-mfw" ||
           o == "-mfw1";
}

std::string usage_text()
{
    std::string u = "[-F] -bc|-l2|-mfw";
    for (uint32_t r = 0; r < common_nvm_image_table_size(); ++r) {
        const char* opt = g_image_table[r].option;
        if (!opt[0])
            continue;
        u += "|";
        u += opt;
        if (std::strcmp(opt, "-mba") == 0)
            u += "[-d -p [-n <pfn_val>]";
        else if (std::strcmp(opt, "-feb") == 0)
            u += "[-c|-p|-cp]";
    }
    u += "|-ib_ipv6|-ib_ipv4n6 filename";
    return u;
}

// One call's options.
struct Options {
    std::string option;
    std::string file;
    bool check_version = true;
    bool iscsi = false;
    int iscsi_variant = 0;
    bool iscsi_config = false;
    bool iscsi_program = false;
    bool mba_skip_rom_check = false, mba_p = false, mba_n = false;
    uint16_t mba_pf = 0;
    bool feb_c = false, feb_p = false;
};

bool parse_args(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], Options& o)
{
    int i = 1;
    if (std::strcmp(Tcl_GetString(objv[1]), "-F") == 0) {
        if (objc < 4)
            return false;
        o.check_version = false;
        i = 2;
    }
    o.option = Tcl_GetString(objv[i]);
    if (o.option.empty() || o.option[0] != '-')
        return false;
    if (row_by_option(o.option.c_str()) < 0 && !is_extra_option(o.option))
        return false;
    ++i;
    if (o.option.rfind("-ib", 0) == 0)
        o.iscsi = true;
    if (o.option == "-ib") {
        o.iscsi_variant = 1;
        o.iscsi_config = true;
    } else if (o.option == "-ib_ipv6") {
        o.iscsi_variant = 2;
    } else if (o.option == "-ib_ipv4n6") {
        o.iscsi_variant = 3;
    } else if (o.option == "-ibpe") {
        o.iscsi_program = true;
    }
    // Sub-options sit between the option and the file name.
    for (; i < objc - 1; ++i) {
        const std::string s = Tcl_GetString(objv[i]);
        if (o.option == "-mba" && s == "-d") {
            o.mba_skip_rom_check = true;
        } else if (o.option == "-mba" && s == "-p") {
            o.mba_p = true;
        } else if (o.option == "-mba" && s == "-n") {
            int pf = 0;
            if (i + 1 >= objc - 1 || Tcl_GetIntFromObj(interp, objv[i + 1], &pf) != TCL_OK || pf < 0 || pf > 0xFFFF)
                return false;
            o.mba_n = true;
            o.mba_pf = uint16_t(pf);
            ++i;
        } else if (o.option == "-feb" && (s == "-c" || s == "-p" || s == "-cp")) {
            o.feb_c = o.feb_c || s != "-p";
            o.feb_p = o.feb_p || s != "-c";
        } else {
            return false;
        }
    }
    if (i != objc - 1)
        return false;
    o.file = Tcl_GetString(objv[objc - 1]);
    Tcl_ResetResult(interp);  // a failed integer parse may have left text
    return !o.file.empty();
}

int fail(Tcl_Interp* interp, uint32_t code, const std::string& text)
{
    set_last_error(code);
    Tcl_AppendResult(interp, text.c_str(), static_cast<char*>(nullptr));
    return 1;
}

// The upgrade file in a zeroed buffer of its length rounded up to whole words plus one word.
struct FileBuffer {
    std::vector<uint8_t> bytes;
    uint32_t length = 0;
};

int read_upgrade_file(Tcl_Interp* interp, const std::string& path, FileBuffer& out)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(interp, 13, "File does not exist.");
    if (st.st_size < 0 || uint64_t(st.st_size) > 0x7FFFFFF0u)
        return fail(interp, 34, "No more host memory.");
    out.length = uint32_t(st.st_size);
    try {
        out.bytes.assign(((size_t(out.length) + 3) & ~size_t(3)) + 4, 0);
    } catch (const std::bad_alloc&) {
        return fail(interp, 34, "No more host memory.");
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return fail(interp, 13, "Can't read file.");
    const size_t got = out.length ? std::fread(out.bytes.data(), 1, out.length, f) : 0;
    std::fclose(f);
    if (got != out.length)
        return fail(interp, 13, "Can't read file.");
    return 0;
}

bool is_text_file_option(const std::string& o) { return o == "-m_pn" || o == "-vpd" || o == "-hw_set"; }

// The options whose file is a text file: the image its reader builds replaces the file's bytes.
int read_text_image(Tcl_Interp* interp, const Options& o, FileBuffer& file)
{
    uint32_t size = 0;
    const char* path = o.file.c_str();
    uint8_t* image = o.option == "-m_pn" ? sfp_module_list_parse(path, &size)
                     : o.option == "-vpd" ? vpd_text_file_to_image(path, &size)
                                          : hw_set_parse(path, &size);
    if (!image)
        return fail(interp, 13, "File not found or Improper file format\n");
    try {
        file.bytes.assign(image, image + size);
    } catch (const std::bad_alloc&) {
        common_nvm_free(image);
        return fail(interp, 34, "No more host memory.");
    }
    common_nvm_free(image);
    file.length = size;
    return 0;
}

// A text-file image: the module list through the primary directory (texts kept in reading order),
// the VPD and register-script images through the extended directory; no version check. The
// length programmed is the image's, not the text file's.
int program_text_image(Tcl_Interp* interp, const Options& o, FileBuffer& file, uint32_t row, int* last_result)
{
    if (o.option == "-m_pn") {
        sfp_module_image_to_nvram_texts(file.bytes.data(), file.length);
        *last_result = common_nvm_prog_image_by_idx(file.bytes.data(), file.length, row, 0);
    } else {
        *last_result = common_nvm_install_ext_image(file.bytes.data(), file.length, row, 0, 0, 0, 0);
        if (*last_result == 0 && o.option == "-vpd")
            set_toe_text("IS_VPD_IMAGE", "1");
    }
    if (*last_result != 0)
        return fail(interp, 70, "Image programming failed !!");
    return 0;
}

// Boot-agent options: sub-option edits, device check, CCM entry, ROM id patch.
int prepare_mba(Tcl_Interp* interp, const Options& o, FileBuffer& file, uint32_t vid_did)
{
    const std::string refused = "Improper file format, Not intended for -mba option.";
    uint8_t* img = file.bytes.data();
    if (file.length < 10)
        return fail(interp, 35, refused);
    const uint32_t desc = load_u16(img + 8);
    if (uint64_t(desc) + 36 > file.length)
        return fail(interp, 35, refused);
    if (o.mba_p)
        store_u16(img + desc, uint16_t(load_u16(img + desc) | 0x4));
    if (o.mba_n)
        store_u16(img + desc + 32, o.mba_pf);
    if (common_nvm_check_mba_device(interp, img) != 0)
        return fail(interp, 35, refused);
    if (img[desc] & 1) {
        const uint32_t at = (uint32_t(img[desc + 34]) << 8) | img[desc + 35];
        if (uint64_t(at) + 2 <= file.length && ((img[at] << 8) | img[at + 1]) != 0)
            common_nvm_remove_ccm_image();
    }
    if (!o.mba_skip_rom_check &&
        common_nvm_patch_rom_ids(img, file.length, uint16_t(vid_did >> 16), uint16_t(vid_did)) != 0)
        return fail(interp, 35, "Not a valid KV9 MBA image.");
    return 0;
}

// Raw (unwrapped) image: programmed whole through the option's row.
int program_raw(Tcl_Interp* interp, const Options& o, FileBuffer& file, int* last_result)
{
    static const char* const never_raw[] = {"-bc", "-ipmi", "-ib", "-ib_ipv6", "-ib_ipv4n6", "-ncsi",
                                            "-l2t", "-l2c", "-l2x", "-l2u", "-feb"};
    const long did = toe_number("DID");
    const bool may_be_raw = o.option == "-mba" || o.option == "-m_pn" || o.option == "-vpd" || o.option == "-hw_set";
    if ((did == 0x164E || did == 0x164F || did == 0x1650) && !may_be_raw)
        return fail(interp, 78,
                    "Improper file format, does not include 'append' header \n Not intended for 5710, 5711 or 5712.");
    for (const char* n : never_raw)
        if (o.option == n)
            return fail(interp, 78, "Improper file format, Not intended for " + o.option + " option.");
    const std::string row_option = o.iscsi_variant > 1 ? std::string("-ib") : o.option;
    const int row = row_by_option(row_option.c_str());
    if (row < 0)
        return -2;  // the caller prints the usage
    const bool text_image = is_text_file_option(o.option);
    if (g_image_table[row].dir_type != kTypeMba && o.option != "-bootsh" && !text_image)
        Tcl_AppendResult(interp, "Warning: Image is not wrapped with 'append' header.", static_cast<char*>(nullptr));
    // A raw image's own first words stand for a record header; an image built from a text file
    // has none, only its length.
    uint32_t header[5] = {};
    if (text_image)
        header[4] = file.length;
    else
        std::memcpy(header, file.bytes.data(), file.length >= 20 ? 20 : (file.length & ~3u));
    int ip_known = 0, skip = 0;
    if (common_nvm_prepare_image(interp, file.bytes.data(), uint32_t(row), header, file.length, &ip_known,
                                 o.iscsi_variant, o.check_version, o.iscsi_program, o.iscsi_config, &skip) != 0)
        return fail(interp, 70, "Image programming failed !!");
    if (skip) {
        *last_result = 0;
        return 0;
    }
    if (text_image)
        return program_text_image(interp, o, file, uint32_t(row), last_result);
    *last_result = common_nvm_prog_image_by_idx(file.bytes.data(), file.length, uint32_t(row), o.check_version);
    if (*last_result != 0)
        return fail(interp, 70, "Image programming failed !!");
    return 0;
}

// State of the walk over the wrapped records of one file.
struct Walk {
    Walk(Options& opts, Tcl_Interp* in, uint16_t v, uint16_t sv, uint16_t ss)
        : o(opts), interp(in), vendor(v), svid(sv), ssid(ss) {}
    Options& o;
    Tcl_Interp* interp;
    uint16_t vendor, svid, ssid;
    bool ext_dir_read = false;
    bool alt_swim = false;
    int fits = 1;
    int remove_swim = 0;
    uint32_t running_set = 0, new_set = 0;
    std::vector<uint32_t> mfw_list;
    int ip_known = 0;
    int mfw_pair = 0;
};

bool new_mfw_at_least_7_0_24()
{
    const uint32_t v = (uint32_t(g_new_mfw_version[0] & 0xFF) << 16) | (uint32_t(g_new_mfw_version[1] & 0xFF) << 8) |
                       uint32_t(g_new_mfw_version[2] & 0xFF);
    return v >= ((7u << 16) | 24u);
}

// Extended-directory facts the walk needs once: the SWIM alternate-set flag.
int read_ext_state(Walk& w)
{
    if (w.ext_dir_read)
        return 0;
    w.ext_dir_read = true;
    nvm_ext_dir dir;
    const int r = common_nvm_load_ext_dir(&dir);
    if (r < 0)
        return fail(w.interp, 4, "Failed to parse extended dir image");
    uint32_t off = 0;
    if (r == 1 && common_nvm_ext_dir_find(kTypeCfgShared, &dir, nullptr, &off, nullptr, nullptr, nullptr) == 0) {
        uint32_t word = 0;
        if (common_nvm_read(off + 16, &word, 4, 1) == 0)
            w.alt_swim = (word >> 8) & 1;
    }
    return 0;
}

int mfw1_checks(Walk& w, const uint8_t* data, uint32_t length, uint32_t row, uint32_t file_length)
{
    common_nvm_fix_ext_dir_byte_cnt();
    const char* rev = toe_text("CHIP_REV");
    if (common_nvm_is_e2() && rev && std::strcmp(rev, "A0") == 0)
        return fail(w.interp, 60, "ERROR: MFW image does not support 57712 chip rev A0\nUpgrade aborted for image MFW");
    common_nvm_read_new_mfw_version(data, length, row);
    common_nvm_swim_sets(&w.running_set, &w.new_set);
    uint32_t running = 0;
    common_nvm_purge_foreign_swim(&running);
    w.fits = common_nvm_image_fits(uint32_t(common_nvm_is_e1()), kTypeMfw1, file_length, w.mfw_list.data(),
                                   uint32_t(w.mfw_list.size()));
    if (w.fits == 0)
        return fail(w.interp, 27,
                    "ERROR: There is not enough room in NVM for MFW and SWIM images\nUpgrade aborted for image MFW");
    common_nvm_delete_old_bc_ncsi();
    w.remove_swim = (w.fits == 2 || !w.alt_swim) ? 1 : 0;
    return 0;
}

// The row a SWIM record is programmed to: its own, or the B set when the new firmware uses it.
uint32_t swim_target(const Walk& w, uint32_t row)
{
    if (row < kRowSwim1 || row >= kRowSwim1 + 12)
        return row;
    const bool to_b = (w.new_set == 2 || w.running_set == 1) && w.new_set != 1 && w.fits == 1 && w.alt_swim &&
                      new_mfw_at_least_7_0_24();
    return to_b ? row + 12 : row;
}

// FEB_CFG without "-c": kept as the board's third and fourth copy on quad-port FCoE boards.
void feb_cfg_extra_copies(Walk& w, const uint8_t* data, uint32_t length)
{
    uint32_t off = 0, len = 0, row = 0;
    if (common_nvm_find_ext_image_by_name("FEB_CFG", &off, &len, &row) != 0) {
        fwupg_dbg_printf("skipping FCOE boot config block\n");
        return;
    }
    if (w.vendor == 0x14E4 && common_nvm_is_quad_feb_board(w.vendor, w.svid, w.ssid) &&
        common_nvm_find_ext_image_by_name("FEB_CFG3", &off, &len, &row) != 0) {
        const int r3 = row_by_name("FEB_CFG3"), r4 = row_by_name("FEB_CFG4");
        if (r3 >= 0)
            common_nvm_install_ext_image(data, length, uint32_t(r3), 0, 0, 0, 0);
        if (r4 >= 0)
            common_nvm_install_ext_image(data, length, uint32_t(r4), 0, 0, 0, 0);
        return;
    }
    fwupg_dbg_printf("skipping FCOE boot config block\n");
}

// Skip rules of the boot-configuration and chip-revision specific records.
bool skipped_by_board(Walk& w, uint32_t tag, const uint8_t* data, uint32_t length)
{
    if (tag == kTagFebCfg && !w.o.feb_c) {
        feb_cfg_extra_copies(w, data, length);
        return true;
    }
    if (tag == kTagFebCprg && !w.o.feb_p) {
        fwupg_dbg_printf("skipping FCOE boot config program kordane block\n");
        return true;
    }
    const char* rev = toe_text("CHIP_REV");
    const bool e3_rev_b = common_nvm_is_e3() && rev && rev[0] == 'B';
    if ((tag == kTagE3Wc || tag == kTagE3Pcie) && e3_rev_b)
        return true;
    if ((tag == kTagE3WcV2 || tag == kTagE3PcieV2) && !e3_rev_b)
        return true;
    return tag == kTagOcnvm && toe_number("SVID") != 0x103C;
}

// iSCSI record selection: true when the record is to be passed over.
bool iscsi_passed_over(const Options& o, uint32_t tag)
{
    if (!is_iscsi_tag(tag))
        return true;
    switch (tag) {
    case kTagIscsiB: return o.iscsi_variant != 1;
    case kTagIscsiB6: return o.iscsi_variant != 2;
    case kTagIscsiB46: return o.iscsi_variant != 3;
    default: break;
    }
    if (o.iscsi_variant == 0) {
        if (tag == kTagIbCfg || tag == kTagIbCfg6)
            return !o.iscsi_config;
        if (tag == kTagIbCprg)
            return !o.iscsi_program;
    }
    return false;
}

// Walks the wrapped records. Returns 0, 1 on failure; *offset and *last_result tell how far it got.
int walk_each_record(Walk& w, FileBuffer& file, uint32_t* offset, int* last_result)
{
    WrappedReader reader(file.bytes.data(), file.length);
    WrappedRecord rec;
    while (reader.next(&rec)) {
        const WrappedHeader& h = rec.header;
        uint32_t header[5] = {h.magic, h.version, h.tag, h.compat, h.length};
        const uint32_t tag = h.tag, length = h.length;
        uint8_t* data = file.bytes.data() + rec.offset + kWrappedHeaderSize;
        if ((tag == kTagIbpl || tag == kTagIbcp || w.o.iscsi) && iscsi_passed_over(w.o, tag))
            continue;
        const int row = row_by_tag(tag);
        if (row < 0) {
            if (w.o.option == "-feb" && (tag == kTagFebCprgA || tag == kTagFebCprgL)) {
                fwupg_dbg_printf("skipping FCOE CPRG/CPRG_LGCY block image\n");
                continue;
            }
            return fail(w.interp, 78, "Improper file format, unknown file type.");
        }
        int skip = 0;
        if (common_nvm_prepare_image(w.interp, data, uint32_t(row), header, length, &w.ip_known, w.o.iscsi_variant,
                                     w.o.check_version, w.o.iscsi_program, w.o.iscsi_config, &skip) != 0)
            return fail(w.interp, 70, "Image programming failed !!");
        if (tag == kTagIbCprg)
            w.o.check_version = false;
        if (!skip)
            skip = skipped_by_board(w, tag, data, length);
        uint32_t target = uint32_t(row);
        const bool extended = kRowWalk[row].extended;
        if (extended) {
            if (read_ext_state(w) != 0)
                return 1;
            if (tag == kTagMfw1 && mfw1_checks(w, data, length, uint32_t(row), file.length) != 0)
                return 1;
            if (uint32_t(row) == kRowSwim1 && (!w.alt_swim || !new_mfw_at_least_7_0_24()))
                common_nvm_delete_swim_b_set();
            target = swim_target(w, uint32_t(row));
        }
        int r = 0;
        if (!skip) {
            r = extended ? common_nvm_install_ext_image(data, length, target, w.o.check_version ? 1 : 0, 0,
                                                        w.remove_swim, 0)
                         : common_nvm_prog_image_by_idx(data, length, target, w.o.check_version);
        }
        *last_result = r;
        if (tag == kTagMfw1) {
            w.o.check_version = false;
            common_nvm_create_boot_cfg_shadow();
        }
        if (r != 0)
            return fail(w.interp, 70, "Image programming failed !!");
        *offset = uint32_t(reader.offset());
    }
    switch (reader.stop()) {
    case WrappedStop::End:
    case WrappedStop::ShortHeader:
    case WrappedStop::BadMagic:
        break;  // a truncated header or trailing bytes: reported as not all programmed
    case WrappedStop::BadVersion:
        return fail(w.interp, 78, "Improper file format, incorrect format version.");
    case WrappedStop::PastEnd:
        return fail(w.interp, 78, "Improper file format, record length exceeds the file.");
    }
    *offset = uint32_t(reader.offset());
    return 0;
}

// The walk with its extended-directory changes held and published once at its end: the images
// it installs are listed by one new copy of the directory instead of one per image. After a
// failure what was installed completely is published.
int walk_records(Walk& w, FileBuffer& file, uint32_t* offset, int* last_result)
{
    ExtDirBatch batch;
    const int r = walk_each_record(w, file, offset, last_result);
    if (batch.finish() != 0 && r == 0) {
        *last_result = -1;
        return fail(w.interp, 70, "Image programming failed !!");
    }
    return r;
}

// MFW bundles: the first record must be MFW1; collects the tags that count against the space.
int mfw_prepass(Walk& w, const FileBuffer& file)
{
    bool first = true;
    // Any version is taken here (the walk refuses a wrong one), and a record that runs past the end
    // still counts with its header: the walk refuses it afterwards.
    WrappedReader reader(file.bytes.data(), file.length, /*check_version=*/false);
    WrappedRecord rec;
    for (;;) {
        const bool whole = reader.next(&rec);
        if (!whole && reader.stop() != WrappedStop::PastEnd)
            break;
        const uint32_t tag = rec.header.tag;
        if (first && tag != kTagMfw1)
            return fail(w.interp, 120, "MFW package must start with MFW1 image");
        first = false;
        // A tag without a row counts too, except the NCSI library that no row takes.
        const int row = row_by_tag(tag);
        const bool counted = row >= 0 ? kRowWalk[row].mfw_space : tag != kTagNcsiXlib;
        // One slot per table row: a file with more records than that cannot fit anyway.
        if (counted && w.mfw_list.size() < common_nvm_image_table_size())
            w.mfw_list.push_back(tag);
        if (!whole)
            break;
    }
    if (first)
        return fail(w.interp, 120, "MFW package must start with MFW1 image");
    common_nvm_clear_primary_mdump();
    return 0;
}

// Parses "a.b.c.d" or "a.b.c" (hexadecimal fields) into one word, first field highest.
uint32_t packed_hex_version(const char* text)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(text, "%x.%x.%x.%x", &a, &b, &c, &d) != 4) {
        d = 0;
        if (std::sscanf(text, "%x.%x.%x", &a, &b, &c) != 3)
            return 0;
    }
    return ((a & 0xFF) << 24) | ((b & 0xFF) << 16) | ((c & 0xFF) << 8) | (d & 0xFF);
}

// Runs a VPD command with the given words; its Tcl status.
int vpd_call(int (*cmd)(ClientData, Tcl_Interp*, int, Tcl_Obj* const[]), Tcl_Interp* interp,
             std::initializer_list<const char*> words)
{
    std::vector<Tcl_Obj*> objs;
    for (const char* wd : words) {
        objs.push_back(Tcl_NewStringObj(wd, -1));
        Tcl_IncrRefCount(objs.back());
    }
    const int r = cmd(nullptr, interp, int(objs.size()), objs.data());
    for (Tcl_Obj* p : objs)
        Tcl_DecrRefCount(p);
    return r;
}

// Writes `field` only when the adapter's VPD already has it. 0, or 1 when the write failed.
int update_vpd_field(Tcl_Interp* interp, const char* field, const char* text)
{
    vpd_call(tcl_al_vpd_read_cmd, interp, {"read", field});
    const std::string answer = Tcl_GetStringResult(interp);
    if (answer.find("Unknown VPD field") != std::string::npos ||
        answer.find("Requested tag is not found in VPD info!") != std::string::npos)
        return 0;
    if (vpd_call(tcl_al_vpd_write_cmd, interp, {"write", field, text}) != TCL_OK) {
        print_severity(("Failed to program VPD " + std::string(field) + " field").c_str(), 1);
        return 1;
    }
    print_severity(("Programming VPD " + std::string(field) + " field (" + text + ")").c_str(), 6);
    return 0;
}

// VPD version fields of HP boards after an MFW or boot-agent upgrade. 0 or 1.
int update_vpd_versions(Tcl_Interp* interp, const Options& o)
{
    // The caller's result text is kept whole across the VPD commands.
    const std::string saved = Tcl_GetStringResult(interp);
    int failed = 0;
    if (o.option == "-mfw") {
        fwupg_dbg_printf("Update VPD V3 field, only if exists ..\n");
        char text[64] = {};
        if (common_nvm_mfw1_version_text(text, sizeof text) == 0)
            failed = update_vpd_field(interp, "V3", text);
    } else if (o.option == "-mba") {
        fwupg_dbg_printf("Update VPD V6 field, only if exists ..\n");
        char a[64] = {}, b[64] = {};
        if (common_nvm_mba_version_texts(a, b, sizeof a) == 0)
            failed = update_vpd_field(interp, "V6", a) || update_vpd_field(interp, "V1", b);
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(saved.c_str(), -1));
    return failed;
}

int after_walk(Walk& w, int last_result)
{
    Options& o = w.o;
    common_nvm_noop();
    if (o.option == "-mfw" || o.option == "-nicp")
        common_nvm_init_npar_block(common_nvm_is_e3());
    if (reg_write(kRegGenericPor0, 1) != 0)
        return fail(w.interp, 43, "Failed to set MISC_REG_GENERIC_POR_0 register. \n");
    if (o.option == "-mfw" && w.svid == 0x103C) {
        char text[64] = {};
        if (common_nvm_mfw1_version_text(text, sizeof text) == 0 &&
            packed_hex_version(text) >= packed_hex_version("7.a.0.0"))
            common_nvm_ensure_nic_prtion();
    }
    if (o.option == "-mfw" && common_nvm_is_e3() && !common_nvm_is_57840()) {
        uint32_t revid = 0;
        if (reg_read(kRegChipRevision, &revid) == 0 && (revid & 0xFF) != 0)
            common_nvm_set_mfw_cfg_bits(w.interp, w.mfw_pair);
    }
    Tcl_AppendResult(w.interp, "info burned into nvm successfully.\n", static_cast<char*>(nullptr));
    if (o.option == "-mfw")
        board_fixups_after_mfw(w.ssid, 1);
    if (last_result == 0 && w.svid == 0x103C)
        return update_vpd_versions(w.interp, o);
    return 0;
}

int older_chip_upgrade(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    uint32_t port = 0;
    if (common_nvm_get_port(&port) != 0)
        return fail(interp, 7, "Failed to get port number of current device.");
    const std::string usage = usage_text();
    auto usage_fail = [&]() {
        set_last_error(2);
        Tcl_WrongNumArgs(interp, 1, objv, usage.c_str());
        return 1;
    };
    if (objc < 3)
        return usage_fail();
    const int mfw_pair = common_nvm_mfw_pair_present();
    uint32_t sub_ids = 0, ids = 0;
    if (port_cfg_word(2, nullptr, 0, &sub_ids) != 0)
        return fail(interp, 13, "Reading VID from NVM failed.");
    if (port_cfg_word(1, nullptr, 0, &ids) != 0)
        return fail(interp, 13, "Reading VID/DID from NVM failed.");
    Options o;
    if (!parse_args(interp, objc, objv, o))
        return usage_fail();
    FileBuffer file;
    if (read_upgrade_file(interp, o.file, file) != 0)
        return 1;
    if (is_text_file_option(o.option) && read_text_image(interp, o, file) != 0)
        return 1;
    if (o.option == "-ncsi" && common_nvm_check_ncsi_file(interp, file.length, file.bytes.data()) != 0)
        return fail(interp, 35, "Improper file format, Not intended for -ncsi option.");
    if (o.option == "-mba" && prepare_mba(interp, o, file, ids) != 0)
        return 1;
    Walk w(o, interp, uint16_t(ids >> 16), uint16_t(sub_ids), uint16_t(sub_ids >> 16));
    w.mfw_pair = mfw_pair;
    if ((o.option == "-mfw" || o.option == "-mfw1") && mfw_prepass(w, file) != 0)
        return 1;
    int last_result = 0;
    uint32_t reached = 0;
    const bool wrapped =
        !is_text_file_option(o.option) && file.length >= 4 && load_u32(file.bytes.data()) == kWrappedMagic;
    if (!wrapped) {
        const int r = program_raw(interp, o, file, &last_result);
        if (r == -2)
            return usage_fail();
        if (r != 0)
            return 1;
        reached = file.length;
    } else if (walk_records(w, file, &reached, &last_result) != 0) {
        return 1;
    }
    if (reached < file.length || last_result == -1) {
        char text[96];
        std::snprintf(text, sizeof text, "Failed to program all, byte_read = 0x%x, total = 0x%x\n", file.length,
                      reached);
        return fail(interp, 70, text);
    }
    return after_walk(w, last_result);
}

}  // namespace

extern "C" int tcl_al_nvm_upgrade_cmd(HostOps ops, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    try {
        fwupg::HostOpsScope scope(&ops);
        switch (chip_family()) {
        case ChipFamily::E1E3:
            return older_chip_upgrade(interp, objc, objv);
        case ChipFamily::E4:
            return fwupg::nvm::e4::upgrade_cmd(interp, objc, objv);
        case ChipFamily::Unknown:
            return unknown_chip(interp);
        }
        return unknown_chip(interp);  // not reached: every family is handled above
    } catch (const std::exception& e) {
        set_last_error(34);
        Tcl_AppendResult(interp, "Upgrade aborted: ", e.what(), static_cast<char*>(nullptr));
        return 1;
    } catch (...) {
        set_last_error(34);
        return 1;
    }
}
