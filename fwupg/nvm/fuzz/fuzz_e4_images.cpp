// Fuzz target of the E4 readers. First input byte even: the rest is a firmware file, walked as a
// bundle, checked for its TIM version, read for the version text of every image type and walked as
// a boot-agent ROM. Odd: the rest is the NVRAM of a simulated E4 adapter, whose directory copies
// are chosen and read, and whose images are looked up, loaded and read for their versions, as the
// listing and the crc command do.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fwupg/nvm/e4/commands.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_header.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/versions.h"

namespace {

using fwupg::nvm::test::CurrentAdapter;
using fwupg::nvm::test::FakeAdapter;
namespace e4 = fwupg::nvm::e4;

// Image types worth reading a version from: every type the directory can name.
constexpr uint32_t kMaxType = 64;

void file_readers(std::vector<uint8_t> file)
{
    const uint32_t len = uint32_t(file.size());
    e4::walk_bundle(file.data(), len, [](e4_image_header&, uint8_t*) { return true; });
    uint32_t tim = 0;
    e4::e4_bundle_tim_version(file.data(), len, &tim);
    const e4::ImageRef image = e4::ImageRef::buffer(file.data(), len);
    for (uint32_t type = 0; type < kMaxType; ++type)
        e4::e4_image_version_str(image, type);
    uint32_t versions[e4::kMbaSlots] = {};
    e4::e4_mba_component_versions(image, versions);
}

FakeAdapter& adapter()
{
    static FakeAdapter a;
    return a;
}

void nvram_readers(const uint8_t* data, size_t size)
{
    FakeAdapter& a = adapter();
    // The NVRAM is the input padded with erased bytes to whole dwords and past both directory
    // copies, so the directory reads always reach flash.
    size_t n = (size + 3) & ~size_t(3);
    const size_t least = e4::kDirOffset + 2 * e4::kDirCopyBytes;
    if (n < least)
        n = least;
    a.nvram.assign(n, 0xFF);
    std::copy(data, data + size, a.nvram.begin());
    a.set_e4_device_id(0x1656);
    a.set_toe("NVM_SIZE", std::to_string(n));
    CurrentAdapter current(a);

    e4::DirPtr dir = e4::load_dir();
    if (!dir)
        return;
    for (uint32_t i = 0; i < dir->count && i < 204; ++i) {
        const e4_nvm_entry& entry = dir->entries[i];
        e4::e4_image_version_str(e4::ImageRef::nvram(entry.nvm_off, entry.len), entry.type);
    }
    for (uint32_t bank = 0; bank < 2; ++bank) {
        uint32_t tim = 0;
        e4::e4_nvm_tim_version(dir.get(), bank, &tim);
    }
    for (uint32_t type = 0; type < kMaxType; ++type) {
        uint8_t* buffer = nullptr;
        uint32_t offset = 0, length = 0;
        if (e4_nvm_load_image(type, &buffer, &offset, &length) == 0)
            free(buffer);
    }
    e4::dir_listing();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 0x100000)
        return 0;
    if ((data[0] & 1) == 0)
        file_readers(std::vector<uint8_t>(data + 1, data + size));
    else
        nvram_readers(data + 1, size - 1);
    fwupg::nvm::test::take_debug_text();  // the engines' log is not kept between inputs
    return 0;
}
