// NVRAM access layer: chip identity, function identity and NVRAM transfers through the current
// host record.
#include "fwupg/nvm/base/access.h"

#include <tcl.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fwupg/nvm/base/registers.h"

namespace fwupg::nvm {

uint32_t load_u32(const void* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void store_u32(void* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint16_t load_u16(const void* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
void store_u16(void* p, uint16_t v) { std::memcpy(p, &v, 2); }

ChipFamily chip_family()
{
    if (common_nvm_is_e1() || common_nvm_is_e2() || common_nvm_is_e3() || common_nvm_is_57840())
        return ChipFamily::E1E3;
    if (common_nvm_is_e4())
        return ChipFamily::E4;
    return ChipFamily::Unknown;
}

const char* toe_text(const char* name)
{
    HostOps* h = current_host();
    if (!h || !h->interp)
        return nullptr;
    return Tcl_GetVar2(h->interp, "::toe", name, TCL_GLOBAL_ONLY);
}

bool set_toe_text(const char* name, const char* value)
{
    HostOps* h = current_host();
    if (!h || !h->interp)
        return false;
    return Tcl_SetVar2(h->interp, "::toe", name, value, TCL_GLOBAL_ONLY) != nullptr;
}

long toe_long(const char* name)
{
    const char* text = toe_text(name);
    if (!text)
        return 0;
    errno = 0;
    long v = std::strtol(text, nullptr, 10);
    if (errno == ERANGE || v > INT_MAX || v < INT_MIN)
        return 0;
    return v;
}

long toe_number(const char* name)
{
    const char* text = toe_text(name);
    return text ? std::strtol(text, nullptr, 0) : 0;
}

int reg_read(uint32_t reg, uint32_t* value)
{
    HostOps* h = current_host();
    if (!h || !h->regRead || !value)
        return -1;
    return h->regRead(h->devIndex, reg, value) == 0 ? 0 : -1;
}

int shmem_base(uint32_t* base) { return reg_read(kRegShmemBase, base); }

int reg_write(uint32_t reg, uint32_t value)
{
    HostOps* h = current_host();
    if (!h || !h->regWrite)
        return -1;
    return h->regWrite(h->devIndex, reg, value) == 0 ? 0 : -1;
}

void set_last_error(uint32_t code)
{
    HostOps* h = current_host();
    if (h && h->setLastError)
        h->setLastError(code);
}

namespace {

// PCI device id of an E1-E3 chip id (bits 12-27).
uint32_t e1e3_did()
{
    HostOps* h = current_host();
    return h ? ((h->chipId & 0x0FFFF000u) << 4) >> 16 : 0;
}

uint32_t e4_did()
{
    HostOps* h = current_host();
    return h ? h->chipId >> 16 : 0;
}

template <size_t N>
int in_set(uint32_t did, const uint16_t (&set)[N])
{
    if (!current_host())
        return 0;
    for (uint16_t d : set)
        if (d == did)
            return 1;
    return 0;
}

constexpr uint16_t kE1[] = {0x164E, 0x164F, 0x1650};
constexpr uint16_t k57710[] = {0x164E};
constexpr uint16_t k57711[] = {0x164F, 0x1650};
constexpr uint16_t kE2[] = {0x1651, 0x1652, 0x1662, 0x1663};
constexpr uint16_t kE3[] = {0x163D, 0x164F, 0x1663, 0x168A, 0x168D, 0x168E, 0x16A1, 0x16A2};
constexpr uint16_t k57840[] = {0x168D, 0x16A1, 0x16A2};
constexpr uint16_t kE4A[] = {0x1630, 0x1634, 0x1636, 0x1637, 0x1644, 0x1654, 0x1656, 0x1664, 0x1666};
constexpr uint16_t kE4B[] = {0x8070, 0x8090};

}  // namespace
}  // namespace fwupg::nvm

using namespace fwupg::nvm;

extern "C" {

int common_nvm_is_e1() { return in_set(e1e3_did(), kE1); }
int common_nvm_is_57710() { return in_set(e1e3_did(), k57710); }
int common_nvm_is_57711() { return in_set(e1e3_did(), k57711); }
int common_nvm_is_e2() { return in_set(e1e3_did(), kE2); }
int common_nvm_is_e3() { return in_set(e1e3_did(), kE3); }
int common_nvm_is_57840() { return in_set(e1e3_did(), k57840); }
int common_nvm_is_e4_group_a() { return in_set(e4_did(), kE4A); }
int common_nvm_is_e4_group_b() { return in_set(e4_did(), kE4B); }
int common_nvm_is_e4() { return common_nvm_is_e4_group_a() || common_nvm_is_e4_group_b(); }

int common_nvm_get_func_num() { return int(toe_long("FUNC_NUM")); }

uint32_t common_nvm_get_port_cnt() { return uint32_t(toe_long("PORT_CNT")); }

int common_nvm_on_second_path()
{
    if (common_nvm_is_e1())
        return 0;
    return common_nvm_get_func_num() & 1;
}

int common_nvm_get_port_mode(uint32_t* four_port)
{
    if (!four_port)
        return -1;
    if (common_nvm_is_e1()) {
        *four_port = 0;
        return 0;
    }
    HostOps ops;
    if (!get_current_host_ops(&ops) || !ops.regRead)
        return -1;
    uint32_t value = 0;
    if (ops.regRead(ops.devIndex, kRegPortModeOverride, &value) != 0)
        return -1;
    uint32_t mode;
    if (value & 1) {
        mode = (value >> 1) & 1;
    } else {
        if (ops.regRead(ops.devIndex, kRegPortModeStrap, &value) != 0)
            return -1;
        mode = value & 1;
    }
    *four_port = mode;
    return 0;
}

int common_nvm_get_port(uint32_t* port)
{
    if (!port)
        return -1;
    int func = common_nvm_get_func_num();
    if (common_nvm_is_e1()) {
        *port = uint32_t(func) & 1;
        return 0;
    }
    if (common_nvm_is_e4()) {
        uint32_t cnt = common_nvm_get_port_cnt();
        *port = cnt ? uint32_t(func) % cnt : 0;
        return 0;
    }
    uint32_t four_port = 0;
    int rc = common_nvm_get_port_mode(&four_port);
    if (rc != 0)
        return rc;
    *port = four_port ? (uint32_t(func) >> 1) & 1 : 0;
    return 0;
}

int common_nvm_get_port_count()
{
    uint32_t four_port = 0;
    if (common_nvm_get_port_mode(&four_port) == 0 && four_port)
        return 4;
    return int(toe_long("PORT_CNT"));
}

int common_nvm_port_count() { return common_nvm_get_port_count(); }

int common_nvm_get_path(uint32_t* out)
{
    if (out)
        *out = uint32_t(common_nvm_on_second_path());
    return 0;
}

int common_nvm_get_func(uint32_t* out)
{
    if (out)
        *out = uint32_t(common_nvm_get_func_num());
    return 0;
}

int common_nvm_switch_func_num()
{
    uint32_t four_port = 0;
    int rc = common_nvm_get_port_mode(&four_port);
    if (rc != 0)
        return rc;
    int func = common_nvm_get_func_num();
    if (four_port)
        func += ((func & 3) == 3) ? -3 : 1;
    else
        func += (func & 1) ? -1 : 1;
    char text[16];
    std::snprintf(text, sizeof text, "%d", func);
    if (!set_toe_text("FUNC_NUM", text))
        return -1;
    uint32_t port = 0;
    if (common_nvm_get_port(&port) != 0)
        return -1;
    (void)common_nvm_on_second_path();
    return 0;
}

int common_nvm_read(uint32_t offset, void* buffer, uint32_t length, uint8_t swap)
{
    HostOps* h = current_host();
    if (!h || !buffer)
        return -1;
    uint32_t status;
    if (length == 4) {
        if (!h->nvmReadDword)
            return -1;
        status = h->nvmReadDword(h->devIndex, offset, static_cast<uint32_t*>(buffer), swap);
    } else {
        if (!h->nvmReadBlock)
            return -1;
        status = h->nvmReadBlock(h->devIndex, offset, length, static_cast<uint8_t*>(buffer), swap);
    }
    return status == 0 ? 0 : -1;
}

int common_nvm_write(uint32_t offset, void* buffer, uint32_t length, uint8_t swap)
{
    HostOps* h = current_host();
    if (!h || !buffer)
        return -1;
    // E1-E3 writes are read back once: flash that reports a write stored but keeps other bytes
    // (or none) fails the write here instead of leaving damage that only the next boot finds.
    // E4 writes go to the adapter's firmware, which installs them elsewhere, so there is nothing
    // to read back at the written offset.
    std::vector<uint8_t> wanted;
    if (chip_family() == ChipFamily::E1E3) {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        wanted.assign(bytes, bytes + length);
    }
    uint32_t status;
    if (length == 4) {
        if (!h->nvmWriteDword)
            return -1;
        status = h->nvmWriteDword(h->devIndex, offset, load_u32(buffer), swap);
    } else {
        if (!h->nvmWriteBlock)
            return -1;
        status = h->nvmWriteBlock(h->devIndex, offset, length, static_cast<uint8_t*>(buffer), swap);
    }
    if (status != 0)
        return -1;
    if (wanted.empty())
        return 0;
    std::vector<uint8_t> kept(length);
    if (common_nvm_read(offset, kept.data(), length, swap) != 0 || kept != wanted) {
        fwupg_dbg_printf("NVM write at 0x%x (%u bytes) did not keep its data.", offset, length);
        return -1;
    }
    return 0;
}

uint32_t common_nvm_get_nvm_size()
{
    HostOps* h = current_host();
    if (!h || !h->interp)
        return 0;
    Tcl_Obj* obj = Tcl_GetVar2Ex(h->interp, "::toe", "NVM_SIZE", TCL_GLOBAL_ONLY);
    long v = 0;
    if (!obj || Tcl_GetLongFromObj(nullptr, obj, &v) != TCL_OK || v < 0)
        return 0;
    return uint32_t(v);
}

uint32_t common_nvm_linear_to_flash(uint32_t address) { return address; }
uint32_t common_nvm_flash_to_linear(uint32_t address) { return address; }

void common_nvm_swap_buffer(void* buffer, uint32_t length)
{
    auto* p = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i + 4 <= length; i += 4)
        store_u32(p + i, __builtin_bswap32(load_u32(p + i)));
}

void nvm_swap_buffer(void* buffer, uint32_t length) { common_nvm_swap_buffer(buffer, length); }

void nvm_buf_host_order(void*, uint32_t) {}

bool common_nvm_is_quad_feb_board(uint16_t vendor, uint16_t sub_vendor, uint16_t sub_id)
{
    static constexpr uint16_t kBoards[] = {0x1798, 0x17A5, 0x18D3, 0x1916, 0x1917, 0x1930, 0x1931,
                                           0x1932, 0x1933, 0x193A, 0x22FA, 0x3382, 0x339D};
    if (vendor != 0x14E4 || sub_vendor != 0x103C)
        return false;
    for (uint16_t b : kBoards)
        if (b == sub_id)
            return true;
    return false;
}

int common_nvm_check_ib_file(const void* header)
{
    if (!header)
        return -1;
    const auto* tag = static_cast<const uint8_t*>(header) + 8;
    if (std::memcmp(tag, "ibpl", 4) == 0 || std::memcmp(tag, "ibcp", 4) == 0)
        return 0;
    return -1;
}

void* common_nvm_alloc(size_t size) { return std::malloc(size); }
void common_nvm_free(void* p) { std::free(p); }
void* common_nvm_memcpy(void* dst, const void* src, size_t n) { return std::memcpy(dst, src, n); }
void* common_nvm_memset(void* p, int byte, size_t n) { return std::memset(p, byte, n); }

}  // extern "C"

extern "C" int common_nvm_read_abortable(void* buffer, int byte_order, uint32_t length, uint32_t offset,
                                         uint32_t* count)
{
    if (count)
        *count = 0;
    uint32_t start = offset & ~3u;
    if (common_nvm_read(start, buffer, length, 1) != 0) {
        fwupg_dbg_printf("NVM read failed.");
        return -1;
    }
    if (byte_order)
        common_nvm_swap_buffer(buffer, length);
    if (count)
        *count = length;
    return 0;
}
