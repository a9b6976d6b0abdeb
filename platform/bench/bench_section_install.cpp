// Installing an INF section of thousands of registry values (AddReg lines, and an Ini2Reg line
// over an INI section of as many entries) against writing the registry file that holds those
// values once, measured in the same run. The install reads and writes the registry once, so its
// time per value stays the same from 500 to 4,000 values; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "platform/registry_store.h"
#include "platform/state_file.h"
#include "platform/testing/temp_root.h"
#include "platform/win_setupapi_install.h"

namespace {

using namespace win;
namespace reg = platform::registry;

constexpr int kSmall = 500;
constexpr int kLarge = 4000;

void Write(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string value_name(int i) { return "Value" + std::to_string(i); }
std::string value_text(int i) { return "C:\\Program Files\\Tvn\\file" + std::to_string(i) + ".dat"; }

// Installs [Inst] of `inf` on a fresh machine once per iteration.
void install(benchmark::State& state, const std::string& inf, const std::string& ini, UINT flags)
{
    platform::testing::TempSystemRoot root;
    Write(root / "C/pkg/big.inf", inf);
    if (!ini.empty()) Write(root / "C/Windows/big.ini", ini);
    HINF handle = SetupOpenInfFileW(u"C:\\pkg\\big.inf", nullptr, INF_STYLE_WIN4, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        state.SkipWithError("the INF did not open");
        return;
    }
    for (auto _ : state) {
        if (!SetupInstallFromInfSectionW(nullptr, handle, u"Inst", flags, nullptr, nullptr, 0, nullptr, nullptr,
                                         nullptr, nullptr))
            state.SkipWithError("the install failed");
    }
    SetupCloseInfFile(handle);
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_AddRegSection(benchmark::State& state)
{
    std::string inf = "[Version]\nSignature=\"$Windows NT$\"\n[Inst]\nAddReg=Values\n[Values]\n";
    for (int i = 0; i < state.range(0); ++i)
        inf += "HKLM,Software\\Tvn\\Big," + value_name(i) + ",," + "\"" + value_text(i) + "\"\n";
    install(state, inf, "", SPINST_REGISTRY);
}

void BM_Ini2RegSection(benchmark::State& state)
{
    const std::string inf = "[Version]\nSignature=\"$Windows NT$\"\n[Inst]\nIni2Reg=Move\n"
                            "[Move]\nbig.ini, Big, , HKLM, Software\\Tvn\\Big\n";
    std::string ini = "[Big]\r\n";
    for (int i = 0; i < state.range(0); ++i) ini += value_name(i) + "=" + value_text(i) + "\r\n";
    install(state, inf, ini, SPINST_INI2REG);
}

// The reference: the registry file holding the same values, formatted and written once.
void BM_WriteRegistryOnce(benchmark::State& state)
{
    platform::testing::TempSystemRoot root;
    reg::Hive hive;
    reg::Key& key = hive.create("Software\\Tvn\\Big");
    for (int i = 0; i < state.range(0); ++i) {
        std::vector<uint8_t> data;
        for (char c : value_text(i) + '\0') {
            data.push_back(uint8_t(c));
            data.push_back(0);
        }
        key.set_value(reg::Value{value_name(i), 1 /*REG_SZ*/, std::move(data)});
    }
    const std::string path = reg::hive_path(reg::Root::LocalMachine);
    for (auto _ : state)
        if (!platform::replace_file(path, reg::format_hive(hive))) state.SkipWithError("the write failed");
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

BENCHMARK(BM_WriteRegistryOnce)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddRegSection)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ini2RegSection)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    using namespace fwupg::bench;
    return run_with_ratios(argc, argv, [](const Results& t) {
        for (const char* kind : {"BM_AddRegSection", "BM_Ini2RegSection"}) {
            for (int n : {kSmall, kLarge}) {
                const std::string arg = "/" + std::to_string(n);
                std::printf("%s of %d values: install / one registry write = %.1f\n", kind + 3, n,
                            ratio(time_of(t, kind + arg), time_of(t, "BM_WriteRegistryOnce" + arg)));
            }
            // Time per value at the large size over that at the small: 1 when the cost is in proportion.
            const double small = time_of(t, kind + ("/" + std::to_string(kSmall))) / kSmall;
            const double large = time_of(t, kind + ("/" + std::to_string(kLarge))) / kLarge;
            std::printf("%s: time per value, %d over %d values = %.2f\n", kind + 3, kLarge, kSmall, ratio(large, small));
        }
    });
}
