// The E4 directory listing (with the marks of the running and the pending bank) and the E4 CRC
// check of every image, or of one image with an optional fix of its trailing CRC.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/commands.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/versions.h"

namespace fwupg::nvm::e4 {

namespace {

void addf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void addf(std::string& out, const char* fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    out += line;
}

std::string entry_name(uint32_t type)
{
    const char* name = image_name(type);
    return name ? name : std::to_string(type);
}

// The mark of an entry: '*' for the directory copy in use and for images of the running bank,
// '!' for images of the bank that boots next when it is not the running one.
char mark_of(const e4_nvm_dir* dir, const e4_nvm_entry& e, uint32_t copy, uint32_t seq_bit, int running,
             int active, bool& pending)
{
    if ((e.type == kDir1 && copy == 0) || (e.type == kDir2 && copy == 1))
        return '*';
    const int bank = bank_of(e.type);
    uint32_t tim = 0;
    if (bank < 0 || running == -1 || e4_nvm_tim_version(dir, uint32_t(bank), &tim) != 0)
        return ' ';
    if (bank == active)
        return '*';
    if (uint32_t(bank) == seq_bit) {
        pending = true;
        return '!';
    }
    return ' ';
}

// The CRC of one entry of the full check: 0 with the stored and computed values, 1 when it has
// none to check (N/A), -1 when it cannot be read. A crash dump is written by the firmware as it
// fails, without a CRC. A directory self entry (DIR1, DIR2) names a copy whose CRC stands after
// that copy's own entries, which need not be as many as those of the copy in force; a copy not
// in use (erased, or not yet written) has none.
int entry_crc(const e4_nvm_entry& e, uint32_t* stored, uint32_t* computed)
{
    if (e.type == kCrashDump)
        return 1;
    uint32_t span = e.len >= 4 ? e.len - 4 : 0;
    if (e.type == kDir1 || e.type == kDir2) {
        uint32_t head[2] = {};
        if (common_nvm_read(e.nvm_off, head, sizeof head, 0) != 0)
            return -1;
        if (head[0] >= 0xFFFFFFFEu)
            return 1;
        if (head[1] >= kMaxCandidateCount)
            return -1;
        span = 12 + 20 * head[1];
    } else if (e.len < 4) {
        return -1;
    }
    if (compute_crc(e.nvm_off, span, computed) != 0 || common_nvm_read(e.nvm_off + span, stored, 4, 0) != 0)
        return -1;
    return 0;
}

}  // namespace

int dir_listing()
{
    uint32_t copy = 0, seq_bit = 0;
    DirPtr dir = load_dir(&copy, &seq_bit);
    if (!dir) {
        fwupg_dbg_printf("Failed to read DIR image !\n");
        return 1;
    }
    int running = -1, active = -1;
    if (get_running_mfw(current_host() ? current_host()->interp : nullptr, &running, &active) != 0)
        fwupg_dbg_printf("Failed to get_running_mfw!\n");

    std::string out;
    uint32_t version = 0, date = 0;
    if (e4_nvm_cfg_mbi_version(&version, &date, 0, kNvmCfg1) == 0 && version != 0)
        addf(out, "MBI version: %d.%d.%d    MBI date: %d/%d/%d\n", int((version >> 16) & 0xFF),
             int((version >> 8) & 0xFF), int(version & 0xFF), int(date >> 24), int((date >> 16) & 0xFF),
             int(__builtin_bswap16(uint16_t(date))));
    const std::string dashes(78, '-');
    out += dashes + "\n";
    addf(out, "%12s  %10s  %10s  %10s  %6s  %8s\n", "Image", "SRAM Addr", "SRAM Run Addr", "NVM Offset", "Byte Cnt",
         "Version");
    out += dashes + "\n";
    bool pending = false;
    for (uint32_t i = 0; i < dir->count && i < std::size(dir->entries); ++i) {
        const e4_nvm_entry& e = dir->entries[i];
        const char* name = image_name(e.type);
        uint32_t first_off = 0;
        if (!name || e4_nvm_find_image(e.type, &first_off, nullptr, dir.get()) != 0 || first_off == 0)
            continue;
        const char mark = mark_of(dir.get(), e, copy, seq_bit, running, active, pending);
        const std::string text = e4_image_version_str(ImageRef::nvram(e.nvm_off, e.len), e.type);
        addf(out, "%11s%c  0x%08X    0x%08X   0x%08X  0x%05x   %6s\n", name, mark, e.sram, e.sram_run, e.nvm_off,
             e.len, text.empty() ? "N/A" : text.c_str());
    }
    out += "--------------\n* Running Image\n";
    if (pending)
        out += "! Pending till reboot\n";
    fwupg_dbg_printf("%s", out.c_str());
    return 0;
}

int crc_cmd(int objc, Tcl_Obj* const objv[])
{
    Tcl_Interp* interp = current_host() ? current_host()->interp : nullptr;
    if (objc > 3) {
        if (interp)
            Tcl_WrongNumArgs(interp, 1, objv, "[[specicif image] [-fix]]");
        return -1;
    }
    DirPtr dir = load_dir();
    if (!dir)
        return -1;
    const bool quiet = objc == 2 && strcasecmp(Tcl_GetString(objv[1]), "-no_print") == 0;

    if (objc >= 2 && !quiet) {
        const char* name = Tcl_GetString(objv[objc - 1]);
        const bool fix = objc == 3;
        if (fix && std::strcmp(Tcl_GetString(objv[1]), "-fix") != 0) {
            fwupg_dbg_printf("param can only be '-fix'\n");
            return -1;
        }
        uint32_t index = 0;
        if (e4_nvm_dir_index_by_name(dir.get(), name, &index) != 0 || dir->entries[index].len < 4) {
            fwupg_dbg_printf("couldn't find image named %s\n", name);
            return -1;
        }
        const e4_nvm_entry& e = dir->entries[index];
        uint32_t computed = 0, stored = 0;
        if (compute_crc(e.nvm_off, e.len - 4, &computed) != 0 || common_nvm_read(e.nvm_off + e.len - 4, &stored, 4, 0) != 0)
            return -1;
        if (fix) {
            if (common_nvm_write(e.nvm_off + e.len - 4, &computed, 4, 0) != 0)
                return -1;
            fwupg_dbg_printf("Fixed 0x%x instead of 0x%x\n", computed, stored);
            return 0;
        }
        if (stored == computed) {
            fwupg_dbg_printf("OK 0x%x\n", stored);
            return 0;
        }
        fwupg_dbg_printf("Mismatch 0x%x 0x%x\n", stored, computed);
        return 1;
    }

    std::string out;
    addf(out, "%12s %12s  %11s  %14s  %12s  %10s\n", "Image", "start", "Length", "Content", "Computed", "Result");
    out += std::string(82, '-') + "\n";
    bool mismatch = false;
    for (uint32_t i = 0; i < dir->count && i < std::size(dir->entries); ++i) {
        const e4_nvm_entry& e = dir->entries[i];
        uint32_t computed = 0, stored = 0;
        const char* result = "N/A";
        const int checked = entry_crc(e, &stored, &computed);
        if (checked != 1) {
            result = checked == 0 && stored == computed ? "OK" : "Mismatch";
            if (checked != 0 || stored != computed)
                mismatch = true;
        }
        addf(out, "%11s    0x%08X   0x%08X     0x%08X     0x%08x      %s\n", entry_name(e.type).c_str(), e.nvm_off,
             e.len, stored, computed, result);
    }
    if (!quiet)
        fwupg_dbg_printf("%s", out.c_str());
    if (mismatch) {
        fwupg_dbg_printf("\nCRC mismatch found!!!.\n\n");
        return 1;
    }
    fwupg_dbg_printf("\nCRC check passed successfully.\n\n");
    return 0;
}

}  // namespace fwupg::nvm::e4
