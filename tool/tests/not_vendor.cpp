// A shared library that opens fine but is not the vendor library: it exports none of the oem_
// functions. It records that it was opened in the stand-in library's journal.
#include <cstdio>

extern "C" __attribute__((visibility("default"))) int not_vendor_entry() { return 42; }

namespace {

__attribute__((constructor)) void announce_load()
{
    if (FILE* f = std::fopen("fake_oem.journal", "a")) {
        std::fputs("load not_vendor.so\n", f);
        std::fclose(f);
    }
}

}  // namespace
