// Fuzz target: the text files of the simulated machine that the library reads (adapter
// descriptions, the control file, stored register writes, journal lines). Whatever parses must
// format back to text that parses to the same result.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sim/adapter_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (auto desc = sim::parse_adapter("fuzz", text, &error)) {
        std::string again = sim::format_adapter(*desc);
        auto back = sim::parse_adapter("fuzz", again, nullptr);
        if (!back || sim::format_adapter(*back) != again) std::abort();
    }
    sim::Control control = sim::parse_control(text);
    if (sim::format_control(sim::parse_control(sim::format_control(control))) != sim::format_control(control))
        std::abort();
    auto regs = sim::parse_registers(text);
    if (sim::parse_registers(sim::format_registers(regs)) != regs) std::abort();
    if (auto call = sim::parse_journal_line(text)) {
        auto back = sim::parse_journal_line(sim::format_journal_line(*call));
        if (!back || sim::format_journal_line(*back) != sim::format_journal_line(*call)) std::abort();
    }
    return 0;
}
