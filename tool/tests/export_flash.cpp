// A second way into the vendor library for the end-to-end tests: flashes one image on the adapter
// at a PCI address through the library's export, as a management program would, with the library
// bound from the current folder as TIRN binds it.
//   export_flash <image file> <bus> <device> <function>
// Prints "Flash result: <code>" and exits 0 when the library reports success (codes 0-2), 1 when
// it reports a failure, 2 on bad arguments or when no library can be bound.
#include "vendor_library.h"

#include "platform/utf16.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <image file> <bus> <device> <function>\n", argv[0]);
        return 2;
    }
    unsigned long pci[3];
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        pci[i] = std::strtoul(argv[2 + i], &end, 0);
        if (!*argv[2 + i] || *end) {
            std::fprintf(stderr, "bad PCI number: %s\n", argv[2 + i]);
            return 2;
        }
    }
    if (tirn::LoadVendorLibrary(nullptr) != 0) {
        std::fprintf(stderr, "no vendor library in the current folder\n");
        return 2;
    }
    const std::u16string image = platform::to_utf16(argv[1]);
    const uint32_t code = tirn::oem_do_full_flash_PCI(image.c_str(), 1, 0, static_cast<uint32_t>(pci[0]),
                                                      static_cast<uint32_t>(pci[1]), static_cast<uint32_t>(pci[2]));
    std::printf("Flash result: %u\n", code);
    return code <= 2 ? 0 : 1;
}
