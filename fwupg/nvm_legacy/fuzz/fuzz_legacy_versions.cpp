// Fuzz target of the legacy engine's version readers. First input byte even: the rest is an image
// file, read for the version text of every image kind, walked as a boot ROM, patched with PCI ids
// and tested for an embedded CCM directory; its leading text is also parsed as a version. Odd:
// the rest is the NVRAM of a simulated adapter, whose directory entries are read for their
// version texts (the boot ROM walk bounded by the MBA entry).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/versions.h"
#include "legacy_fake_host.h"

namespace {

FakeHost& host()
{
    static FakeHost h{testkit::legacy::adapter{}};
    return h;
}

void file_readers(FakeHost& h, std::vector<uint8_t> file)
{
    const HostOps ops = h.ops();
    const uint32_t len = uint32_t(file.size());
    char text[512];
    for (const toe_image_row& row : g_toe_image_table)
        toe_nvm_image_versions(ops, file.data(), len, 0, row.name, text, sizeof text);
    toe_nvm_print_versions(text);

    uint32_t revisions[8];
    const char* names[8] = {};
    toe_option_rom_versions(ops, revisions, file.data(), len, 0, names, 0);
    ccm_is_embedded(file.data(), len);
    toe_rom_patch_pci_ids(file.data(), len, 0x14E4, 0x1639);

    const std::string leading(file.begin(), file.begin() + (len < 96 ? len : 96));
    uint32_t packed = 0;
    toe_parse_version(leading.c_str(), "v", &packed);
    toe_parse_version(leading.c_str(), "", &packed);
}

void nvram_readers(FakeHost& h, const uint8_t* data, size_t size)
{
    // The NVRAM is the input padded with erased bytes to whole dwords and at least the fixed area.
    size_t n = (size + 3) & ~size_t(3);
    if (n < TOE_IMAGES_START)
        n = TOE_IMAGES_START;
    h.nvram.assign(n, 0xFF);
    std::copy(data, data + size, h.nvram.begin());
    h.set_toe("NVM_SIZE", std::to_string(n));
    const HostOps ops = h.ops();
    char text[512];
    for (const toe_image_row& row : g_toe_image_table) {
        int index = 0;
        uint32_t offset = 0;
        if (row.dir_type == TOE_DIR_TYPE_BC1)
            continue;
        if (toe_nvm_find_dir_entry(ops, row.dir_type, &index) == 0 &&
            toe_nvm_read_dir_entry(ops, index, &offset, nullptr, nullptr, nullptr, nullptr) == 0) {
            toe_nvm_image_versions(ops, nullptr, 0, offset, row.name, text, sizeof text);
            toe_nvm_image_dword28(ops, offset);
        }
    }
    Tcl_ResetResult(h.interp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FakeHost& h = host();
    if (data[0] & 1)
        nvram_readers(h, data + 1, size - 1);
    else
        file_readers(h, std::vector<uint8_t>(data + 1, data + size));
    return 0;
}
