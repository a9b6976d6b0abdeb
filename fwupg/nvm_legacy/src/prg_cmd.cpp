// "prg": programs a whole NVRAM image, or part of one, from a file or from memory of the calling
// process. The image's bootstrap is brought into the addressing form of the adapter's flash first;
// the identity checks and the preservation of the adapter's own data are the programmer's.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/file_io.h"
#include "fwupg/nvm_legacy/prg_cmd.h"
#include "fwupg/nvm_legacy/program.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "prg_skip_options.h"
#include "toe_context.h"

namespace {

constexpr const char* USAGE = "?options? offset <file|mem_addr> ?size?";
constexpr size_t SKIP_LIST_MAX = 199;

struct flag_option {
    const char* word;
    uint32_t set, clear;
};
// The options that only set or clear flags of the programmer.
constexpr flag_option FLAG_OPTIONS[] = {
    {"-l", 0, TOE_PRG_NVM_ORDER},
    {"-force_mac", TOE_PRG_TAKE_MAC, 0},
    {"-force_smbus", TOE_PRG_TAKE_SMBUS, 0},
    {"-force_ibcfg", TOE_PRG_TAKE_IBCFG, 0},
    {"-force_febcfg", TOE_PRG_TAKE_FEBCFG, 0},
    {"-skip_ec", TOE_PRG_KEEP_EC, 0},
    {"-skip_sn", TOE_PRG_KEEP_SN, 0},
    {"-skip_config", TOE_PRG_KEEP_CFG, 0},
};
// What "-raw" makes of the flags once every word is read: everything from the image.
constexpr uint32_t RAW_SET = TOE_PRG_TAKE_MAC | TOE_PRG_TAKE_SMBUS | TOE_PRG_TAKE_IBCFG | TOE_PRG_TAKE_FEBCFG;
constexpr uint32_t RAW_CLEAR = TOE_PRG_KEEP_EC | TOE_PRG_KEEP_SN | TOE_PRG_KEEP_CFG;

struct request {
    uint32_t flags = TOE_PRG_NVM_ORDER;
    bool mem = false, raw = false, skip = false;
    std::string skip_list;
    std::vector<Tcl_Obj*> words;   // offset, source, [high address half], [size]
};

// Sorts the words into options and positional words. TCL_OK, or the failure already reported.
int parse_words(const HostOps& ops, int objc, Tcl_Obj* const objv[], request* r)
{
    for (int i = 1; i < objc; ++i) {
        const char* w = Tcl_GetString(objv[i]);
        if (w[0] != '-') {
            r->words.push_back(objv[i]);
            continue;
        }
        bool known = false;
        for (const flag_option& o : FLAG_OPTIONS)
            if (std::strcmp(w, o.word) == 0) {
                r->flags = (r->flags | o.set) & ~o.clear;
                known = true;
            }
        if (known)
            continue;
        if (std::strcmp(w, "-mem") == 0) {
            r->mem = true;
            r->flags &= ~TOE_PRG_NVM_ORDER;   // memory holds host-order words
        } else if (std::strcmp(w, "-raw") == 0) {
            r->raw = true;
        } else if (std::strcmp(w, "-no_chip_chk") == 0 || std::strcmp(w, "-noidmatch") == 0 ||
                   std::strcmp(w, "-idmatch") == 0) {
            const bool idmatch = w[1] == 'i';
            if (r->flags & (idmatch ? TOE_PRG_NO_CHIP_CHK : TOE_PRG_ID_MATCH))
                return toe::command_error(ops, 0, "error: -no_chip_chk and -idmatch can't coexist\n");
            r->flags |= idmatch ? TOE_PRG_ID_MATCH : TOE_PRG_NO_CHIP_CHK;
        } else if (std::strcmp(w, "-skip_options") == 0) {
            const char* list = i + 1 < objc ? Tcl_GetString(objv[i + 1]) : "";
            if (list[0] == '-' || std::strchr(list, '.') || list[0] == '\0') {
                fwupg_dbg_printf("option found: %s\n", list);
                return toe::command_error(ops, 0, "No options specified for -skip_options.");
            }
            r->skip = true;
            r->skip_list.assign(list, strnlen(list, SKIP_LIST_MAX));
            ++i;
        } else {
            return toe::command_error(ops, 0, std::string("Unknown option: ") + w);
        }
    }
    return TCL_OK;
}

// The option numbers of a skip list, split at blanks, commas, tabs and line ends. False when a
// piece does not start with a digit 1-9.
bool parse_skip_list(const std::string& list, std::vector<int>* options)
{
    size_t pos = 0;
    while ((pos = list.find_first_not_of(" ,\t\n", pos)) != std::string::npos) {
        const size_t end = list.find_first_of(" ,\t\n", pos);
        const std::string piece = list.substr(pos, end - pos);
        if (piece[0] < '1' || piece[0] > '9')
            return false;
        options->push_back(std::atoi(piece.c_str()));
        pos = end;
    }
    return true;
}

// Whether the boot code named by the bootstrap lies inside the image at `addr` and passes its CRC.
bool boot_code_at(const uint8_t* buf, uint32_t length, int swap, uint32_t addr, uint32_t bytes)
{
    if (bytes < 4 || uint64_t(addr) + bytes > length)
        return false;
    uint32_t reg = 0xFFFFFFFFu;
    calc_crc32_bytes(buf + addr, bytes - 4, swap, &reg);
    return toe_crc_word(reg) == nvm_buf_get_dword(swap, buf, addr + bytes - 4);
}

// Brings the bootstrap's boot-code address into the form of the adapter's flash. False when the
// bootstrap names no boot code (left unchanged then).
bool match_boot_form(const HostOps& ops, uint32_t dev, uint8_t* buf, uint32_t length, int swap)
{
    const uint32_t addr = nvm_buf_get_dword(swap, buf, 12);
    const uint32_t count = nvm_buf_get_dword(swap, buf, 8);
    if (addr == 0 || count == 0) {
        fwupg_dbg_printf("boot trap indicates the file does not contain bc\n");
        return false;
    }
    const uint32_t bytes = count > 0x3FFFFFFFu ? 0 : count * 4;
    const bool linear = boot_code_at(buf, length, swap, addr, bytes);
    const bool buffered = !linear && boot_code_at(buf, length, swap, nvm_flash_to_linear_addr(ops, dev, addr, 1), bytes);
    const std::string type = toe::toe_var(ops, "NVM_TYPE");
    if (type == "BUFFERED" && linear)
        toe_buf_set_boot_addr(swap, buf, nvm_linear_to_flash_addr(ops, dev, addr, 1));
    else if (type == "NONBUFFERED" && buffered)
        toe_buf_set_boot_addr(swap, buf, nvm_flash_to_linear_addr(ops, dev, addr, 1));
    return true;
}

// The data to program, read from the file (pages of 264 bytes become pages of 256) or copied
// from memory. TCL_OK with `data` holding `*length` bytes and room for the programmer's CRC word.
int load_data(const HostOps& ops, const request& r, const char* file, uintptr_t address, uint32_t size,
              std::vector<uint8_t>* data, uint32_t* length)
{
    if (r.mem) {
        data->assign(size + 4, 0);
        std::memcpy(data->data(), reinterpret_cast<const void*>(address), size);
        *length = size;
        return TCL_OK;
    }
    int32_t file_size = 0;
    if (nvm_file_size(file, &file_size) != 0 || file_size < 0)
        return toe::command_error(ops, toe::ERR_FILE, "File does not exist.");
    const uint32_t rounded = (uint32_t(file_size) + 3) & ~3u;
    data->assign(size_t(rounded) + 4, 0);
    uint32_t got = 0;
    if (nvm_file_read(ops, file, data->data(), uint32_t(file_size), &got) != 0)
        return toe::command_error(ops, toe::ERR_FILE, "Can't read file.");
    uint32_t stripped = 0;
    if (Strip8bytes(ops, data->data(), got, &stripped) != 0)
        return toe::command_error(ops, toe::ERR_STRIP, "Failed to strip 8 extra bytes per block");
    *length = size != 0 && size < stripped ? size : stripped;
    return TCL_OK;
}

}  // namespace

void toe_nvm_select_device(HostOps ops, uint32_t device)
{
    if (!ops.interp)
        return;
    char line[48];
    std::snprintf(line, sizeof line, "device %u -no_display", device);
    Tcl_ResetResult(ops.interp);
    // This system has no "device" command: the evaluation fails quietly and the device stays.
    Tcl_EvalEx(ops.interp, line, -1, 0);
}

int toe_nvm_prg_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return toe::guarded(ops, [&]() -> int {
        if (objc < 2)
            return toe::usage_error(ops, objv, USAGE);
        request r;
        if (parse_words(ops, objc, objv, &r) != TCL_OK)
            return TCL_ERROR;

        // Positional words: offset, source, then with -mem an optional high address half before
        // the size (a 64-bit process holds its buffers above 4 GiB), else the size.
        int v = 0;
        uint32_t offset = 0, size = 0;
        const char* file = nullptr;
        uint64_t address = 0;
        size_t next = 0;
        if (next < r.words.size()) {
            if (Tcl_GetIntFromObj(nullptr, r.words[next], &v) != TCL_OK)
                return toe::command_error(ops, toe::ERR_BAD_ARGS,
                            std::string("Offset: expect an integer, but got ") + Tcl_GetString(r.words[next]));
            offset = uint32_t(v) & ~3u;
            ++next;
        } else {
            return toe::command_error(ops, toe::ERR_NO_OFFSET, "NVRAM offset not specified.");
        }
        if (next >= r.words.size())
            return toe::command_error(ops, toe::ERR_BAD_ARGS, "Neither memory location nor file name specified.");
        if (r.mem) {
            Tcl_WideInt low = 0, high = 0;
            if (Tcl_GetWideIntFromObj(nullptr, r.words[next], &low) != TCL_OK)
                return toe::command_error(ops, 0, std::string("Invalid host memory address, but got ") + Tcl_GetString(r.words[next]));
            ++next;
            if (r.words.size() - next >= 2) {
                if (Tcl_GetWideIntFromObj(nullptr, r.words[next], &high) != TCL_OK)
                    return toe::command_error(ops, 0, std::string("Invalid high host memory address, but got ") +
                                             Tcl_GetString(r.words[next]));
                fwupg_dbg_printf("hmem_addr_h is 0x%x\n", unsigned(high));
                ++next;
            }
            address = uint64_t(uint32_t(high)) << 32 | uint32_t(low);
        } else {
            file = Tcl_GetString(r.words[next++]);
        }
        if (next < r.words.size()) {
            if (Tcl_GetIntFromObj(nullptr, r.words[next], &v) != TCL_OK)
                return toe::command_error(ops, toe::ERR_BAD_ARGS,
                            std::string("Size: expect an integer, but got ") + Tcl_GetString(r.words[next]));
            size = (uint32_t(v) + 3) & ~3u;
        }
        // Memory is read for exactly the size given: without one, or with one past any NVRAM,
        // there is nothing sound to copy.
        if (r.mem && (size == 0 || size > toe::nvm_limit(ops) || address == 0))
            return toe::command_error(ops, toe::ERR_BAD_ARGS, "Size: a byte count up to the NVRAM size is needed with -mem.");

        uint32_t dev = 0;
        if (!toe::get_dev(ops, &dev)) {
            toe::set_error(ops, toe::ERR_NO_DEVICE);
            return TCL_ERROR;
        }
        virt_nvm_free();

        std::vector<uint8_t> data;
        uint32_t length = 0;
        if (load_data(ops, r, file, uintptr_t(address), size, &data, &length) != TCL_OK)
            return TCL_ERROR;
        const int swap = int(r.flags & TOE_PRG_NVM_ORDER);
        // An image whose bootstrap names no boot code is refused, except with -raw: a backup of
        // such an adapter is programmed back as it is.
        if (offset == 0 && length > 20 && !match_boot_form(ops, dev, data.data(), length, swap) && !r.raw)
            return TCL_ERROR;
        if (r.raw)
            r.flags = (r.flags | RAW_SET) & ~RAW_CLEAR;

        std::vector<int> skip_options;
        if (r.skip) {
            if (!parse_skip_list(r.skip_list, &skip_options))
                return toe::command_error(ops, 0, "Invalid character in NVM config options to skip.");
            fwupg_dbg_printf("Skip NVM configuration options %s while programming ..\n", r.skip_list.c_str());
        }
        toe_prg_saved_options saved;
        if (r.skip && toe_prg_save_options(ops, skip_options, &saved) != 0)
            return TCL_ERROR;

        // An image programmed back over mostly equal contents (a restored backup) rewrites only
        // the pieces that differ.
        if (toe_nvm_program_nvm(ops, data.data(), length, offset, r.flags | TOE_PRG_SKIP_SAME, nullptr) != 0)
            return toe::command_error(ops, toe::ERR_WRITE, "Programming NVM failed.");
        if (g_virt_nvm.data && dev == 0)
            nvm_file_write_refused(ops, virt_nvm_file_name);
        if (r.skip)
            toe_prg_restore_options(ops, saved);
        return TCL_OK;
    });
}
