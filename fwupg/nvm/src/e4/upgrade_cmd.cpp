// The E4 branch of "_upgrade": reads the file, makes or checks the image header (a bundle keeps
// its own headers) and programs it; a successful upgrade clears the MBI version and date, since
// the adapter no longer holds the package they named.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/e4/cfg_batch.h"
#include "fwupg/nvm/e4/commands.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/program.h"
#include "fwupg/nvm/e4/versions.h"
#include "fwupg/nvm/base/file_io.h"

namespace fwupg::nvm::e4 {

namespace {

constexpr uint32_t kLastErrorUsage = 2;
constexpr uint32_t kLastErrorFile = 13;
constexpr uint32_t kLastErrorProgram = 70;

int usage(Tcl_Interp* interp)
{
    set_last_error(kLastErrorUsage);
    const std::string text = "[-F] -<image_type> <filename>\n" + upgrade_type_list();
    Tcl_AppendResult(interp, text.c_str(), static_cast<char*>(nullptr));
    return -1;
}

void report(const char* fmt, const std::string& what, uint32_t severity)
{
    char text[128];
    std::snprintf(text, sizeof text, fmt, what.c_str());
    print_severity(text, severity);
}

}  // namespace

int upgrade_cmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc < 3)
        return usage(interp);
    // Inside a package (its configuration batch is open) the images add to the versions the
    // package's board fix-ups write; an image upgrade on its own starts without any.
    if (!cfg_batch_open())
        forget_remembered_versions();
    bool check = true;
    std::string option;
    for (int i = 1; i < objc - 1; ++i) {
        const char* w = Tcl_GetString(objv[i]);
        if (std::strcmp(w, "-F") == 0)
            check = false;
        else if (w[0] == '-')
            option = w;
    }
    if (option.empty())
        return usage(interp);
    const char* path = Tcl_GetString(objv[objc - 1]);
    uint32_t size = 0;
    if (common_nvm_file_size(path, &size) != 0) {
        set_last_error(kLastErrorFile);
        fwupg_dbg_printf("Couldn't find file named %s\n", path);
        return -1;
    }
    std::vector<uint8_t> file(size ? size : 1, 0);
    uint32_t got = 0;
    if (common_nvm_read_file(interp, path, file.data(), size, &got) != 0 || got != size) {
        set_last_error(kLastErrorFile);
        fwupg_dbg_printf("Failed to read input file\n");
        return -1;
    }
    if (std::strcmp(Tcl_GetString(objv[objc - 2]), "-mbi") == 0)
        return 0;

    const bool bundle = option == "-mfw";
    uint32_t row = 0;
    if (!bundle && e4_image_row_by_option(option.c_str(), &row) != 0)
        return usage(interp);
    const std::string what = bundle ? std::string("MFW") : std::string(g_image_table_e4[row].name);
    e4_image_header own{};
    e4_image_header* header = e4_image_header_prepare(file.data(), size, row, !bundle, &own);
    // NVM_CFG1 changes twice below (the MBA fields, the cleared MBI version): gathered, it is
    // written once, after the image.
    CfgBatch cfg_batch;
    int rc = -1;
    if (header) {
        // A file with its own header carries the data after it.
        const bool headed = !bundle && header != &own;
        uint8_t* data = headed ? file.data() + sizeof(e4_image_header) : file.data();
        const uint32_t length = headed ? size - uint32_t(sizeof(e4_image_header)) : size;
        rc = e4_nvm_program_image(header, data, length, !bundle, check);
    }
    if (rc != 0) {
        set_last_error(kLastErrorProgram);
        report("\r\nUpgrading %s failed\r\n", what, 1);
        return -1;
    }
    // The MBI version goes back to 0 ("not configured") until a package stores its own. When the
    // adapter has NVM_CFG1 and the write fails, it would go on reporting its old MBI version over
    // images that changed: the upgrade fails.
    uint32_t zero_version = 0, zero_date = 0, cfg_off = 0, cfg_len = 0;
    const bool cleared = e4_nvm_cfg_mbi_version(&zero_version, &zero_date, 1, kNvmCfg1) == 0;
    const bool has_cfg = e4_nvm_find_image(kNvmCfg1, &cfg_off, &cfg_len, nullptr) == 0;
    if (cfg_batch.commit() != 0 || (!cleared && has_cfg)) {
        set_last_error(kLastErrorProgram);
        report("\r\nUpgrading %s failed\r\n", what, 1);
        return -1;
    }
    report("\r\nUpgrading %s is success\r\n", what, 6);
    return 0;
}

}  // namespace fwupg::nvm::e4
