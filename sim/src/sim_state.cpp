#include "sim_state.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "kv_text.h"
#include "platform/paths.h"

namespace sim {

WriteGate::WriteGate(SimAdapter& adapter) : adapter_(adapter)
{
    if (adapter.claimed) {
        open_ = true;
        return;
    }
    if (adapter.lock_fd < 0) return;
    int rc;
    do rc = ::flock(adapter.lock_fd, LOCK_SH | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    open_ = locked_ = rc == 0;
}

WriteGate::~WriteGate()
{
    if (locked_) ::flock(adapter_.lock_fd, LOCK_UN);
}

SimState& SimState::instance()
{
    static SimState state;
    return state;
}

void SimState::initialize()
{
    if (initialized_) {
        load_control();
        return;
    }
    root_ = platform::system_root();
    adapters_.clear();
    for (const std::string& name : adapter_names(root_)) {
        auto text = read_file(description_path(root_, name));
        std::string error = "cannot read the description";
        std::optional<AdapterSpec> desc;
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
        a.registers = a.desc.registers;
        if (auto stored = read_file(registers_path(root_, name)))
            for (const auto& [reg, value] : parse_registers(*stored)) a.registers[reg] = value;
        a.nvram_fd = ::open(nvram_path(root_, name).c_str(), O_RDWR | O_CLOEXEC);
        a.lock_fd = ::open(lock_path(root_, name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        adapters_.push_back(std::move(a));
    }
    load_control();
    initialized_ = true;
}

void SimState::close_adapters()
{
    for (SimAdapter& a : adapters_) {
        if (a.lock_fd >= 0) ::close(a.lock_fd);  // closing drops the claim
        if (a.nvram_fd >= 0) ::close(a.nvram_fd);
        a.lock_fd = a.nvram_fd = -1;
        a.claimed = false;
    }
    adapters_.clear();
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

std::optional<FaultRule> SimState::injected_fault(uint32_t ordinal, const std::string& adapter)
{
    std::optional<FaultRule> hit;
    for (size_t i = 0; i < control_.faults.size(); ++i) {
        const FaultRule& r = control_.faults[i];
        if (r.ordinal != ordinal || (!r.adapter.empty() && r.adapter != adapter)) continue;
        uint32_t n = ++fault_hits_[i];
        if (!hit && (r.nth == 0 || r.nth == n)) hit = r;
    }
    return hit;
}

void SimState::store_register(SimAdapter& adapter, uint32_t reg, uint32_t value)
{
    adapter.registers[reg] = value;
    std::map<uint32_t, uint32_t> written;
    if (auto stored = read_file(registers_path(root_, adapter.desc.name))) written = parse_registers(*stored);
    written[reg] = value;
    write_file_atomic(registers_path(root_, adapter.desc.name), format_registers(written));
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
