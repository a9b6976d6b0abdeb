// Fuzz target of the legacy engine's image-file parsers: the wrapped record walk with its row
// rules and compatibility check, the sectioned-header length and conversion to a memory image,
// and the file-fit walk against a simulated adapter. The first input byte picks the board (bits
// 0-2), the port (bit 3), the medium (bit 4) and the command option (bits 5-7); the rest is the
// image file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/prog_image.h"
#include "legacy_fake_host.h"

namespace {

FakeHost& host()
{
    static FakeHost h{testkit::legacy::adapter{}};
    return h;
}

const char* const BOARDS[] = {"5706", "5708", "5709", "5716", "57728", "5700", "0x1639", ""};
const char* const OPTIONS[] = {"-bc1", "-mba", "-ib", "-ump", "-ipmi", "-ccm", "-feb", "-nosuch"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FakeHost& h = host();
    const uint8_t sel = data[0];
    h.set_toe("BOARD", BOARDS[sel & 7]);
    h.set_toe("PORT0", (sel & 8) ? "0" : "1");
    const int option_index = (sel >> 5) & 7;
    // The last option index also gives a medium the compatibility check does not know.
    h.set_toe("PHY_TYPE", option_index == 7 ? "FIBRE" : (sel & 16) ? "SERDES" : "COPPER");
    const char* option = OPTIONS[option_index];
    const std::vector<uint8_t> file(data + 1, data + size);
    const uint8_t* buf = file.data();
    const uint32_t len = uint32_t(file.size());
    const HostOps ops = h.ops();

    // Record walk as the upgrade does it: each header, its row and its compatibility.
    static const uint32_t skip[] = {toe_tag_word('n', 'c', 'l', 'x'), 0};
    size_t pos = 0;
    while (pos < len) {
        wrapped_image_header hdr{};
        const int hsize = toe_wrapped_header_at(buf, len, pos, &hdr);
        if (hsize <= 0 || hdr.length > len - pos - size_t(hsize))
            break;
        toe_wrapped_record_row(ops, hdr);
        if (hdr.version == 2)
            toe_check_image_compat(ops, hdr, skip);
        toe_image_sram_length(buf + pos + hsize, hdr.length);
        pos += size_t(hsize) + hdr.length;
    }
    toe_image_sram_length(buf, len);
    // The conversion copies every section the header names: each must stay inside the file.
    toe_memory_image memory;
    toe_sectioned_to_memory(buf, len, 0x100000, &memory);

    int fits = 0;
    toe_nvm_image_file_fits(ops, buf, len, option, skip, &fits);
    toe_nvm_image_file_fits(ops, buf, len, option, nullptr, &fits);
    Tcl_ResetResult(h.interp);
    return 0;
}
