// Fuzz target of the firmware package reader: any file is read, validated, searched and, when it
// validates, extracted into a private temporary folder and removed again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fwupg/fw_package.h"

namespace {

std::string g_folder;

void RemoveWorkFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

// A temporary folder that the process works in (extraction writes into the current folder),
// made once and removed at exit.
const std::string& WorkFolder()
{
    if (g_folder.empty()) {
        char tmpl[] = "/tmp/fwupg_fuzz_pkgXXXXXX";
        if (!mkdtemp(tmpl) || chdir(tmpl) != 0) std::abort();
        g_folder = tmpl;
        std::atexit(RemoveWorkFolder);
    }
    return g_folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WorkFolder() + "/input.pkg";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    // Ids of the seed packages' first row.
    fwupg::FwPackage pkg(path.c_str(), 0x14E4, 0x168E, 0x103C, 0x1917);
    uint32_t version = 0, date = 0;
    pkg.GetVersionAndDate(&version, &date);
    char text[8];
    pkg.GetVersionString(text, sizeof text);
    std::vector<uint8_t> image;
    pkg.ExtractImage("MFW", image);
    pkg.ExtractImage("NVM_CFG", image);
    if (pkg.GetCommandCount() > 0) {
        for (size_t i = 0; i <= pkg.GetCommandCount(); ++i) pkg.GetCommand(i);
        pkg.OrderMfwAndPk(true);
    }
    pkg.DeleteExtractedFiles();
    std::remove(path.c_str());
    return 0;
}
