// NVRAM throughput of the simulated management library (ordinals 68 and 67 over a 2 MiB NVRAM)
// against plain pread/pwrite of the same file, measured in the same run, and the cost of a
// register write (ordinal 72, kept in the register file) against one plain pwrite of a register
// line. Prints the library/plain ratios at the end (goal: at least 0.5) and the library's own
// byte counters as a cross-check of the traffic.
#include "bench/ratio_reporter.h"
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
    sim::AdapterDef adapter;
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

// Register writes as an E2/E3 update makes them: a few dozen registers written over and over.
void BM_LibraryRegisterWrite(benchmark::State& state)
{
    Bench& b = bench();
    auto write_register = b.bind<72>();
    bool ok = true;
    uint32_t i = 0;
    for (auto _ : state) {
        ok &= write_register(b.adapter.api_handle, yxmapi::kRegAccessChip, 0x1000 + 4 * (i % 48), i, kGuid) == 0;
        ++i;
    }
    if (!ok) state.SkipWithError("register write failed");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// The reference: one pwrite of a register line's size into a file.
void BM_PlainPwriteRegisterLine(benchmark::State& state)
{
    Bench& b = bench();
    const std::string file = b.root + "/plain.regs";
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
    char line[] = "0x00001000=0x00000000\n";
    bool ok = fd >= 0;
    uint32_t i = 0;
    for (auto _ : state) {
        ok &= ::pwrite(fd, line, sizeof line - 1, 22 * (i % 48)) == static_cast<ssize_t>(sizeof line - 1);
        ++i;
    }
    if (fd >= 0) ::close(fd);
    if (!ok) state.SkipWithError("pwrite failed");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(BM_LibraryRead);
BENCHMARK(BM_PlainPread);
BENCHMARK(BM_LibraryWrite);
BENCHMARK(BM_PlainPwrite);
BENCHMARK(BM_LibraryRegisterWrite);
BENCHMARK(BM_PlainPwriteRegisterLine);


}  // namespace

int main(int argc, char** argv)
{
    using namespace fwupg::bench;
    return run_with_ratios(argc, argv, [](const Results& r) {
        auto throughput = [&](const char* own, const char* reference) {
            return ratio(rate_of(r, own), rate_of(r, reference));
        };
        std::printf("2 MiB NVRAM read:  library/pread throughput ratio %.2f (goal >= 0.5)\n",
                    throughput("BM_LibraryRead", "BM_PlainPread"));
        std::printf("2 MiB NVRAM write: library/pwrite throughput ratio %.2f (goal >= 0.5)\n",
                    throughput("BM_LibraryWrite", "BM_PlainPwrite"));
        std::printf("register write:    library/pwrite rate ratio %.2f (one pwrite of a register line each)\n",
                    throughput("BM_LibraryRegisterWrite", "BM_PlainPwriteRegisterLine"));
        YxSimCounters c = bench().counters();
        std::printf("library byte counters: %llu MiB read, %llu MiB written\n",
                    static_cast<unsigned long long>(c.nvramBytesRead >> 20),
                    static_cast<unsigned long long>(c.nvramBytesWritten >> 20));
    });
}
