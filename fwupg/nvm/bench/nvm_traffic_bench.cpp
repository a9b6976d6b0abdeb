// NVRAM traffic of a single-image upgrade on a simulated E3 adapter: bytes read and written per
// byte of image, next to a plain copy of the same image as the time reference of this run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "fake_host.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/images.h"

namespace kit = testkit::e1e3;
using fwupg::nvm::test::CurrentAdapter;
using fwupg::nvm::test::FakeAdapter;

namespace {

kit::ImageDef image(const char* kind, testkit::Bytes data)
{
    kit::ImageDef im;
    im.kind = kind;
    im.data = std::move(data);
    return im;
}

// A 1 MiB E3 NVRAM with a few images and the IPMI image to be upgraded.
testkit::Bytes board(size_t ipmi_size)
{
    kit::NvramDef s;
    s.chip = kit::Chip::E3;
    s.size = 0x100000;
    kit::set_board(s, 0x14E4, 0x168E, 0x14E4, 0x1234, 0x001018AA0000ull, 2);
    s.images.push_back(image("BC1", testkit::stock_image("BC1", "7.10.3", 0x8000)));
    s.images.push_back(image("IPMI", testkit::stock_image("IPMI", "1.0.0", ipmi_size)));
    s.images.push_back(image("CCM", testkit::stock_image("CCM", "1.0.2")));
    s.images.push_back(image("NIC_PRTION", testkit::stock_image("NIC_PRTION", "1.0.0")));
    return kit::build(s).nvram;
}

void BM_ReferencePlainCopy(benchmark::State& state)
{
    const size_t size = size_t(state.range(0));
    testkit::Bytes src = testkit::stock_image("IPMI", "1.0.1", size), dst(size);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), size);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

template <bool Extended>
void BM_SingleImageUpgrade(benchmark::State& state)
{
    const size_t size = size_t(state.range(0));
    const testkit::Bytes nvram = board(size);
    const testkit::Bytes img =
        Extended ? testkit::stock_image("MFW2", "7.10.4", size) : testkit::stock_image("IPMI", "1.0.1", size);
    uint64_t read = 0, written = 0, runs = 0;
    bool whole_read = false;
    for (auto _ : state) {
        state.PauseTiming();
        auto a = std::make_unique<FakeAdapter>(nvram);
        a->set_device_id(0x168E);
        auto cur = std::make_unique<CurrentAdapter>(*a);
        a->reset_counters();
        state.ResumeTiming();
        int rc = Extended ? common_nvm_install_ext_image(img.data(), uint32_t(size), uint32_t(fwupg::nvm::row_by_name("MFW2")), 1, 1, 0, 0)
                          : common_nvm_prog_image_by_idx(img.data(), uint32_t(size), uint32_t(fwupg::nvm::row_by_name("IPMI")), 1);
        if (rc != 0) {
            state.SkipWithError("upgrade failed");
            break;
        }
        read += a->bytes_read;
        written += a->bytes_written;
        whole_read |= a->bytes_read >= a->nvram.size();
        ++runs;
        state.PauseTiming();
        cur.reset();
        a.reset();
        state.ResumeTiming();
    }
    if (runs) {
        state.counters["written_per_image_byte"] = double(written) / double(runs) / double(size);
        state.counters["read_per_image_byte"] = double(read) / double(runs) / double(size);
        state.counters["whole_nvram_read"] = whole_read ? 1 : 0;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

}  // namespace

BENCHMARK(BM_ReferencePlainCopy)->Arg(0x4000)->Arg(0x20000);
BENCHMARK(BM_SingleImageUpgrade<false>)->Name("BM_MainDirImageUpgrade")->Arg(0x4000)->Arg(0x20000);
BENCHMARK(BM_SingleImageUpgrade<true>)->Name("BM_ExtDirImageUpgrade")->Arg(0x4000)->Arg(0x20000);
BENCHMARK_MAIN();
