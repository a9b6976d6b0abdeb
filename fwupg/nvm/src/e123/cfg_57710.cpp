// The option setter of E1-E3 adapters: reads the configuration set, changes the one option the
// request names and writes the whole set back.
#include <cstring>
#include <memory>

#include "e123/cfg_words.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/board_vpd.h"
#include "fwupg/nvm/e123/cfg.h"
#include "fwupg/nvm/e123/cfg_editor.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/formats/vpd_table.h"

namespace {

using namespace fwupg::nvm::cfgw;

constexpr uint32_t kVfTotal = 64;
constexpr uint32_t kV0Word = 696;
constexpr uint32_t kV0Area = 17;

// Flags that switch one bit: the word and the bit.
struct BitOption {
    uint64_t flag;
    uint32_t word;
    uint32_t bit;
};
constexpr BitOption kBits[] = {
    {0x4, 464, 25},          {0x8, 464, 26},           {0x10, 464, 26},         {0x20, 464, 26},
    {0x40, 464, 24},         {0x200, 40, 8},           {0x20000, 464, 8},       {0x40000, 6212, 8},
    {0x80000, 460, 12},      {0x100000, 6212, 9},      {0x200000, 36, 30},      {0x800000, 460, 14},
    {0x20000000, 464, 27},   {0x80000000, 6264, 0},    {0x100000000ull, 6224, 20},
};

// Flags that store the value in a bit field.
struct FieldOption {
    uint64_t flag;
    uint32_t word;
    uint32_t shift;
    uint32_t width;
};
constexpr FieldOption kFields[] = {
    {0x400, 500, 16, 4},      {0x1000, 472, 0, 3},   {0x10000, 464, 29, 3},  {0x4000000, 6212, 12, 2},
    {0x40000000, 40, 21, 2},  {0x800000000ull, 512, 0, 8},  {0x8000000000ull, 460, 8, 3},
};

struct Modes {
    int mf = 0;
    bool afex = false;
};

// Records a refusal: last-error code, message in the interpreter's result.
int refuse(const HostOps& ops, uint32_t code, const char* message)
{
    if (ops.setLastError)
        ops.setLastError(code);
    if (ops.interp)
        Tcl_AppendResult(ops.interp, message, static_cast<char*>(nullptr));
    return 1;
}

bool cfg_shared_present()
{
    uint32_t present = 0, off = 0, len = 0, k = 0;
    return common_nvm_find_ext_dir_image(&present, fwupg::nvm::kTypeCfgShared, &off, &len, &k) == 0 && present;
}

void put_mac(uint8_t* record, uint32_t word, const cfg_request& r)
{
    put(record, word, r.value2);
    put(record, word + 4, r.value3);
}

// Virtual functions per physical function; 0 stored, 1 refused.
int set_vfs(const HostOps& ops, fwupg::nvm::CfgSet& set, const Modes& m, uint32_t value)
{
    if (m.afex)
        return refuse(ops, 60, "AFEX mode does not support VF per PF!");
    if (m.mf == 2)
        return refuse(ops, 18, "Cannot Set Number of VFs for MF mode in VC!");
    if (m.mf == 1) {
        if (value > common_nvm_vf_available(set.nic_prtion))
            return refuse(ops, 18, "Total VF Exceeds 64!");
        put(set.record, 920, value);
    } else {
        put(set.record, 400, value);
    }
    return 0;
}

// V0 text: into the configuration copy of the VPD (then the adapter is reset), or into the VPD
// image of the extended directory. Sets *done when the set was already written back.
int set_v0(const HostOps& ops, fwupg::nvm::CfgSet& set, const cfg_request& r, bool* done)
{
    const char* text = static_cast<const char*>(r.data);
    if (!text)
        text = "";
    uint32_t off = 0, len = 0;
    if (!common_nvm_vpd_in_ext_dir(ops, &off, &len)) {
        std::memset(set.record + kV0Word, 0, kV0Area);
        std::memcpy(set.record + kV0Word, text, strnlen(text, kV0Area - 1));
        *done = true;
        if (set.write() != 0)
            return 1;
        if (ops.tclEval && ops.interp)
            ops.tclEval(ops.interp, "_reset");
        return 0;
    }
    if (common_nvm_set_ext_vpd_v0(ops.interp, text) != 0) {
        fwupg_dbg_printf("Failed to program VPD V0 into Extended VPD.\n");
        return 1;
    }
    return 0;
}

// YB bytes (a count byte, then the bytes) into the board's VPD: the fields are read, YB replaced or
// added, and the fields written back; then the request's count byte is cleared. Only the VPD
// image of the extended directory holds a YB field the VPD commands read.
int set_yb(const HostOps& ops, const cfg_request& r)
{
    auto* bytes = static_cast<uint8_t*>(r.data);
    fwupg::nvm::vpd_board_fields fields;
    vpd_field_table table;
    if (!bytes || vpd_save_board_fields(ops.interp, &fields) != 0 || !fields.in_image || fields.bytes.size() < 8 ||
        fwupg::nvm::vpd_table_from_image(fields.bytes.data(), uint32_t(fields.bytes.size()), &table, nullptr) != 0) {
        fwupg_dbg_printf("VPD: Does not exist.\n");
        return 1;
    }
    if (!fwupg::nvm::vpd_table_set(&table, "YB", bytes + 1, bytes[0])) {
        fwupg_dbg_printf("Failed to create VPD image!\n");
        return 1;
    }
    uint32_t size = uint32_t(fields.bytes.size()) - 4;
    const uint32_t need = vpd_table_size(&table);
    if (need > size)
        size = (need & ~3u) + 4;
    uint8_t* built = vpd_table_build_image(&table, size, fwupg::nvm::load_u32(fields.bytes.data()));
    if (!built)
        return 1;
    fields.bytes.assign(built, built + size + 4);
    common_nvm_free(built);
    if (vpd_restore_board_fields(ops.interp, &fields) != 0)
        return 1;
    bytes[0] = 0;
    return 0;
}

int apply(const HostOps& ops, fwupg::nvm::CfgSet& set, const cfg_request& r, const Modes& m, bool* done)
{
    const uint64_t flag = r.option_flag;
    uint8_t* rec = set.record;
    if (flag == 0x40000 && !cfg_shared_present())
        return refuse(ops, 30, "CFG_SHARED entry has to be in NVRAM in order to set the feature.");
    for (const auto& b : kBits)
        if (b.flag == flag) {
            put_bit(rec, b.word, b.bit, r.value != 0);
            return 0;
        }
    for (const auto& f : kFields)
        if (f.flag == flag) {
            // A value that does not fit its field is refused instead of being stored cut down.
            if (r.value > mask_of(f.width))
                return refuse(ops, 18, "Invalid option value.");
            put_field(rec, f.word, f.shift, f.width, r.value);
            return 0;
        }
    switch (flag) {
    case 0x2: put_mac(rec, 76, r); return 0;
    case 0x800: put_mac(rec, 452, r); return 0;
    case 0x8000: put_mac(rec, 84, r); return 0;
    case 0x4000: return common_nvm_cfg_set_param(rec, r.option_num, r.value);
    case 0x400000: return set_vfs(ops, set, m, r.value);
    case 0x2000000: return set_v0(ops, set, r, done);
    case 0x8000000: return set_yb(ops, r);
    case 0x10000000:
        put_field(rec, 60, 16, 16, 0x14E4);
        put_field(rec, 444, 8, 8, 0x0D);
        return 0;
    default: return 0;  // nothing to change; the set is written back as read
    }
}

}  // namespace

extern "C" {

uint32_t common_nvm_vf_available(const uint8_t* nic_prtion)
{
    if (!nic_prtion)
        return 0;
    int func = common_nvm_get_func_num();
    uint32_t sum = 0;
    for (int f = func & 1; f < 8; f += 2)
        if (f != func)
            sum += get(nic_prtion, 96 + 48 * uint32_t(f));
    return sum > kVfTotal ? 0 : kVfTotal - sum;
}

int common_nvm_cfg_57710_set(HostOps ops, cfg_request* request, uint32_t mode)
{
    try {
        if (!request)
            return 1;
        fwupg::HostOpsScope scope(&ops);
        auto set = std::make_unique<fwupg::nvm::CfgSet>();
        int rc = set->read();
        if (rc != 0)
            return rc;
        Modes m{mf_mode(set->record, mode), afex_mode(set->record)};
        bool done = false;
        rc = apply(ops, *set, *request, m, &done);
        if (rc != 0 || done)
            return rc;
        return set->write() != 0 ? 1 : 0;
    } catch (...) {
        if (ops.setLastError)
            ops.setLastError(34);
        return 1;
    }
}

}  // extern "C"
