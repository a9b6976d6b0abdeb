// Numbered parameters of the E1-E3 configuration record: which values each index accepts, where
// it is stored and how it is shown.
#include <cstdio>
#include <cstring>

#include "e123/cfg_words.h"
#include "fwupg/nvm/e123/cfg_editor.h"

namespace {

using fwupg::nvm::cfgw::get;
using fwupg::nvm::cfgw::put_field;
using fwupg::nvm::cfgw::get_field;

// Where a parameter lives: a word of the record and a bit field in it.
struct Param {
    uint32_t index;
    uint32_t word;
    uint32_t shift;
    uint32_t width;
    uint32_t limit;  // largest value accepted
};

// Values must fit their field whole: a value with bits outside the checked range is refused
// rather than cut down to a different setting.
constexpr Param kParams[] = {
    {9, 60, 0, 16, 0xFFFF},    {16, 36, 16, 4, 14},      {36, 448, 0, 16, 0x0FFF},
    {59, 500, 16, 4, 7},       {104, 416, 0, 3, 4},      {109, 412, 0, 16, 0x0FFF},
    {239, 6204, 10, 1, ~0u},   {243, 6268, 0, 32, ~0u},  {244, 6272, 0, 32, ~0u},
    {248, 6204, 12, 1, 1},
};

const Param* find(uint32_t index)
{
    for (const auto& p : kParams)
        if (p.index == index)
            return &p;
    return nullptr;
}

}  // namespace

extern "C" {

int common_nvm_cfg_param_valid(uint32_t index, uint32_t value)
{
    const Param* p = find(index);
    if (!p) {
        fwupg_dbg_printf("Unsupported Parameter\n");
        return 0;
    }
    return value <= p->limit ? 1 : 0;
}

int common_nvm_cfg_set_param(uint8_t* record, uint32_t index, uint32_t value)
{
    if (!record || !common_nvm_cfg_param_valid(index, value)) {
        fwupg_dbg_printf("Error: invalid param_value = 0x%x for param_index = %d\n", value, int(index));
        return 1;
    }
    const Param* p = find(index);
    // One-bit parameters that accept any value switch the bit on for any non-zero value.
    uint32_t v = (p->width == 1 && value) ? 1 : value;
    put_field(record, p->word, p->shift, p->width, v);
    return 0;
}

int common_nvm_cfg_show_param(const uint8_t* record, uint32_t index)
{
    const Param* p = record ? find(index) : nullptr;
    if (!p) {
        fwupg_dbg_printf("Unsupported Parameter\n");
        return 1;
    }
    uint32_t v = get_field(record, p->word, p->shift, p->width);
    if (index == 244) {
        uint32_t year = ((v & 0xFF) << 8) | ((v >> 8) & 0xFF);
        fwupg_dbg_printf("Option #%d: date = %02d/%02d/%04d\n", int(index), int(v >> 24), int((v >> 16) & 0xFF),
                         int(year));
        return 0;
    }
    fwupg_dbg_printf("Option #%d: value = 0x%x\n", int(index), v);
    return 0;
}

}  // extern "C"
