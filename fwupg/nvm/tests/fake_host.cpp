#include "fake_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace fwupg::nvm::test {

namespace {
FakeAdapter* g_adapter = nullptr;
std::string g_debug_text;

void append_debug(const char* fmt, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0)
        return;
    std::string s(size_t(n) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), fmt, ap);
    s.resize(size_t(n));
    g_debug_text += s;
}

uint32_t bswap(uint32_t v) { return __builtin_bswap32(v); }
}  // namespace

std::string take_debug_text()
{
    std::string s;
    s.swap(g_debug_text);
    return s;
}

struct Trampolines {
    static uint32_t read_dword(uint32_t, uint32_t offset, uint32_t* out, uint8_t swap)
    {
        FakeAdapter* a = g_adapter;
        if (!a || a->dead_ || a->fail_reads || !a->in_range(offset, 4))
            return HOST_READ_FAILED;
        uint32_t v;
        std::memcpy(&v, a->nvram.data() + offset, 4);
        *out = swap ? bswap(v) : v;
        a->bytes_read += 4;
        ++a->dword_reads;
        return 0;
    }
    static uint32_t read_block(uint32_t, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
    {
        FakeAdapter* a = g_adapter;
        uint32_t bytes = length / 4 * 4;
        if (a)
            a->largest_read = std::max<uint64_t>(a->largest_read, length);
        if (!a || a->dead_ || a->fail_reads || !a->in_range(offset, bytes))
            return HOST_READ_FAILED;
        std::memcpy(buf, a->nvram.data() + offset, bytes);
        if (swap && length >= 4)
            for (uint32_t i = 0; i < bytes; i += 4) {
                uint32_t v;
                std::memcpy(&v, buf + i, 4);
                v = bswap(v);
                std::memcpy(buf + i, &v, 4);
            }
        a->bytes_read += bytes;
        ++a->block_reads;
        return 0;
    }
    static uint32_t write_dword(uint32_t, uint32_t offset, uint32_t value, uint8_t swap)
    {
        FakeAdapter* a = g_adapter;
        if (!a || a->fail_writes)
            return HOST_WRITE_FAILED;
        if (swap)
            value = bswap(value);
        uint8_t b[4];
        std::memcpy(b, &value, 4);
        ++a->dword_writes;
        return a->write_raw(offset, b, 4) ? 0u : uint32_t(HOST_WRITE_FAILED);
    }
    static uint32_t write_block(uint32_t, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
    {
        FakeAdapter* a = g_adapter;
        if (!a || a->fail_writes)
            return HOST_WRITE_FAILED;
        uint32_t bytes = (length + 3) / 4 * 4;
        // Like the front end: the caller's buffer is swapped in place and left swapped.
        if (swap)
            for (uint32_t i = 0; i < bytes; i += 4) {
                uint32_t v;
                std::memcpy(&v, buf + i, 4);
                v = bswap(v);
                std::memcpy(buf + i, &v, 4);
            }
        ++a->block_writes;
        return a->write_raw(offset, buf, bytes) ? 0u : uint32_t(HOST_WRITE_FAILED);
    }
    static uint32_t reg_read(uint32_t, uint32_t reg, uint32_t* out)
    {
        FakeAdapter* a = g_adapter;
        if (!a || a->failing_regs.count(reg))
            return 4;
        auto it = a->regs.find(reg);
        *out = it == a->regs.end() ? 0 : it->second;
        return 0;
    }
    static uint32_t reg_write(uint32_t, uint32_t reg, uint32_t value)
    {
        FakeAdapter* a = g_adapter;
        if (!a || a->failing_regs.count(reg))
            return 43;
        a->regs[reg] = value;
        return 0;
    }
    static int eval(Tcl_Interp* interp, const char* script)
    {
        Tcl_ResetResult(interp);
        return Tcl_Eval(interp, script);
    }
    static int get_toe_int(Tcl_Interp* interp, const char* name, int* out)
    {
        Tcl_Obj* o = Tcl_GetVar2Ex(interp, "::toe", name, TCL_GLOBAL_ONLY);
        return (o && Tcl_GetIntFromObj(interp, o, out) == TCL_OK) ? 0 : 1;
    }
    static void set_last_error(uint32_t code)
    {
        if (g_adapter)
            g_adapter->last_errors.push_back(code);
    }
    static void nop() {}
    static int get_char() { return -1; }
};

FakeAdapter::FakeAdapter(std::vector<uint8_t> image) : nvram(std::move(image))
{
    static bool found = false;
    if (!found) {
        Tcl_FindExecutable(nullptr);
        found = true;
    }
    interp_ = Tcl_CreateInterp();
    g_adapter = this;
    set_toe("FUNC_NUM", "0");
    set_toe("PORT_CNT", "2");
    set_toe("PORT0", "1");
    set_toe("NVM_SIZE", std::to_string(nvram.size()));
    set_device_id(0x1662);
    take_debug_text();
}

FakeAdapter::~FakeAdapter()
{
    if (g_adapter == this)
        g_adapter = nullptr;
    Tcl_DeleteInterp(interp_);
}

void FakeAdapter::cut_power_after(uint64_t bytes)
{
    cut_armed_ = true;
    cut_budget_ = bytes;
}

void FakeAdapter::power_on()
{
    cut_armed_ = false;
    dead_ = false;
}

void FakeAdapter::set_toe(const char* name, const std::string& value)
{
    Tcl_SetVar2(interp_, "::toe", name, value.c_str(), TCL_GLOBAL_ONLY);
}

std::string FakeAdapter::toe(const char* name) const
{
    const char* v = Tcl_GetVar2(interp_, "::toe", name, TCL_GLOBAL_ONLY);
    return v ? v : "";
}

void FakeAdapter::set_device_id(uint16_t did) { chip_id_ = uint32_t(did) << 12; }

void FakeAdapter::set_e4_device_id(uint16_t did) { chip_id_ = uint32_t(did) << 16; }

int FakeAdapter::run_command(CommandProc proc, const char* name, const std::vector<std::string>& words)
{
    std::vector<Tcl_Obj*> objs{Tcl_NewStringObj(name, -1)};
    for (const auto& w : words)
        objs.push_back(Tcl_NewStringObj(w.c_str(), -1));
    for (Tcl_Obj* o : objs)
        Tcl_IncrRefCount(o);
    Tcl_ResetResult(interp_);
    last_errors.clear();
    const int r = proc(ops(), interp_, int(objs.size()), objs.data());
    for (Tcl_Obj* o : objs)
        Tcl_DecrRefCount(o);
    return r;
}

int run_line(FakeAdapter& adapter, Tcl_ObjCmdProc* proc, const std::string& line)
{
    Tcl_Interp* interp = adapter.interp();
    Tcl_ResetResult(interp);
    Tcl_Obj* list = Tcl_NewStringObj(line.c_str(), -1);
    Tcl_IncrRefCount(list);
    int n = 0;
    Tcl_Obj** words = nullptr;
    int rc = Tcl_ListObjGetElements(interp, list, &n, &words);
    if (rc == TCL_OK)
        rc = proc(nullptr, interp, n, words);
    Tcl_DecrRefCount(list);
    return rc;
}

HostOps FakeAdapter::ops()
{
    g_adapter = this;
    HostOps h{};
    h.interp = interp_;
    h.getToeInt = &Trampolines::get_toe_int;
    h.nop2 = &Trampolines::nop;
    h.getChar = &Trampolines::get_char;
    h.nop4 = &Trampolines::nop;
    h.nvmReadDword = &Trampolines::read_dword;
    h.nvmWriteDword = &Trampolines::write_dword;
    h.nvmReadBlock = &Trampolines::read_block;
    h.nvmWriteBlock = &Trampolines::write_block;
    h.regRead = &Trampolines::reg_read;
    h.regWrite = &Trampolines::reg_write;
    h.tclEval = &Trampolines::eval;
    h.nop12 = h.nop13 = h.nop14 = &Trampolines::nop;
    h.setLastError = &Trampolines::set_last_error;
    h.devIndex = 0;
    h.chipId = chip_id_;
    return h;
}

bool FakeAdapter::in_range(uint32_t offset, uint64_t length) const
{
    return uint64_t(offset) + length <= nvram.size();
}

bool FakeAdapter::write_raw(uint32_t offset, const uint8_t* data, uint32_t length)
{
    if (dead_ || !in_range(offset, length))
        return false;
    uint32_t n = length;
    if (cut_armed_ && cut_budget_ < n) {
        n = uint32_t(cut_budget_);
        dead_ = true;
    }
    if (writes.size() + 1 != lose_write)
        std::memcpy(nvram.data() + offset, data, n);
    if (cut_armed_)
        cut_budget_ -= n;
    bytes_written += n;
    writes.emplace_back(offset, n);
    return !dead_;
}

uint32_t FakeAdapter::be32(uint32_t offset) const
{
    const uint8_t* p = nvram.data() + offset;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void FakeAdapter::put_be32(uint32_t offset, uint32_t value)
{
    uint8_t* p = nvram.data() + offset;
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

void FakeAdapter::reset_counters()
{
    bytes_read = bytes_written = largest_read = 0;
    dword_reads = block_reads = dword_writes = block_writes = 0;
    writes.clear();
}

}  // namespace fwupg::nvm::test

extern "C" void fwupg_dbg_printf(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fwupg::nvm::test::append_debug(fmt, ap);
    va_end(ap);
}

extern "C" void fwupg_dbg_printf_ex(int, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fwupg::nvm::test::append_debug(fmt, ap);
    va_end(ap);
}
