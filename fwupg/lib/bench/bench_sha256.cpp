// SHA-256 throughput of our implementation against OpenSSL's, measured in the same run, with the
// ratio printed at the end (goal: at least 0.5).
#include "fwupg/sha256.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <openssl/evp.h>
#include <random>
#include <string>

namespace {

const std::string& input(size_t size)
{
    static std::map<size_t, std::string> cache;
    auto& s = cache[size];
    if (s.size() != size) {
        std::mt19937 rng(42);
        s.resize(size);
        for (auto& c : s) c = static_cast<char>(rng());
    }
    return s;
}

void BM_Own(benchmark::State& state)
{
    const std::string& data = input(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        sha256_ctx ctx;
        sha256_init(&ctx);
        sha256_update(&ctx, reinterpret_cast<const uint8_t*>(data.data()), data.size());
        uint8_t digest[kSha256DigestSize];
        sha256_final(&ctx, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OwnPortable(benchmark::State& state)
{
    const std::string& data = input(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
        fwupg::sha256_detail::transform_portable(h, reinterpret_cast<const uint8_t*>(data.data()), data.size() / 64);
        benchmark::DoNotOptimize(h);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OpenSsl(benchmark::State& state)
{
    const std::string& data = input(static_cast<size_t>(state.range(0)));
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    for (auto _ : state) {
        uint8_t digest[EVP_MAX_MD_SIZE];
        EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
        EVP_DigestUpdate(ctx, data.data(), data.size());
        EVP_DigestFinal_ex(ctx, digest, nullptr);
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Own)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_OwnPortable)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_OpenSsl)->Arg(4096)->Arg(1 << 20);

// Keeps each run's throughput so the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end() && run.run_type == Run::RT_Iteration)
                rates[run.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* size : {"4096", "1048576"}) {
        double own = reporter.rates[std::string("BM_Own/") + size];
        double portable = reporter.rates[std::string("BM_OwnPortable/") + size];
        double ref = reporter.rates[std::string("BM_OpenSsl/") + size];
        if (ref > 0 && own > 0)
            std::printf("sha256 %s-byte input: own/OpenSSL throughput ratio %.2f (goal >= 0.5)\n", size, own / ref);
        if (ref > 0 && portable > 0)
            std::printf("sha256 %s-byte input: portable code alone/OpenSSL ratio %.2f\n", size, portable / ref);
    }
    benchmark::Shutdown();
    return 0;
}
