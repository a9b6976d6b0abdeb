#include "sim_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kv_text.h"
#include "platform/paths.h"

namespace sim {

WriteGate::WriteGate(SimAdapter& adapter) : adapter_(adapter)
{
    const SimBoard& b = *adapter.board;
    if (b.claimed) {  // through this function, or another function of the board holds it
        open_ = adapter.claimed();
        return;
    }
    if (b.lock_fd < 0) return;
    int rc;
    do rc = ::flock(b.lock_fd, LOCK_SH | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    open_ = locked_ = rc == 0;
}

WriteGate::~WriteGate()
{
    if (locked_) ::flock(adapter_.board->lock_fd, LOCK_UN);
}

uint32_t SimAdapter::read_register(uint32_t reg) const
{
    if (auto it = regs->written.find(reg); it != regs->written.end()) return it->second;
    auto it = desc.registers.find(reg);
    return it == desc.registers.end() ? 0 : it->second;
}

namespace {

constexpr std::size_t kRegisterLine = 22;  // "0x00000000=0x00000000\n"

// Reads a register file: the last line of each register wins; the offset of that line is kept
// when it has the fixed width, so a later write of the register replaces it in place.
void load_bank(RegisterBank& bank)
{
    bank.written.clear();
    bank.line_at.clear();
    auto text = read_file(bank.file);
    if (!text) return;
    bool canonical = true;
    std::size_t at = 0;
    while (at < text->size()) {
        std::size_t nl = text->find('\n', at);
        std::size_t end = nl == std::string::npos ? text->size() : nl + 1;
        auto regs = parse_registers(std::string_view(*text).substr(at, end - at));
        if (regs.size() == 1) {
            bank.written[regs.begin()->first] = regs.begin()->second;
            if (end - at == kRegisterLine) bank.line_at[regs.begin()->first] = at;
            else canonical = false;
        }
        at = end;
    }
    if (!canonical) {  // a file written by hand: rewrite it in the fixed-width form once
        write_file_atomic(bank.file, format_registers(bank.written));
        if (bank.fd >= 0) ::close(bank.fd);  // the old file is gone
        bank.fd = -1;
        load_bank(bank);
    }
}

// A machine without an adapters folder has no adapters, which the caller only sees as an empty
// list; the usual cause is FWUPG_SYSTEM_ROOT unset or misspelt. Said once per process, on stderr,
// so the output of the program that loaded the library stays as it is.
void tell_if_no_adapters_folder(const std::string& root)
{
    static bool told = false;
    struct stat st{};
    const std::string folder = adapters_dir(root == "/" ? "" : root);
    if (told || (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return;
    told = true;
    const char* named = std::getenv("FWUPG_SYSTEM_ROOT");
    std::fprintf(stderr,
                 "YXMAPIa: no adapters folder at %s, so no adapters; FWUPG_SYSTEM_ROOT names the simulated "
                 "machine's folder (%s%s%s)\n",
                 folder.c_str(), named && *named ? "it is \"" : "it is unset", named && *named ? named : "",
                 named && *named ? "\"" : "");
}

}  // namespace

SimState& SimState::instance()
{
    static SimState state;
    return state;
}

void SimState::initialize()
{
    if (initialized_ && root_ == platform::system_root()) {
        load_control();
        return;
    }
    if (initialized_) shutdown();  // another machine now: the old one's claims end
    root_ = platform::system_root();
    adapters_.clear();
    tell_if_no_adapters_folder(root_);
    for (const std::string& name : adapter_names(root_)) {
        auto text = read_file(description_path(root_, name));
        std::string error = "cannot read the description";
        std::optional<AdapterDef> desc;
        if (text) desc = parse_adapter(name, *text, &error);
        if (!desc) {
            std::fprintf(stderr, "YXMAPIa: adapter %s skipped: %s\n", name.c_str(), error.c_str());
            continue;
        }
        bool clash = false;
        for (const SimAdapter& other : adapters_)
            clash |= other.desc.list_handle == desc->list_handle || other.desc.api_handle == desc->api_handle ||
                     other.desc.service_handle == desc->service_handle;
        if (clash) {
            std::fprintf(stderr, "YXMAPIa: adapter %s skipped: a handle is already in use\n", name.c_str());
            continue;
        }
        SimAdapter a;
        a.desc = std::move(*desc);
        a.board = &board(a.desc.board_name());
        a.regs = &bank(a.desc.registers_name());
        adapters_.push_back(std::move(a));
    }
    load_control();
    initialized_ = true;
}

SimBoard& SimState::board(const std::string& name)
{
    for (SimBoard& b : boards_)
        if (b.name == name) return b;
    SimBoard& b = boards_.emplace_back();
    b.name = name;
    b.nvram_fd = ::open(nvram_path(root_, name).c_str(), O_RDWR | O_CLOEXEC);
    b.lock_fd = ::open(lock_path(root_, name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return b;
}

RegisterBank& SimState::bank(const std::string& name)
{
    std::string file = registers_path(root_, name);
    for (RegisterBank& r : banks_)
        if (r.file == file) return r;
    RegisterBank& r = banks_.emplace_back();
    r.file = file;
    load_bank(r);
    return r;
}

void SimState::close_adapters()
{
    for (SimBoard& b : boards_) {
        if (b.lock_fd >= 0) ::close(b.lock_fd);  // closing drops the claim
        if (b.nvram_fd >= 0) ::close(b.nvram_fd);
    }
    for (RegisterBank& r : banks_)
        if (r.fd >= 0) ::close(r.fd);
    adapters_.clear();
    boards_.clear();
    banks_.clear();
}

void SimState::shutdown()
{
    close_adapters();
    initialized_ = false;
}

void SimState::load_control()
{
    control_ = Control{};
    if (auto text = read_file(control_path(platform::system_root()))) {
        std::vector<std::string> errors;
        control_ = parse_control(*text, &errors);
        for (const std::string& e : errors) std::fprintf(stderr, "YXMAPIa: %s\n", e.c_str());
    }
    fault_hits_.assign(control_.faults.size(), 0);
}

SimAdapter* SimState::find(HandleSpace space, uint32_t handle)
{
    for (SimAdapter& a : adapters_) {
        uint32_t h = space == HandleSpace::List ? a.desc.list_handle
                     : space == HandleSpace::Api ? a.desc.api_handle
                                                 : a.desc.service_handle;
        if (h == handle) return &a;
    }
    return nullptr;
}

uint32_t SimState::count_persistent(const FaultRule& rule)
{
    const std::string file = fault_count_path(root_);
    const std::string key = format_fault(rule);
    std::map<std::string, uint32_t> counts;
    if (auto text = read_file(file))
        for (const KvLine& l : parse_kv(*text))
            if (auto n = parse_u32(l.value); l.ok && n) counts[l.key] = *n;
    uint32_t n = ++counts[key];
    std::string out;
    for (const auto& [k, v] : counts) out += k + "=" + std::to_string(v) + "\n";
    write_file_atomic(file, out);
    return n;
}

std::optional<FaultRule> SimState::injected_fault(uint32_t ordinal, const SimAdapter* adapter,
                                                  std::optional<NvramSpan> span)
{
    std::optional<FaultRule> hit;
    for (size_t i = 0; i < control_.faults.size(); ++i) {
        const FaultRule& r = control_.faults[i];
        bool named = adapter && (r.adapter == adapter->desc.name || r.adapter == adapter->desc.board_name());
        if (r.ordinal != ordinal || (!r.adapter.empty() && !named)) continue;
        if (r.from) {
            uint64_t to = r.to ? *r.to : uint64_t(*r.from) + 1;
            if (!span || span->end <= *r.from || span->begin >= to) continue;
        }
        uint32_t n = r.persist ? count_persistent(r) : ++fault_hits_[i];
        if (!hit && (r.nth == 0 || r.nth == n)) hit = r;
    }
    return hit;
}

bool SimState::store_register(SimAdapter& adapter, uint32_t reg, uint32_t value)
{
    RegisterBank& r = *adapter.regs;
    if (!r.line_at.count(reg)) load_bank(r);  // another session may have added the register's line
    if (r.fd < 0) r.fd = ::open(r.file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (r.fd < 0) return false;
    std::string line = format_registers({{reg, value}});
    uint64_t at;
    if (auto it = r.line_at.find(reg); it != r.line_at.end()) {
        at = it->second;
    } else {
        struct stat st {};
        if (::fstat(r.fd, &st) != 0) return false;
        at = static_cast<uint64_t>(st.st_size);
    }
    if (!pwrite_all(r.fd, line.data(), line.size(), at)) return false;
    r.line_at[reg] = at;
    r.written[reg] = value;
    return true;
}

void SimState::record(const YxSimCall& call)
{
    if (call.ordinal < 256) ++counters_.calls[call.ordinal];
    if (journal_.size() >= kJournalLimit) journal_.pop_front();
    journal_.push_back(call);

    std::string file = journal_path(platform::system_root());
    if (file != journal_file_) {
        if (journal_fd_ >= 0) ::close(journal_fd_);
        journal_fd_ = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        journal_file_ = file;
    }
    if (journal_fd_ >= 0) {
        // One write per line: O_APPEND keeps lines of several processes whole.
        std::string line = format_journal_line(call);
        if (::write(journal_fd_, line.data(), line.size()) < 0) {
            ::close(journal_fd_);
            journal_fd_ = -1;
        }
    }
}

void SimState::reset_journal()
{
    journal_.clear();
    counters_ = YxSimCounters{};
}

}  // namespace sim
