// SHA-256 throughput of our implementation against OpenSSL's, measured in the same run, with the
// ratio printed at the end (goal: at least 0.5).
#include "fwupg/sha256.h"

#include "bench/ratio_reporter.h"
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


}  // namespace

int main(int argc, char** argv)
{
    using namespace fwupg::bench;
    return run_with_ratios(argc, argv, [](const Results& r) {
        for (const char* size : {"4096", "1048576"}) {
            const double own = rate_of(r, std::string("BM_Own/") + size);
            const double portable = rate_of(r, std::string("BM_OwnPortable/") + size);
            const double ref = rate_of(r, std::string("BM_OpenSsl/") + size);
            if (ref > 0 && own > 0)
                std::printf("sha256 %s-byte input: own/OpenSSL throughput ratio %.2f (goal >= 0.5)\n", size, own / ref);
            if (ref > 0 && portable > 0)
                std::printf("sha256 %s-byte input: portable code alone/OpenSSL ratio %.2f\n", size, portable / ref);
        }
    });
}
