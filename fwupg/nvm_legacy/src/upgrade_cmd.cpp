// "nvm upgrade": programs the images of one image family from a raw or wrapped image file into the
// legacy directory, record by record.
//
// Every record is checked before its image is programmed (format, board and medium, the option's
// family, the boot ROM and UMP contents, the version of the first image); a record that fails stops
// the walk, and images programmed before it stay programmed: the caller's NVRAM backup undoes them.
// Each image is programmed from a copy of its record, so the programming, which works on its buffer
// in place, never touches the records that follow it in the file.
#include "fwupg/nvm_legacy/upgrade.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/file_io.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/ipmi_cfg.h"
#include "fwupg/nvm_legacy/prog_image.h"
#include "fwupg/nvm_legacy/program.h"
#include "fwupg/nvm_legacy/versions.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"
#include "upgrade_internal.h"

using namespace toe::upgrade;

namespace {

constexpr uint32_t DIR_CCM = 0x40000001u, DIR_IPMI_INIT = 0x80000000u;
constexpr uint32_t NCSI_NEWER_THAN = 0x1000605u;   // NC-SI images after this one carry the XLIB themselves

uint32_t tag_of(int row) { return toe_tag_word(g_toe_image_table[row].tag); }
constexpr uint32_t TAG_IBC6 = toe_tag_word('i', 'b', 'c', '6');
constexpr uint32_t TAG_IB6 = toe_tag_word('\0', 'i', 'b', '6');
constexpr uint32_t TAG_IB4N = toe_tag_word('i', 'b', '4', 'n');

int fail(const HostOps& ops, uint32_t code, const std::string& message)
{
    toe::set_error(ops, code);
    toe::append_result(ops, message.c_str());
    return 1;
}

int bad_format(const HostOps& ops, const std::string& why) { return fail(ops, ERR_FORMAT, "Improper file format, " + why); }

std::string not_intended(const option_row& o) { return std::string("Not intended for ") + o.family + o.name + " option."; }

bool is_option(const request& r, const char* name) { return std::strcmp(r.option->name, name) == 0; }

// The image file, read whole, with room for the CRC word behind its last dword.
struct file_image {
    std::vector<uint8_t> data;
    uint32_t length = 0;
};

int read_file(const HostOps& ops, const std::string& name, file_image* f)
{
    int32_t size = 0;
    if (nvm_file_size(name.c_str(), &size) != 0 || size < 0)
        return fail(ops, toe::ERR_FILE, "File does not exist.");
    try {
        f->data.assign(((uint64_t(uint32_t(size)) + 3) & ~uint64_t(3)) + 4, 0);
    } catch (const std::bad_alloc&) {
        return fail(ops, toe::ERR_NO_MEMORY, "No more host memory.");
    }
    if (nvm_file_read(ops, name.c_str(), f->data.data(), uint32_t(size), &f->length) != 0)
        return fail(ops, toe::ERR_FILE, "Can't read file.");
    return 0;
}

// Tags the records of the file are not programmed from (zero-terminated).
std::vector<uint32_t> skip_list(const HostOps& ops, const request& r)
{
    const bool first = toe::port0_is_first(ops);
    std::vector<uint32_t> skip;
    if (r.iscsi_mode()) {
        if (!r.ib_prog_forced)
            skip.push_back(tag_of(TOE_IMG_ISB_CPRG));
        if (!r.ib_cfg_forced && row_present(ops, first ? TOE_IMG_ISB_CFG : TOE_IMG_ISB_CFG2))
            skip.push_back(tag_of(TOE_IMG_ISB_CFG));
    }
    if (!r.feb_prog_forced)
        skip.push_back(tag_of(TOE_IMG_FEB_CPRG));
    if (!r.feb_cfg_forced && row_present(ops, first ? TOE_IMG_FEB_CFG : TOE_IMG_FEB_CFG2))
        skip.push_back(tag_of(TOE_IMG_FEB_CFG));
    if (r.ncsi)
        skip.push_back(tag_of(TOE_IMG_NCSI_ELIB));
    skip.push_back(0);
    return skip;
}

// The row of a raw file: only the boot agent fits the dual-function boards, and only the options
// whose family is a single image take a raw file. 0 and the row, or 1 refused.
int raw_file_row(const HostOps& ops, Tcl_Obj* const objv[], const request& r, int* row)
{
    if (toe::board_is_dual(toe::board(ops)) && !is_option(r, "-mba"))
        return bad_format(ops, "Not intended for 5709 or 5716.");
    if (r.option->raw_refused)
        return bad_format(ops, std::string("Not intended for 8") + r.option->name + " option.");
    *row = toe_image_by_option(r.option->name);
    return *row < 0 ? usage_error(ops, objv, r.option->name) : 0;
}

// One image of the file, found by the walk.
struct record {
    int row = -1;
    uint32_t tag = 0;            // 0 for a raw file
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    size_t next = 0;             // where the next record starts
    bool passed_over = false;    // travels in the file but is not for this command
};

bool accepts(const option_row& o, uint32_t tag)
{
    for (const uint32_t* t = o.tags; *t; ++t)
        if (*t == tag)
            return true;
    return false;
}

// The header of the record at `pos` with its data inside the file. 0 and the header size (0 for
// the raw file that has no header); 1 refused.
int record_header(const HostOps& ops, const file_image& f, size_t pos, wrapped_image_header* hdr, int* size)
{
    *size = toe_wrapped_header_at(f.data.data(), f.length, pos, hdr);
    if (*size == 0)
        return pos == 0 ? 0 : bad_format(ops, "missing magic.");   // bytes after the last record
    if (*size < 0)
        return bad_format(ops, f.length - pos >= 8 && hdr->version != 1 && hdr->version != 2
                                   ? "incorrect format version."
                                   : "truncated record.");
    return hdr->length > f.length - pos - size_t(*size) ? bad_format(ops, "truncated record.") : 0;
}

// Every record header of the file, before anything is judged or written.
int check_layout(const HostOps& ops, const file_image& f)
{
    for (size_t pos = 0; pos < f.length;) {
        wrapped_image_header hdr;
        int size = 0;
        if (record_header(ops, f, pos, &hdr, &size) != 0)
            return 1;
        if (size == 0)
            break;
        pos += size_t(size) + hdr.length;
    }
    return 0;
}

// Reads the record at `pos`: its row and the checks of its header. 0, or 1 refused.
int next_record(const HostOps& ops, const request& r, const file_image& f, size_t pos, int raw_row,
                const uint32_t* skip, record* rec)
{
    wrapped_image_header hdr;
    int size = 0;
    if (record_header(ops, f, pos, &hdr, &size) != 0)
        return 1;
    if (size == 0) {
        *rec = {raw_row, 0, f.data.data(), f.length, f.length, false};
        return 0;
    }
    rec->tag = hdr.tag;
    rec->data = f.data.data() + pos + size;
    rec->length = hdr.length;
    rec->next = pos + size_t(size) + hdr.length;
    rec->passed_over = false;
    if (hdr.version == 1) {
        rec->row = toe_image_by_tag(hdr.tag);
        return rec->row < 0 ? bad_format(ops, "unknown file type.") : 0;
    }
    rec->row = toe_wrapped_record_row(ops, hdr);
    if (rec->row == -2) {
        rec->passed_over = true;
        return 0;
    }
    if (rec->row < 0)
        return bad_format(ops, "unknown file type.");
    const int compat = toe_check_image_compat(ops, hdr, skip);
    if (compat < 0)
        return 1;
    const bool boot_cfg = hdr.tag == tag_of(TOE_IMG_ISB_CFG) || hdr.tag == TAG_IBC6 || hdr.tag == tag_of(TOE_IMG_ISB_CPRG);
    if (compat == 1 && !(r.iscsi_mode() && boot_cfg)) {
        rec->passed_over = true;
        return 0;
    }
    return accepts(*r.option, hdr.tag) ? 0 : bad_format(ops, not_intended(*r.option));
}

// -mba -p: the PCI function number is forced in the block that the word at byte 8 points at.
bool force_pfn(uint8_t* image, uint32_t length, uint16_t pfn)
{
    if (length < 10)
        return false;
    const uint32_t block = toe::load_le16(image + 8);
    if (uint64_t(block) + 0x22 > length)
        return false;
    image[block] |= 0x04;
    image[block + 0x20] = uint8_t(pfn);
    image[block + 0x21] = uint8_t(pfn >> 8);
    return true;
}

// The checks an option makes on the image itself; the boot agent also gets the adapter's PCI IDs.
int check_image(const HostOps& ops, uint32_t dev, const request& r, uint8_t* image, uint32_t length, bool* ccm)
{
    *ccm = false;
    if (is_option(r, "-mba")) {
        if (length < 2 || image[0] != 0x55 || image[1] != 0xAA)
            return bad_format(ops, "Not intended for -mba option.");
        if (r.pfn_forced && !force_pfn(image, length, r.pfn))
            return fail(ops, ERR_MBA_IMAGE, "Not a valid KV9 MBA image.");
        if (!r.no_device_check) {
            uint32_t ids = 0;
            if (toe::read_dword(ops, dev, toe_nvm_id_word_offset(ops, toe::board(ops)), &ids) != 0)
                return fail(ops, toe::ERR_READ, "Reading VID/DID from NVM failed.");
            if (toe_rom_patch_pci_ids(image, length, uint16_t(ids >> 16), uint16_t(ids)) != 0)
                return fail(ops, ERR_MBA_IMAGE, "Not a valid KV9 MBA image.");
        }
        *ccm = ccm_is_embedded(image, length) != 0;
    } else if (is_option(r, "-ump")) {
        char text[64];
        toe_nvm_image_versions(ops, image, length, 0, "UMP", text, sizeof text);
        if (!std::strstr(text, "UMP"))
            return bad_format(ops, "Not intended for -ump option.");
    }
    return 0;
}

// What happens to a record of this row besides (or instead of) programming it as it is. 0 and
// whether to program it; 1 when the step failed.
int row_rules(const HostOps& ops, const request& r, walk_state& st, const record& rec, uint8_t* image, bool* program)
{
    *program = true;
    switch (rec.row) {
    case TOE_IMG_ISCSI_B: {
        const int wanted = rec.tag == TAG_IB6 ? 2 : rec.tag == TAG_IB4N ? 3 : 1;
        if (wanted != r.iscsi_mode()) {
            *program = false;
        } else if (rec.length >= 16) {
            // The IP layout mark of the boot image: its configuration block is in layout 2.
            const uint32_t mark = toe::load_le32(image + 12) & 0xFFFF;
            if (mark == 0x86DD || mark == 0x0800 || mark == 0xC0B0)
                st.layout2_boot = true;
        }
        return 0;
    }
    case TOE_IMG_ISB_CFG:
    case TOE_IMG_ISB_CFG2:
        *program = false;
        return iscsi_cfg_step(ops, r, st, rec.tag, rec.row, image, rec.length);
    case TOE_IMG_FEB_CFG:
    case TOE_IMG_FEB_CFG2:
        if (!r.feb_cfg_forced && row_present(ops, rec.row)) {
            fwupg_dbg_printf("skipping FCOE boot config block\n");
            *program = false;
        }
        return 0;
    case TOE_IMG_FEB_CPRG:
        if (!r.feb_prog_forced) {
            fwupg_dbg_printf("skipping FCOE boot config program block\n");
            *program = false;
        }
        return 0;
    case TOE_IMG_NCSI_CMN:
        if (!r.ncsi)
            return 0;
        if (rec.length < 120)
            return bad_format(ops, "image too short.");
        if (toe::load_le32(image + 116) > NCSI_NEWER_THAN) {
            int index = 0;
            if (toe_nvm_find_dir_entry(ops, g_toe_image_table[TOE_IMG_NCSI_XLIB].dir_type, &index) == 0 &&
                toe_nvm_write_dir_entry(ops, index, 0, 0, 0, 0, 0) != 0) {
                toe::set_error(ops, ERR_XLIB_CLEAR);
                return 1;
            }
        }
        return 0;
    default:
        return 0;
    }
}

// After -ipmi: the IPMI pass-through configuration exists and its table address fits the IPMI
// firmware's version.
void ipmi_post_step(const HostOps& ops)
{
    int cfg = 0;
    if (toe_nvm_find_dir_entry(ops, TOE_IPMI_CFG_DIR_TYPE, &cfg) != 0) {
        if (toe_ipmi_cfg_create(ops.interp) == 0)
            fwupg_dbg_printf("IPMI config image created.\n");
        else
            fwupg_dbg_printf("Error while creating IPMI config image.\n");
        return;
    }
    int init = 0;
    uint32_t init_offset = 0;
    if (toe_nvm_find_dir_entry(ops, DIR_IPMI_INIT, &init) != 0 ||
        toe_nvm_read_dir_entry(ops, init, &init_offset, nullptr, nullptr, nullptr, nullptr) != 0)
        return;
    const uint32_t table = toe_ipmi_cfg_table_addr(ops.interp, toe_nvm_image_dword28(ops, init_offset));
    uint32_t offset = 0, count = 0, sram = 0, type = 0, cpu = 0;
    if (toe_nvm_read_dir_entry(ops, cfg, &offset, &count, &sram, &type, &cpu) != 0 || sram == table)
        return;
    fwupg_dbg_printf("Cfg table updated to %08x\n", table);
    toe_nvm_write_dir_entry(ops, cfg, offset, count, table, type, cpu);
}

struct virt_nvm_release {
    ~virt_nvm_release() { virt_nvm_free(); }
};

// The walk holds the directory: the entries of its images (and the entries its follow-ups clear)
// reach the NVRAM together, in one write with the directory CRC, once the walk ends. Until then the
// directory in force names the previous images, which stay whole: the new ones go beside them.
// A walk that stops early still enters the images programmed before the record that stopped it.
class held_walk_directory {
public:
    explicit held_walk_directory(const HostOps& ops) : ops_(ops) { toe_nvm_hold_dir(); }
    ~held_walk_directory()
    {
        try {
            toe_nvm_publish_dir(ops_);
        } catch (const std::bad_alloc&) {
        }
        toe_nvm_drop_dir();
    }
    held_walk_directory(const held_walk_directory&) = delete;
    held_walk_directory& operator=(const held_walk_directory&) = delete;
    int publish()
    {
        return toe_nvm_publish_dir(ops_) != 0 ? fail(ops_, toe::ERR_DIR_WRITE, "Directory update in NVM failed.") : 0;
    }

private:
    HostOps ops_;
};

int upgrade(const HostOps& ops, int objc, Tcl_Obj* const objv[])
{
    request r;
    if (parse_request(ops, objc, objv, &r) != 0)
        return 1;
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev)) {
        toe::set_error(ops, toe::ERR_NO_DEVICE);
        return 1;
    }
    virt_nvm_free();

    file_image f;
    if (read_file(ops, r.file, &f) != 0)
        return 1;
    if (check_layout(ops, f) != 0)
        return 1;
    const std::vector<uint32_t> skip = skip_list(ops, r);

    // A raw file is refused for what it cannot be before its size is judged.
    wrapped_image_header first;
    int raw_row = -1;
    if (f.length > 0 && toe_wrapped_header_at(f.data.data(), f.length, 0, &first) == 0 &&
        raw_file_row(ops, objv, r, &raw_row) != 0)
        return 1;
    int fits = 0;
    if (toe_nvm_image_file_fits(ops, f.data.data(), f.length, r.option->name, skip.data(), &fits) != 0 || !fits)
        return fail(ops, ERR_NO_STORAGE, "Not enough NVRAM storage.");

    walk_state st;
    held_walk_directory dir(ops);
    bool checked = !r.version_check, passed = false;
    for (size_t pos = 0; pos < f.length;) {
        record rec;
        if (next_record(ops, r, f, pos, raw_row, skip.data(), &rec) != 0)
            return 1;
        pos = rec.next;
        if (rec.passed_over)
            continue;
        std::vector<uint8_t> image(((uint64_t(rec.length) + 3) & ~uint64_t(3)) + 4, 0);
        std::memcpy(image.data(), rec.data, rec.length);
        bool ccm = false;
        if (check_image(ops, dev, r, image.data(), rec.length, &ccm) != 0)
            return 1;
        if (!checked) {
            checked = true;
            if (toe_nvm_upgrade_version_check(ops, rec.row, image.data(), rec.length) != 0)
                return 1;
        }
        bool program = true;
        if (row_rules(ops, r, st, rec, image.data(), &program) != 0)
            return 1;
        const int programmed = program ? toe_nvm_prog_image_by_idx(ops, image.data(), rec.length, rec.row) : 0;
        if (ccm) {
            // The boot agent brings its own CCM: the separate one would shadow it.
            fwupg_dbg_printf("MBA has an embedded CCM, removing existing one from NVRAM.\n");
            int index = 0;
            if (toe_nvm_find_dir_entry(ops, DIR_CCM, &index) == 0)
                toe_nvm_write_dir_entry(ops, index, 0, 0, 0, 0, 0);
        }
        if (programmed != 0)
            return 1;
        passed = true;
    }
    if (dir.publish() != 0)
        return 1;

    if (passed && g_virt_nvm.data && dev == 0)
        nvm_file_write_refused(ops, r.file.c_str());
    if (is_option(r, "-ipmi"))
        ipmi_post_step(ops);
    return 0;
}

}  // namespace

int toe_nvm_upgrade_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    virt_nvm_release release;
    try {
        return upgrade(ops, objc, objv) == 0 ? TCL_OK : TCL_ERROR;
    } catch (const std::bad_alloc&) {
        fail(ops, toe::ERR_NO_MEMORY, "No more host memory.");
        return TCL_ERROR;
    }
}
