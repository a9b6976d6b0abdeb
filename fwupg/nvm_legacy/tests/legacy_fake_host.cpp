#include "legacy_fake_host.h"

#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace {
FakeHost* g_host = nullptr;

bool covers(int64_t at, uint32_t off, uint32_t len) { return at >= 0 && at >= off && at < int64_t(off) + len; }

void reverse_words(uint8_t* buf, uint32_t words)
{
    for (uint32_t i = 0; i < words; ++i)
        std::swap(buf[4 * i], buf[4 * i + 3]), std::swap(buf[4 * i + 1], buf[4 * i + 2]);
}

uint32_t fail(uint32_t code)
{
    g_host->last_error = code;
    return code;
}

int get_toe_int(Tcl_Interp* interp, const char* name, int* out)
{
    Tcl_Obj* v = Tcl_GetVar2Ex(interp, "::toe", name, TCL_GLOBAL_ONLY);
    if (!v || Tcl_GetIntFromObj(interp, v, out) != TCL_OK) {
        Tcl_AppendResult(interp, "can't read ::toe(", name, ")", static_cast<char*>(nullptr));
        return 1;
    }
    return 0;
}

uint32_t read_block(uint32_t, uint32_t off, uint32_t len, uint8_t* buf, uint8_t swap)
{
    ++g_host->reads;
    if (uint64_t(off) + len > g_host->nvram.size() || covers(g_host->fail_read_at, off, len))
        return fail(HOST_READ_FAILED);
    std::memcpy(buf, g_host->nvram.data() + off, len);
    if (swap)
        reverse_words(buf, len / 4);
    return 0;
}

uint32_t write_block(uint32_t, uint32_t off, uint32_t len, uint8_t* buf, uint8_t swap)
{
    if (swap)
        reverse_words(buf, (len + 3) / 4);   // as the front end does: the caller's buffer stays reversed
    if (uint64_t(off) + len > g_host->nvram.size() || covers(g_host->fail_write_at, off, len) ||
        (g_host->cut_after_writes >= 0 && g_host->writes >= g_host->cut_after_writes))
        return fail(HOST_WRITE_FAILED);
    if (!covers(g_host->lose_write_at, off, len))
        std::memcpy(g_host->nvram.data() + off, buf, len);
    ++g_host->writes;
    g_host->write_offsets.push_back(off);
    g_host->write_lengths.push_back(len);
    return 0;
}

uint32_t read_dword(uint32_t dev, uint32_t off, uint32_t* out, uint8_t swap)
{
    uint8_t b[4];
    const uint32_t rc = read_block(dev, off, 4, b, swap);
    if (rc == 0)
        std::memcpy(out, b, 4);
    return rc;
}

uint32_t write_dword(uint32_t dev, uint32_t off, uint32_t value, uint8_t swap)
{
    uint8_t b[4];
    std::memcpy(b, &value, 4);
    return write_block(dev, off, 4, b, swap);
}

void tcl_ready()
{
    static bool ready = [] {
        Tcl_FindExecutable(nullptr);
        return true;
    }();
    (void)ready;
}

void set_last_error(uint32_t code) { g_host->last_error = code; }
// Console keys come from the Tcl standard input channel, the source a test scripts.
int get_char()
{
    Tcl_Channel in = Tcl_GetStdChannel(TCL_STDIN);
    char c = 0;
    return in && Tcl_Read(in, &c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
}
void nop() {}
}  // namespace

FakeHost::FakeHost(const testkit::legacy::adapter& a) : nvram(testkit::legacy::build_nvram(a))
{
    tcl_ready();
    interp = Tcl_CreateInterp();
    g_host = this;
    set_toe("DEV", "0");
    set_toe("BOARD", std::to_string(a.board));
    set_toe("PORT0", "1");
    set_toe("NVM_TYPE", a.buffered ? "BUFFERED" : "NONBUFFERED");
    set_toe("NVM_SIZE", std::to_string(a.nvm_size));
    set_toe("PHY_TYPE", "COPPER");
    set_toe("CHIP_REV", "B1");
    set_toe("VAUX_PRESET", "0");
    set_toe("VID", std::to_string(a.vid));
    set_toe("DID", std::to_string(a.did));
    set_toe("SVID", std::to_string(a.svid));
    set_toe("SSID", std::to_string(a.ssid));
    Tcl_SetVar2(interp, "::sys", "DISP_BYTE", "0", TCL_GLOBAL_ONLY);
}

FakeHost::~FakeHost()
{
    Tcl_DeleteInterp(interp);
    g_host = nullptr;
}

HostOps FakeHost::ops()
{
    HostOps o{};
    o.interp = interp;
    o.getToeInt = get_toe_int;
    o.nop2 = nop;
    o.getChar = get_char;
    o.nop4 = nop;
    o.nvmReadDword = read_dword;
    o.nvmWriteDword = write_dword;
    o.nvmReadBlock = read_block;
    o.nvmWriteBlock = write_block;
    o.nop12 = o.nop13 = o.nop14 = nop;
    o.setLastError = set_last_error;
    return o;
}

void FakeHost::set_toe(const char* name, const std::string& value)
{
    Tcl_SetVar2(interp, "::toe", name, value.c_str(), TCL_GLOBAL_ONLY);
}

std::string FakeHost::result() const { return Tcl_GetStringResult(interp); }

uint32_t FakeHost::be32(uint32_t off) const { return testkit::legacy::get_be32(nvram, off); }

int FakeHost::run(int (*cmd)(HostOps, int, Tcl_Obj* const[]), const std::vector<std::string>& words)
{
    std::vector<Tcl_Obj*> objv;
    for (const std::string& w : words) {
        objv.push_back(Tcl_NewStringObj(w.c_str(), -1));
        Tcl_IncrRefCount(objv.back());
    }
    Tcl_ResetResult(interp);
    const int rc = cmd(ops(), int(objv.size()), objv.data());
    for (Tcl_Obj* o : objv)
        Tcl_DecrRefCount(o);
    return rc;
}

ScriptedStdin::ScriptedStdin(const std::string& keys)
{
    tcl_ready();
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe");
    // The keys fit the pipe's buffer; the write end is closed so that reading past them ends.
    const bool written = write(fds[1], keys.data(), keys.size()) == ssize_t(keys.size());
    close(fds[1]);
    if (!written) {
        close(fds[0]);
        throw std::runtime_error("pipe write");
    }
    mine_ = Tcl_MakeFileChannel(reinterpret_cast<ClientData>(intptr_t(fds[0])), TCL_READABLE);
    previous_ = Tcl_GetStdChannel(TCL_STDIN);
    Tcl_SetStdChannel(mine_, TCL_STDIN);
}

ScriptedStdin::~ScriptedStdin()
{
    Tcl_SetStdChannel(previous_, TCL_STDIN);
    Tcl_Close(nullptr, mine_);
}
