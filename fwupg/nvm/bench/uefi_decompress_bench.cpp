// Decoding the 200 KB executable-like vector (EFI 1.1 and Tiano streams) against a plain memcpy
// of the same output size, measured in the same run; the ratio is printed at the end.
#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fwupg/nvm/e4/uefi_decompress.h"

namespace {

std::vector<uint8_t> vector_file(const char* name)
{
    std::ifstream in(std::string(UEFI_VECTORS) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void decode(benchmark::State& state, const char* name, decltype(&efi_decompress) fn)
{
    const std::vector<uint8_t> src = vector_file(name);
    uint32_t size = 0, scratch_size = 0;
    if (efi_get_info(src.data(), uint32_t(src.size()), &size, &scratch_size) != 0) {
        state.SkipWithError("vector missing");
        return;
    }
    std::vector<uint8_t> out(size), scratch(scratch_size);
    for (auto _ : state)
        if (fn(src.data(), uint32_t(src.size()), out.data(), size, scratch.data(), scratch_size) != 0)
            state.SkipWithError("decode failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void BM_EfiDecompress(benchmark::State& state) { decode(state, "mixed200k.efi", efi_decompress); }
void BM_TianoDecompress(benchmark::State& state) { decode(state, "mixed200k.tiano", tiano_decompress); }

// The reference: copying the 204,800 output bytes.
void BM_Memcpy(benchmark::State& state)
{
    const std::vector<uint8_t> src = vector_file("mixed200k.bin");
    std::vector<uint8_t> out(src.size());
    for (auto _ : state) {
        std::memcpy(out.data(), src.data(), src.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_EfiDecompress);
BENCHMARK(BM_TianoDecompress);

}  // namespace

int main(int argc, char** argv)
{
    using namespace fwupg::bench;
    return run_with_ratios(argc, argv, [](const Results& t) {
        if (const double copy = time_of(t, "BM_Memcpy"); copy > 0)
            std::printf("200 KB decode / memcpy: EFI 1.1 %.1f   Tiano %.1f\n", time_of(t, "BM_EfiDecompress") / copy,
                        time_of(t, "BM_TianoDecompress") / copy);
    });
}
