// The board's VPD in the E1-E3 layout: the 128-byte copy of the configuration area at 0x540, or
// the "VPD" image of the extended directory when the board keeps it there.
#include "fwupg/nvm/e123/board_vpd.h"

#include <cstring>
#include <string>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/program.h"

namespace fwupg::nvm {

namespace {

constexpr uint32_t kMaxImageRead = 0x10000;

}  // namespace

// Reads the image of the extended directory's "VPD" row in host view (CRC word last, as read).
int read_vpd_image(std::vector<uint8_t>& image)
{
    uint32_t off = 0, len = 0, row = 0;
    if (common_nvm_find_ext_image_by_name("VPD", &off, &len, &row) != 0 || len < 12 || len > kMaxImageRead) {
        fwupg_dbg_printf("Get VPD image offset and length failed!");
        return 1;
    }
    try {
        image.assign(len, 0);
    } catch (...) {
        fwupg_dbg_printf("No more host memory.");
        return 1;
    }
    if (common_nvm_read_abortable(image.data(), 1, len, off, nullptr) != 0) {
        fwupg_dbg_printf("Dump VPD image from NVM into buffer failed!");
        return 1;
    }
    common_nvm_swap_buffer(image.data(), len - 4);
    return 0;
}

// Installs a VPD image (host view, without CRC) as the extended directory's VPD entry. The new
// image is placed and listed before the old one is given up, so a failure keeps the old VPD.
int install_vpd_image(const uint8_t* image, uint32_t length)
{
    int row = row_by_name("VPD");
    if (row < 0)
        return 1;
    return common_nvm_install_ext_image(image, length, uint32_t(row), 0, 1, 0, 0) == 0 ? 0 : 1;
}

int vpd_save_board_fields(Tcl_Interp*, vpd_board_fields* saved)
{
    HostOps h{};
    uint32_t off = 0, len = 0;
    saved->in_image = get_current_host_ops(&h) && common_nvm_vpd_in_ext_dir(h, &off, &len) == 1;
    if (saved->in_image) {
        if (read_vpd_image(saved->bytes) != 0)
            return 1;
        saved->bytes.resize(saved->bytes.size() - 4);  // the CRC is added again on install
        return 0;
    }
    saved->bytes.assign(kVpdCopyLength, 0);
    return common_nvm_read(kVpdCopyOffset, saved->bytes.data(), kVpdCopyLength, 1) == 0 ? 0 : 1;
}

int vpd_restore_board_fields(Tcl_Interp* interp, const vpd_board_fields* saved)
{
    int rc = saved->in_image
                 ? install_vpd_image(saved->bytes.data(), uint32_t(saved->bytes.size()))
                 : (common_nvm_program_nvm(saved->bytes.data(), kVpdCopyLength, kVpdCopyOffset, 0, nullptr) == 0 ? 0 : 1);
    if (rc != 0) {
        print_severity("Failed to program VPD field\n", 1);
        if (interp)
            Tcl_AppendResult(interp, "Failed to program VPD field\n", nullptr);
    }
    return rc;
}

}  // namespace fwupg::nvm

using namespace fwupg::nvm;

extern "C" {

int common_nvm_get_ext_vpd_info(Tcl_Interp*, vpd_field_table* table)
{
    if (!table)
        return 1;
    std::vector<uint8_t> image;
    if (read_vpd_image(image) != 0)
        return 1;
    std::string why;
    if (vpd_table_from_image(image.data(), uint32_t(image.size()) - 4, table, &why) != 0) {
        fwupg_dbg_printf("Failed to get VPD info from image: %s\n", why.c_str());
        return 1;
    }
    return 0;
}

int common_nvm_set_ext_vpd_v0(Tcl_Interp* interp, const char* v0)
{
    if (!v0)
        return 1;
    std::vector<uint8_t> image;
    vpd_field_table table;
    if (read_vpd_image(image) != 0 || vpd_table_from_image(image.data(), uint32_t(image.size()) - 4, &table, nullptr) != 0)
        return 1;
    if (!vpd_table_set(&table, "V0", reinterpret_cast<const uint8_t*>(v0), uint32_t(std::strlen(v0))))
        return 1;
    uint32_t size = uint32_t(image.size()) - 8;
    const uint32_t need = vpd_table_size(&table);
    if (need > size)
        size = (need & ~3u) + 4;
    uint8_t* built = vpd_table_build_image(&table, size, load_u32(image.data()));
    if (!built) {
        if (interp)
            Tcl_AppendResult(interp, "Failed to create VPD image!\n", nullptr);
        return 1;
    }
    int rc = install_vpd_image(built, size + 4);
    common_nvm_free(built);
    return rc;
}

int common_nvm_vpd_in_ext_dir(HostOps, uint32_t* nvm_offset, uint32_t* length)
{
    uint32_t off = 0, len = 0, row = 0;
    if (common_nvm_find_ext_image_by_name("VPD", &off, &len, &row) != 0)
        return 0;
    if (nvm_offset)
        *nvm_offset = off;
    if (length)
        *length = len;
    return 1;
}

void vpd_print_field(const uint8_t* image, uint32_t length, const char* keyword)
try {
    if (!image || !keyword)
        return;
    // The resources come without the header word the table parser skips.
    std::vector<uint8_t> with_header(4, 0);
    with_header.insert(with_header.end(), image, image + length);
    vpd_field_table table;
    if (vpd_table_from_image(with_header.data(), uint32_t(with_header.size()), &table, nullptr) != 0)
        return;
    const vpd_field* f = vpd_table_find(&table, keyword);
    if (f && f->length)
        fwupg_dbg_printf("VPD (%c%c): %.*s\n", keyword[0], keyword[1], int(f->length),
                         reinterpret_cast<const char*>(f->data));
} catch (...) {
}

}  // extern "C"
