// "_dump" and "_prg" of a whole 2 MiB NVRAM on the simulated adapter, against a plain copy of the
// same bytes from file to file, measured in the same run. The E1-E3 dump reads NVRAM in one
// piece without pauses, so the time reported is all engine and transfer time (sleeps: 0).
#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"
#include <tcl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fwupg/nvm/commands/commands.h"
#include "testkit/bytes.h"
#include "testkit/e1e3_nvram.h"

namespace {

namespace fs = std::filesystem;
using fwupg::nvm::test::CurrentAdapter;
using fwupg::nvm::test::FakeAdapter;

constexpr uint32_t kSize = 0x200000;

std::vector<uint8_t> board_image()
{
    testkit::e1e3::NvramDef s;
    s.size = kSize;
    testkit::e1e3::set_board(s, 0x14E4, 0x168E, 0x14E4, 0x1234, 0x001018AA0000ull, 2);
    testkit::Bytes big(0x100000);
    testkit::fill_pattern(big.data(), big.size(), 9);
    testkit::e1e3::ImageDef im;
    im.kind = "L2T";
    im.data = big;
    s.images.push_back(im);
    return testkit::e1e3::build(s).nvram;
}

std::string temp_path(const char* name) { return (fs::temp_directory_path() / name).string(); }

int run(FakeAdapter& a, const std::string& line)
{
    Tcl_Obj* list = Tcl_NewStringObj(line.c_str(), -1);
    Tcl_IncrRefCount(list);
    int n = 0;
    Tcl_Obj** words = nullptr;
    Tcl_ListObjGetElements(nullptr, list, &n, &words);
    Tcl_ObjCmdProc* proc = line.rfind("_dump", 0) == 0 ? tcl_al_nvm_dump_cmd : tcl_al_nvm_prg_cmd;
    int rc = proc(nullptr, a.interp(), n, words);
    Tcl_DecrRefCount(list);
    return rc;
}

void BM_Dump(benchmark::State& state)
{
    FakeAdapter a(board_image());
    a.set_device_id(0x168E);
    CurrentAdapter current(a);
    const std::string out = temp_path("bench_nvm_dump.bin");
    for (auto _ : state) {
        fs::remove(out);
        if (run(a, "_dump {" + out + "}") != TCL_OK)
            state.SkipWithError("dump failed");
    }
    fs::remove(out);
    state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
    state.counters["sleeps_ms"] = 0;
}

void BM_Prg(benchmark::State& state)
{
    FakeAdapter a(board_image());
    a.set_device_id(0x168E);
    CurrentAdapter current(a);
    const std::string in = temp_path("bench_nvm_prg.bin");
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(a.nvram.data()), std::streamsize(a.nvram.size()));
    }
    for (auto _ : state)
        if (run(a, "_prg 0 {" + in + "}") != TCL_OK)
            state.SkipWithError("prg failed");
    fs::remove(in);
    state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

// The reference: the same bytes copied from one file into a new one.
void BM_FileCopy(benchmark::State& state)
{
    const std::string in = temp_path("bench_nvm_copy_in.bin"), out = temp_path("bench_nvm_copy_out.bin");
    {
        std::vector<uint8_t> bytes = board_image();
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    for (auto _ : state) {
        fs::remove(out);
        fs::copy_file(in, out);
    }
    fs::remove(in);
    fs::remove(out);
    state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

BENCHMARK(BM_FileCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dump)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Prg)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    using namespace fwupg::bench;
    return run_with_ratios(argc, argv, [](const Results& t) {
        if (const double copy = time_of(t, "BM_FileCopy"); copy > 0)
            std::printf("2 MiB dump / file copy: %.1f   prg / file copy: %.1f   chunked-read sleeps: 0 ms\n",
                        time_of(t, "BM_Dump") / copy, time_of(t, "BM_Prg") / copy);
    });
}
