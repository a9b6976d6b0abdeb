// NVRAM throughput of the simulated management library (ordinals 68 and 67 over a 2 MiB NVRAM)
// against plain pread/pwrite of the same file, measured in the same run. Prints the
// library/plain ratio for reads and writes at the end (goal: at least 0.5) and the library's own
// byte counters as a cross-check of the traffic.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "sim/adapter_builder.h"
#include "yxmapi/sim_control.h"
#include "yxmapi/yxmapi.h"

namespace {

constexpr uint32_t kNvramSize = 2u << 20;
constexpr const char* kGuid = "{5A0B7C1D-2E3F-4051-9263-748596A7B8C9}";

// A system root with one 2 MiB adapter and the library opened on it.
struct Bench {
    Bench()
    {
        char tmpl[] = "/tmp/simbenchXXXXXX";
        root = mkdtemp(tmpl);
        setenv("FWUPG_SYSTEM_ROOT", root.c_str(), 1);
        adapter = sim::make_adapter(yxmapi::kFamily57710, 0);
        adapter.flash_word = kNvramSize;
        sim::write_adapter(root, adapter);

        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : "./x";
        dir = dir.substr(0, dir.rfind('/'));
        lib = dlopen((dir + "/" + yxmapi::kLibraryFileName).c_str(), RTLD_NOW);
        if (!lib) {
            std::fprintf(stderr, "bench_sim_nvram: %s\n", dlerror());
            std::exit(1);
        }
        read = bind<68>();
        write = bind<67>();
        bind<34>()(0);
        bind<47>()(adapter.api_handle);
        fd = ::open(sim::nvram_path(root, adapter.name).c_str(), O_RDWR);
    }
    ~Bench()
    {
        ::close(fd);
        bind<3>()();
        dlclose(lib);
        std::filesystem::remove_all(root);
    }
    template <uint32_t N>
    typename yxmapi::OrdinalFn<N>::type bind()
    {
        return reinterpret_cast<typename yxmapi::OrdinalFn<N>::type>(dlsym(lib, yxmapi::symbol_for_ordinal(N)));
    }
    YxSimCounters counters()
    {
        YxSimCounters c{};
        reinterpret_cast<YxSimGetCountersFn>(dlsym(lib, "yxsim_get_counters"))(&c);
        return c;
    }

    std::string root;
    sim::AdapterSpec adapter;
    void* lib = nullptr;
    int fd = -1;
    YXmapiReadNvramFn read = nullptr;
    YXmapiWriteNvramFn write = nullptr;
    std::vector<uint32_t> buf = std::vector<uint32_t>(kNvramSize / 4, 0x5AA55AA5);
};

Bench& bench()
{
    static Bench b;
    return b;
}

void finish(benchmark::State& state, bool ok)
{
    if (!ok) state.SkipWithError("transfer failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kNvramSize);
}

void BM_LibraryRead(benchmark::State& state)
{
    Bench& b = bench();
    bool ok = true;
    for (auto _ : state) ok &= b.read(b.adapter.api_handle, 0, b.buf.data(), kNvramSize / 4, kGuid) == 0;
    finish(state, ok);
}

void BM_PlainPread(benchmark::State& state)
{
    Bench& b = bench();
    bool ok = true;
    for (auto _ : state) ok &= ::pread(b.fd, b.buf.data(), kNvramSize, 0) == kNvramSize;
    finish(state, ok);
}

void BM_LibraryWrite(benchmark::State& state)
{
    Bench& b = bench();
    bool ok = true;
    for (auto _ : state) ok &= b.write(b.adapter.api_handle, 0, b.buf.data(), kNvramSize / 4, kGuid) == 0;
    finish(state, ok);
}

void BM_PlainPwrite(benchmark::State& state)
{
    Bench& b = bench();
    bool ok = true;
    for (auto _ : state) ok &= ::pwrite(b.fd, b.buf.data(), kNvramSize, 0) == kNvramSize;
    finish(state, ok);
}

BENCHMARK(BM_LibraryRead);
BENCHMARK(BM_PlainPread);
BENCHMARK(BM_LibraryWrite);
BENCHMARK(BM_PlainPwrite);

// Collects the throughput of each benchmark for the ratios printed after the table.
class ThroughputCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end())
                throughput[run.benchmark_name()] = it->second.value;
        ConsoleReporter::ReportRuns(runs);
    }
    double ratio(const std::string& own, const std::string& reference)
    {
        return throughput[reference] > 0 ? throughput[own] / throughput[reference] : 0;
    }
    std::map<std::string, double> throughput;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    ThroughputCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("2 MiB NVRAM read:  library/pread throughput ratio %.2f (goal >= 0.5)\n",
                collector.ratio("BM_LibraryRead", "BM_PlainPread"));
    std::printf("2 MiB NVRAM write: library/pwrite throughput ratio %.2f (goal >= 0.5)\n",
                collector.ratio("BM_LibraryWrite", "BM_PlainPwrite"));
    YxSimCounters c = bench().counters();
    std::printf("library byte counters: %llu MiB read, %llu MiB written\n",
                static_cast<unsigned long long>(c.nvramBytesRead >> 20),
                static_cast<unsigned long long>(c.nvramBytesWritten >> 20));
    benchmark::Shutdown();
    return 0;
}
