// The console reporter of the engine's benchmarks: it keeps each benchmark's real time, and at the
// end the program prints its ratios against the reference measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fwupg::nvm::bench {

using Times = std::map<std::string, double>;  // real time by benchmark name

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::function<void(const Times&)> print) : print_(std::move(print)) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            times_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        print_(times_);
    }

private:
    std::function<void(const Times&)> print_;
    Times times_;
};

// Runs the registered benchmarks and then `print` with their times.
inline int run_with_ratios(int argc, char** argv, std::function<void(const Times&)> print)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(std::move(print));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

// The time of `name`, 0 when it did not run.
inline double time_of(const Times& t, const char* name)
{
    auto it = t.find(name);
    return it == t.end() ? 0 : it->second;
}

}  // namespace fwupg::nvm::bench
