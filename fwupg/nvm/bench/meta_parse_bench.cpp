// Parsing a 60 KB meta text (an "nvm_cfg" array of options, as a META image carries it) against
// reading the same bytes once, measured in the same run; the ratio is printed at the end.
#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"

#include <cstdio>
#include <map>
#include <string>

#include "fwupg/nvm/e4/meta.h"

namespace {

// Options of seven attributes each, on one joined line, until the text reaches 60 KB.
std::string meta_text_60k()
{
    std::string s = "array set nvm_cfg {";
    for (unsigned id = 1; s.size() < 60 * 1024; ++id) {
        const std::string k = std::to_string(id) + ",";
        s += k + "name {Option number " + std::to_string(id) + "} " + k + "size 0x" + std::to_string(1 + id % 32) +
             " " + k + "offset " + std::to_string(id * 8) + " " + k + "entity_name " +
             (id % 3 ? "port" : "glob") + " " + k + "configType \"user\" " + k + "elementSize 8 " + k +
             "exChipNumAttrs 57940 \\\n";
    }
    return s + "}\n";
}

const std::string& text()
{
    static const std::string t = meta_text_60k();
    return t;
}

void BM_MetaParse(benchmark::State& state)
{
    const std::string& t = text();
    for (auto _ : state) {
        nvm_meta_node* root = nvm_meta_parse(t.data(), t.size());
        if (!root) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(root);
        nvm_meta_free(root);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(t.size()));
}

// The reference: one pass over the same bytes, each one read.
void BM_ReadBytes(benchmark::State& state)
{
    const std::string& t = text();
    for (auto _ : state) {
        unsigned sum = 0;
        for (char c : t)
            sum += static_cast<unsigned char>(c);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(t.size()));
}

BENCHMARK(BM_ReadBytes);
BENCHMARK(BM_MetaParse);

}  // namespace

int main(int argc, char** argv)
{
    using namespace fwupg::bench;
    return run_with_ratios(argc, argv, [](const Results& t) {
        if (const double read = time_of(t, "BM_ReadBytes"); read > 0)
            std::printf("60 KB meta text: parse / read = %.1f\n", time_of(t, "BM_MetaParse") / read);
    });
}
