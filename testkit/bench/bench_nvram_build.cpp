// Building and verifying a 2 MiB E1-E3 NVRAM image, against a reference measured in the same run:
// filling 2 MiB and taking zlib's CRC-32 of it, the least work a build must do. The ratios
// (reference time / our time) are printed after the table; a build "well under a second" is a
// ratio far above 1/1000 of a millisecond-scale reference.
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"

#include "bench/ratio_reporter.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

using namespace testkit;

constexpr uint32_t kSize = 0x200000;

const e1e3::NvramDef& desc() {
  static e1e3::NvramDef s = [] {
    e1e3::NvramDef s;
    s.size = kSize;
    e1e3::set_board(s, 0x14E4, 0x168E, 0x14E4, 0x168E, 0x001018000000ull, 4, true);
    s.images.push_back({"MBA", stock_image("MBA", "7.10.3"), {}, {}, 0});
    s.images.push_back({"L2T", stock_image("L2T", "7.10.3", 0x40000), {}, {}, 0});
    s.images.push_back({"MFW1", stock_image("MFW1", "7.10.3", 0x60000), {}, {}, 0});
    s.images.push_back({"MFW2", stock_image("MFW2", "7.10.3", 0x60000), {}, {}, 0});
    for (int i = 1; i <= 12; ++i) {
      std::string k = "SWIM" + std::to_string(i);
      s.images.push_back({k, stock_image(k, "7.10.3", 0x8000), {}, {}, 0});
    }
    s.images.push_back({"NIVPROFILES", stock_image("NIVPROFILES", ""), {}, {}, 0});
    return s;
  }();
  return s;
}

void BM_Reference_FillAndCrc(benchmark::State& state) {
  for (auto _ : state) {
    Bytes b(kSize);
    std::memset(b.data(), 0xFF, b.size());
    benchmark::DoNotOptimize(crc32_of(b.data(), b.size()));
  }
}

void BM_Build2MiB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(e1e3::build(desc()).nvram.data());
}

void BM_Verify2MiB(benchmark::State& state) {
  Bytes nv = e1e3::build(desc()).nvram;
  for (auto _ : state) benchmark::DoNotOptimize(e1e3::verify(nv, e1e3::Chip::E3).ok());
}

BENCHMARK(BM_Reference_FillAndCrc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Build2MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Verify2MiB)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv) {
  using namespace fwupg::bench;
  return run_with_ratios(argc, argv, [](const Results& r) {
    const double ref = time_of(r, "BM_Reference_FillAndCrc");
    for (const char* n : {"BM_Build2MiB", "BM_Verify2MiB"}) {
      const double t = time_of(r, n);
      if (ref > 0 && t > 0)
        std::printf("%s: %.3f ms, reference %.3f ms, ratio %.2f (reference / ours)\n", n, t, ref, ref / t);
    }
  });
}
