#include "fwupg/nvm_legacy/virt_nvm.h"

#include <cstring>
#include <string>

#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/file_io.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/prog_image.h"
#include "fwupg/nvm_legacy/program.h"
#include "fwupg/nvm_legacy/versions.h"
#include "toe_context.h"

virt_nvm_buffer g_virt_nvm = {nullptr, 0};
char virt_nvm_file_name[260] = "";

void virt_nvm_free()
{
    if (g_virt_nvm.data)
        Tcl_Free(reinterpret_cast<char*>(g_virt_nvm.data));
    g_virt_nvm = {nullptr, 0};
}

int toe_nvm_check_dev(uint32_t)
{
    virt_nvm_free();
    return 0;
}

int virt_nvm_load(HostOps ops, const char* file_name)
{
    virt_nvm_free();
    int32_t size = 0;
    if (nvm_file_size(file_name, &size) != 0 || size < 0) {
        toe::set_error(ops, toe::ERR_FILE);
        toe::append_result(ops, "error: virtnvm file does not exist.");
        return 1;
    }
    const uint32_t rounded = (static_cast<uint32_t>(size) + 3u) & ~3u;
    auto* data = reinterpret_cast<uint8_t*>(Tcl_AttemptAlloc(rounded + 4));
    if (!data) {
        toe::set_error(ops, toe::ERR_NO_MEMORY);
        toe::append_result(ops, "No more host memory.");
        return 1;
    }
    std::memset(data, 0, rounded + 4);
    g_virt_nvm = {data, rounded};
    if (nvm_file_read(ops, file_name, data, rounded, nullptr) != 0) {
        toe::set_error(ops, toe::ERR_FILE);
        toe::append_result(ops, "Can't read file.");
        virt_nvm_free();
        return 1;
    }
    return 0;
}

int nvm_file_write_refused(HostOps, const char*)
{
    fwupg_dbg_printf("NVM image file modification is not allowed\n");
    return 0;
}

void toe_nvm_image_version_by_name(HostOps ops, const char* name, char* text, size_t text_size)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return;
    if (!text || text_size < 13)
        return;
    text[0] = '\0';
    int row = -1;
    for (int i = 0; name && i < TOE_IMAGE_ROWS; ++i)
        if (std::strstr(g_toe_image_table[i].name, name)) {
            row = i;
            break;
        }
    if (row < 0)
        return;
    uint32_t offset = 0;
    if (g_toe_image_table[row].dir_type == TOE_DIR_TYPE_BC1) {
        // The bootstrap holds a flash address; on a buffered part it differs from the linear offset.
        if (toe::read_dword(ops, dev, 12, &offset) != 0)
            return;
        offset = nvm_flash_to_linear_addr(ops, dev, offset, 0);
    } else {
        int index = 0;
        if (toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index) != 0 ||
            toe_nvm_read_dir_entry(ops, index, &offset, nullptr, nullptr, nullptr, nullptr) != 0 || offset == 0)
            return;
    }
    toe_nvm_image_versions(ops, nullptr, 0, offset, g_toe_image_table[row].name, text, text_size);
}

namespace {
bool current(HostOps* ops)
{
    return get_current_host_ops(ops) != nullptr;
}
}  // namespace

int cur_nvm_find_dir_entry(void*, uint32_t dir_type, int* index)
{
    HostOps ops;
    return current(&ops) ? toe_nvm_find_dir_entry(ops, dir_type, index) : -1;
}

int cur_nvm_read_dir_entry(void*, int index, uint32_t* nvm_offset, uint32_t* byte_count, uint32_t* sram_addr,
                           uint32_t* dir_type, uint32_t* processor)
{
    HostOps ops;
    return current(&ops) ? toe_nvm_read_dir_entry(ops, index, nvm_offset, byte_count, sram_addr, dir_type, processor)
                         : -1;
}

int cur_nvm_read_range(void*, uint8_t* buf, int swap, uint32_t length, uint32_t nvm_offset, uint32_t* read_length)
{
    HostOps ops;
    return current(&ops) ? toe_nvm_read_range(ops, buf, swap, length, nvm_offset, read_length) : -1;
}

int cur_nvm_write_image(void*, uint8_t* buf, uint32_t length, uint32_t dir_type)
{
    HostOps ops;
    return current(&ops) ? toe_nvm_prog_image_by_type(ops, buf, length, dir_type) : -1;
}

int cur_nvm_image_version_by_name(void*, const char* name, char* text, size_t text_size)
{
    HostOps ops;
    if (!current(&ops))
        return -1;
    toe_nvm_image_version_by_name(ops, name, text, text_size);
    return 0;
}
