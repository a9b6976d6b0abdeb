// "vpd read" and "vpd write": one field of the board's VPD, either in the 128-byte copy of the
// configuration area or in the VPD image of the directory (E1-E3: the extended directory's "VPD"
// row; E4: image type 7, the only VPD an E4 adapter has).
#include "fwupg/nvm/commands/vpd_cmd.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/e123/board_vpd.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/program.h"
#include "fwupg/nvm/e4/program.h"
#include "fwupg/nvm/e4/vpd.h"
#include "fwupg/nvm/formats/vpd_info.h"

using namespace fwupg::nvm;

namespace {

// One text field of the fixed record, with the longest text it takes.
struct CopyField {
    const char* name;
    size_t offset;
    size_t max;
    const char* missing;
    const char* too_long;
};
const CopyField kCopyFields[] = {
    {"PRODUCT_NAME", offsetof(vpd_info, product_name), 48, "VPD field product_name does not exist",
     "Input is too long for VPD PRODUCT_NAME field !"},
    {"PN", offsetof(vpd_info, pn), 16, "VPD field part_number does not exist", "Input is too long for VPD PN field !"},
    {"EC", offsetof(vpd_info, ec), 10, "VPD field ec_number does not exist", "Input is too long for VPD EC field !"},
    {"SN", offsetof(vpd_info, sn), 16, "VPD field serial_number does not exist", "Input is too long for VPD SN field !"},
    {"MN", offsetof(vpd_info, mn), 4, "VPD field manufacturing_id does not exist", "Input is too long for VPD MN field !"},
    {"YA", offsetof(vpd_info, ya), 16, "VPD field asset_tag does not exist", "Input is too long for VPD YA field !"},
    {"V0", offsetof(vpd_info, v0), 16, "VPD field v0 does not exist", "Input is too long for VPD V0 field !"},
    {"V1", offsetof(vpd_info, v1), 16, "VPD field v1 does not exist", "Input is too long for VPD V1 field !"},
};

const CopyField* copy_field(const char* name)
{
    std::string n = !std::strcmp(name, "PRODUCT NAME") ? "PRODUCT_NAME" : name;
    for (const CopyField& f : kCopyFields)
        if (n == f.name)
            return &f;
    return nullptr;
}

// Where a family keeps its VPD image: read it (header word first, CRC word last), fill the table,
// install a rebuilt image (header word and resources).
struct VpdImage {
    int (*read)(std::vector<uint8_t>& image);
    int (*table)(Tcl_Interp* interp, vpd_field_table* table);
    int (*install)(const uint8_t* image, uint32_t length);
};
const VpdImage kE123Image{read_vpd_image, common_nvm_get_ext_vpd_info, install_vpd_image};
const VpdImage kE4Image{e4::read_vpd_image, [](Tcl_Interp*, vpd_field_table* t) { return get_vpd_info_from_image(t); },
                        e4::e4_nvm_program_vpd};

const VpdImage& vpd_image()
{
    switch (chip_family()) {
    case ChipFamily::E4:
        return kE4Image;
    case ChipFamily::E1E3:
    case ChipFamily::Unknown:
        break;
    }
    return kE123Image;
}

void set_result(Tcl_Interp* interp, const char* text) { Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1)); }

// The copy at 0x540: 0 parsed, 1 blank (no VPD header: template defaults), 2 unusable.
struct Copy {
    vpd_info info{};
    int state = 2;
};

Copy load_copy(int verbose)
{
    Copy c;
    uint8_t raw[kVpdCopyLength];
    if (common_nvm_read(kVpdCopyOffset, raw, kVpdCopyLength, 1) != 0)
        return c;
    const int parsed = vpd_parse_image_57710(&c.info, raw, verbose);
    if (parsed == 1) {
        vpd_set_defaults_57710(&c.info, 0x5F);
        c.state = 1;
        return c;
    }
    // Rebuilding must give back the bytes read, or something in the copy (a keyword the record
    // does not hold, a bad checksum) would be lost or replaced by a later write.
    if (parsed == 0 && vpd_copy_round_trips(raw))
        c.state = 0;
    return c;
}

// Upper-cases the field name; false (with the hint printed) when the commands do not know it.
bool known_name(std::string& name, const char* verb)
{
    if (vpd_field_name_valid(name.data()))
        return true;
    fwupg_dbg_printf("vpd %s failed! field name %s is incorrect\n", verb, name.c_str());
    print_severity("field name should be PN/EC/MN/SN/YA/FN/CC/FC/YB/Vx or PRODUCT_NAME\n", 1);
    return false;
}

int read_cmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    Tcl_ResetResult(interp);
    if (objc != 2)
        return TCL_ERROR;
    std::string name = Tcl_GetString(objv[1]);
    if (!known_name(name, "read"))
        return TCL_ERROR;
    if (vpd_uses_image(interp)) {
        vpd_field_table table;
        if (vpd_image().table(interp, &table) != 0)
            return TCL_ERROR;
        if (name == "PRODUCT_NAME" || name == "PRODUCT NAME") {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(table.product_name, table.name_length));
            return TCL_OK;
        }
        const vpd_field* f = vpd_table_find(&table, name.c_str());
        if (!f || name.size() != 2)
            set_result(interp, "Requested tag is not found in VPD info!\n");
        else if (name == "YB")
            Tcl_SetObjResult(interp, Tcl_NewByteArrayObj(f->data, f->length));
        else
            Tcl_SetObjResult(interp, Tcl_NewStringObj(reinterpret_cast<const char*>(f->data),
                                                      int(strnlen(reinterpret_cast<const char*>(f->data), f->length))));
        return TCL_OK;
    }
    uint8_t raw[kVpdCopyLength];
    if (common_nvm_read(kVpdCopyOffset, raw, kVpdCopyLength, 1) != 0)
        return TCL_ERROR;
    vpd_info info;
    vpd_parse_image_57710(&info, raw, 1);
    const CopyField* f = copy_field(name.c_str());
    if (!f) {
        set_result(interp, "Unknown VPD field");
        return TCL_OK;
    }
    const char* text = reinterpret_cast<const char*>(&info) + f->offset;
    set_result(interp, text[0] ? text : f->missing);
    return TCL_OK;
}

int write_copy(Tcl_Interp* interp, const std::string& name, const std::string& data)
{
    Copy c = load_copy(1);
    if (c.state == 2) {
        Tcl_AppendResult(interp, "Failed to read from NVM offset for VPD !!", nullptr);
        return TCL_ERROR;
    }
    const CopyField* f = copy_field(name.c_str());
    if (!f) {
        set_result(interp, "Unknown VPD field");
        return TCL_ERROR;
    }
    if (data.size() > f->max) {
        Tcl_AppendResult(interp, f->too_long, nullptr);
        return TCL_ERROR;
    }
    char* text = reinterpret_cast<char*>(&c.info) + f->offset;
    std::memset(text, 0, f->max + 1);
    std::memcpy(text, data.data(), data.size());
    uint8_t built[kVpdCopyLength];
    if (vpd_build_image_57710(&c.info, built) != 0) {
        Tcl_AppendResult(interp, "VPD fields do not fit the 128-byte VPD image !!", nullptr);
        return TCL_ERROR;
    }
    if (common_nvm_program_nvm(built, kVpdCopyLength, kVpdCopyOffset, 0, nullptr) != 0) {
        Tcl_AppendResult(interp, "Failed to program updated VPD info to NVM !!", nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int write_image(Tcl_Interp* interp, const std::string& name, const uint8_t* data, uint32_t length)
{
    std::vector<uint8_t> image;
    vpd_field_table table;
    const VpdImage& where = vpd_image();
    if (where.read(image) != 0 || vpd_table_from_image(image.data(), uint32_t(image.size()) - 4, &table, nullptr) != 0) {
        Tcl_AppendResult(interp, "Failed to get VPD image information !!", nullptr);
        return TCL_ERROR;
    }
    if (name == "PRODUCT_NAME" || name == "PRODUCT NAME") {
        if (!vpd_table_set_name(&table, reinterpret_cast<const char*>(data), length)) {
            Tcl_AppendResult(interp, "Input is too long for VPD PRODUCT_NAME field !", nullptr);
            return TCL_ERROR;
        }
    } else {
        bool added = false;
        if (name.size() != 2 || !vpd_table_set(&table, name.c_str(), data, length, &added)) {
            Tcl_AppendResult(interp, "Failed to create VPD image!\n", nullptr);
            return TCL_ERROR;
        }
        if (added)
            Tcl_AppendResult(interp, "VPD tag not found. Adding a new VDP tag ..", nullptr);
    }
    uint32_t size = uint32_t(image.size()) - 8;
    const uint32_t need = vpd_table_size(&table);
    if (need > size)
        size = (need & ~3u) + 4;
    uint8_t* built = vpd_table_build_image(&table, size, 1);
    if (!built) {
        Tcl_AppendResult(interp, "Failed to create VPD image!\n", nullptr);
        return TCL_ERROR;
    }
    int rc = where.install(built, size + 4);
    common_nvm_free(built);
    if (rc != 0) {
        Tcl_AppendResult(interp, "Failed to program updated VPD image !!", nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int write_cmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3)
        return TCL_ERROR;
    std::string name = Tcl_GetString(objv[1]);
    if (!known_name(name, "write"))
        return TCL_ERROR;
    int n = 0;
    const uint8_t* bytes = name == "YB" ? Tcl_GetByteArrayFromObj(objv[2], &n)
                                        : reinterpret_cast<const uint8_t*>(Tcl_GetStringFromObj(objv[2], &n));
    if (n > int(kVpdMaxData)) {
        fwupg_dbg_printf("field data exceeds the maximum length allowed %d \n", int(kVpdMaxData));
        return TCL_ERROR;
    }
    if (vpd_uses_image(interp))
        return write_image(interp, name, bytes, uint32_t(n));
    return write_copy(interp, name, std::string(reinterpret_cast<const char*>(bytes), size_t(n)));
}

}  // namespace

namespace fwupg::nvm {

bool vpd_uses_image(Tcl_Interp* interp)
{
    if (common_nvm_is_e4())
        return true;  // no copy in a configuration area on E4
    const char* v = interp ? Tcl_GetVar2(interp, "::toe", "IS_VPD_IMAGE", TCL_GLOBAL_ONLY) : nullptr;
    if (v)
        return std::strcmp(v, "0") != 0;
    HostOps h{};
    uint32_t off = 0, len = 0;
    return get_current_host_ops(&h) && common_nvm_vpd_in_ext_dir(h, &off, &len) == 1;
}

}  // namespace fwupg::nvm

extern "C" {

int tcl_al_vpd_read_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return guarded_command(interp, [&] { return read_cmd(interp, objc, objv); });
}

int tcl_al_vpd_write_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return guarded_command(interp, [&] { return write_cmd(interp, objc, objv); });
}

}  // extern "C"
