// The numbered options of E4 NVM_CFG1: one row per option (scope, word, bits, accepted values),
// the validator and the get/set of one option for the current port and function.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/e4/cfg_editor.h"
#include "fwupg/nvm/e4/nvm_cfg.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::e4;

namespace {

enum class Scope { Global, Port, Function, FlagOnly };

// Which values a set accepts.
enum class Rule {
    Range,      // low..high
    Any,
    ProtoMask,  // options 27, 28: a non-empty OR of 1, 2, 8, 16, 32, 64
    LinkSpeed,  // options 29, 31: 0, 1, 2, 4..8
    Lanes,      // options 30, 32, 34: 1, 2, 4
    FecForce,   // option 145: 0, 1, 2, 7
    Storage,    // option 117: a non-empty OR of Ethernet 0x1 .. iWarp 0x10
    ReadOnly,   // option 127: every set refused, silently
};

struct Option {
    uint32_t number;
    Scope scope;
    uint32_t word;  // of block 0 for port and function fields
    uint32_t lo, width;
    Rule rule;
    uint32_t low = 0, high = 0;
};

constexpr Option kOptions[] = {
    {10, Scope::Port, 142, 0, 8, Rule::Range, 0, 15},
    {11, Scope::Global, 0, 12, 1, Rule::Range, 0, 1},
    {17, Scope::Global, 9, 3, 2, Rule::Range, 0, 3},
    {20, Scope::Port, 142, 8, 8, Rule::Range, 0, 1},
    {26, Scope::Port, 142, 16, 4, Rule::Range, 0, 3},
    {27, Scope::Port, 145, 0, 16, Rule::ProtoMask},
    {28, Scope::Port, 145, 16, 16, Rule::ProtoMask},
    {29, Scope::Port, 146, 0, 4, Rule::LinkSpeed},
    {30, Scope::Port, 146, 4, 3, Rule::Lanes},
    {31, Scope::Port, 146, 7, 4, Rule::LinkSpeed},
    {32, Scope::Port, 146, 11, 3, Rule::Lanes},
    {34, Scope::Port, 147, 0, 16, Rule::Lanes},
    {57, Scope::Port, 147, 16, 8, Rule::Any},
    {59, Scope::Port, 150, 0, 1, Rule::Range, 0, 1},
    {81, Scope::Global, 22, 4, 4, Rule::Range, 0, 15},
    {82, Scope::Function, 751, 14, 4, Rule::Range, 0, 15},
    {83, Scope::Global, 22, 8, 4, Rule::Range, 0, 15},
    {84, Scope::Function, 745, 3, 16, Rule::Any},
    {95, Scope::Function, 745, 23, 8, Rule::Any},
    {102, Scope::Port, 155, 0, 32, Rule::Any},
    {104, Scope::Global, 11, 26, 3, Rule::Range, 0, 3},
    {105, Scope::Global, 11, 29, 2, Rule::Range, 0, 1},
    {107, Scope::Global, 31, 0, 24, Rule::Any},
    {108, Scope::Global, 32, 0, 32, Rule::Any},
    {109, Scope::Global, 10, 17, 8, Rule::Any},
    {113, Scope::Global, 13, 12, 4, Rule::Range, 0, 1},
    {117, Scope::Global, 34, 0, 32, Rule::Storage},
    {123, Scope::Global, 35, 0, 32, Rule::Any},
    {126, Scope::Port, 158, 0, 8, Rule::Range, 0, 4},
    {127, Scope::Port, 158, 8, 8, Rule::ReadOnly},
    {131, Scope::Global, 13, 22, 3, Rule::Range, 0, 3},
    {132, Scope::Function, 751, 0, 16, Rule::Any},
    {134, Scope::Global, 15, 8, 8, Rule::Any},
    {135, Scope::Global, 15, 16, 8, Rule::Any},
    {136, Scope::Global, 15, 24, 8, Rule::Any},
    {137, Scope::Global, 20, 16, 8, Rule::Any},
    {139, Scope::Global, 13, 25, 2, Rule::Range, 0, 3},
    {140, Scope::Port, 146, 15, 2, Rule::Range, 0, 1},
    {141, Scope::Global, 13, 27, 3, Rule::Range, 0, 2},
    {142, Scope::Global, 10, 31, 1, Rule::Range, 0, 1},
    {143, Scope::Global, 20, 24, 8, Rule::Any},
    {144, Scope::Global, 22, 12, 4, Rule::Any},
    {145, Scope::Port, 146, 17, 3, Rule::FecForce},
    {187, Scope::Function, 746, 26, 1, Rule::Range, 0, 1},
    {188, Scope::Global, 22, 16, 8, Rule::Range, 0, 15},
    {193, Scope::FlagOnly, 0, 0, 0, Rule::Range, 0, 3},
    {202, Scope::Function, 752, 0, 2, Rule::Range, 0, 2},
    {208, Scope::Global, 11, 31, 1, Rule::Range, 0, 1},
    {212, Scope::FlagOnly, 0, 0, 0, Rule::Range, 0, 6},
    {234, Scope::Global, 27, 31, 1, Rule::Range, 0, 1},
    {239, Scope::FlagOnly, 0, 0, 0, Rule::Range, 0, 1},
};
static_assert(std::size(kOptions) == 51, "48 options and the three that only the request flags use");

const Option* find_option(uint32_t number)
{
    for (const Option& o : kOptions)
        if (o.number == number) return &o;
    return nullptr;
}

bool one_of(uint32_t value, std::initializer_list<uint32_t> allowed)
{
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// The field of `o` in word `word` (block offset applied) of a 4240-byte buffer.
uint32_t get_field(const uint8_t* buffer, uint32_t word, const Option& o)
{
    return cfg_field_get(buffer, kCfgImageBytes, word * 32 + o.lo, o.width);
}
void set_field(uint8_t* buffer, uint32_t word, const Option& o, uint32_t value)
{
    cfg_field_set(buffer, kCfgImageBytes, word * 32 + o.lo, o.width, value);
}

}  // namespace

namespace fwupg::nvm::e4 {

uint32_t cfg_field_get(const uint8_t* image, uint32_t length, uint32_t bit, uint32_t width)
{
    const uint64_t at = uint64_t(bit / 32) * 4;
    if (!image || width == 0 || at + 4 > length) return 0;
    const uint32_t word = load_u32(image + at) >> (bit % 32);
    return width >= 32 ? word : word & ((1u << width) - 1);
}

void cfg_field_set(uint8_t* image, uint32_t length, uint32_t bit, uint32_t width, uint32_t value)
{
    const uint64_t at = uint64_t(bit / 32) * 4;
    if (!image || width == 0 || at + 4 > length) return;
    const uint32_t shift = bit % 32;
    const uint32_t mask = (width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1) << shift;
    store_u32(image + at, (load_u32(image + at) & ~mask) | ((value << shift) & mask));
}

}  // namespace fwupg::nvm::e4

extern "C" {

bool e4_cfg_value_in_range(uint32_t value, uint32_t low, uint32_t high)
{
    if (value >= low && value <= high) return true;
    char text[120];
    std::snprintf(text, sizeof text, "Invalid input value, %d is out of valid range [ %d - %d ].", int(value),
                  int(low), int(high));
    print_severity(text, 1);
    return false;
}

bool e4_cfg_option_valid(uint32_t option, uint32_t value)
{
    const Option* o = find_option(option);
    if (!o) return false;
    switch (o->rule) {
    case Rule::Range:
        return e4_cfg_value_in_range(value, o->low, o->high);
    case Rule::Any:
        return true;
    case Rule::ProtoMask:
        if (value != 0 && (value & ~0x7Bu) == 0) return true;
        print_severity("Invalid input value, Valid input values: [ 1, 2, 8, 16, 32 and 64 ]. Value can be logically "
                       "ORed as well",
                       1);
        return false;
    case Rule::LinkSpeed:
        if (one_of(value, {0, 1, 2, 4, 5, 6, 7, 8})) return true;
        print_severity("Invalid input value, Valid input values: [ 0, 1, 2 ,4, 5, 6, 7 and 8 ].", 1);
        return false;
    case Rule::Lanes:
        if (one_of(value, {1, 2, 4})) return true;
        print_severity("Invalid input value, Valid input values: [ 1, 2 and 4 ]", 1);
        return false;
    case Rule::FecForce:
        if (one_of(value, {0, 1, 2, 7})) return true;
        print_severity("Invalid input value, Valid input values: [ 0, 1, 2 and 7 ].", 1);
        return false;
    case Rule::Storage:
        if (value != 0 && (value & ~0x1Fu) == 0) return true;
        print_severity("Invalid input value, Valid input values: [ Ethernet(0x1), FCoE(0x2), iSCSI(0x4), RoCE(0x8), "
                       "iWarp(0x10) ].",
                       1);
        print_severity("Combination of these valid values are also allowed. Example: 0x19", 1);
        return false;
    case Rule::ReadOnly:
        return false;
    }
    return false;  // not reached: every rule is handled above
}

int e4_cfg_option(uint8_t* buffer, uint32_t option, uint32_t* value, int set, int all)
{
    if (!buffer || !value) return -1;
    if (set && !e4_cfg_option_valid(option, *value)) return -1;
    const Option* o = find_option(option);
    if (!o || o->scope == Scope::FlagOnly) {
        fwupg_dbg_printf("Unsupported Parameter\n");
        return -1;
    }
    const uint32_t ports = common_nvm_get_port_cnt();
    uint32_t port = 0;
    common_nvm_get_port(&port);
    switch (o->scope) {
    case Scope::Global:
        if (set)
            set_field(buffer, o->word, *o, *value);
        else
            *value = get_field(buffer, o->word, *o);
        break;
    case Scope::Port: {
        // The port count comes from the management record: more ports than NVM_CFG1 has blocks
        // would address words beyond them.
        const uint32_t first = all ? 0 : port, end = all ? ports : port + 1;
        if (end > kPorts) return -1;
        for (uint32_t p = first; p < end; ++p) {
            const uint32_t word = o->word + kPortBlockWords * p;
            if (set)
                set_field(buffer, word, *o, *value);
            else
                *value = get_field(buffer, word, *o);
        }
        break;
    }
    case Scope::Function: {
        if (ports == 0) return -1;
        if (all) {
            if (!set) break;  // nothing is read for every function
            if (option == 187 && ports != 2) return 0;
            for (uint32_t f = 0; f < kFuncBlocks; ++f)
                if (option != 187 || (f & 7) >= 4) set_field(buffer, o->word + kFuncBlockWords * f, *o, *value);
            break;
        }
        const uint32_t block = port * (kFuncBlocks / ports) + uint32_t(common_nvm_get_func_num()) / ports;
        if (block >= kFuncBlocks) return -1;
        const uint32_t word = o->word + kFuncBlockWords * block;
        if (set)
            set_field(buffer, word, *o, *value);
        else
            *value = get_field(buffer, word, *o);
        break;
    }
    case Scope::FlagOnly:
        return -1;
    }
    if (!set) fwupg_dbg_printf("Option #%d: value = 0x%x\n", int(option), *value);
    return 0;
}

}  // extern "C"
