// The console reporter every benchmark program runs with: it keeps each benchmark's real time and
// throughput, and after the table the program prints its ratios against the reference measured
// in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fwupg::bench {

struct Result {
    double real_time = 0;  // per iteration, in the benchmark's time unit
    double rate = 0;       // bytes per second, else items per second; 0 when it sets neither
};
using Results = std::map<std::string, Result>;  // by benchmark name

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::function<void(const Results&)> print) : print_(std::move(print)) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0)
                continue;
            Result& result = results_[r.benchmark_name()];
            result.real_time = r.GetAdjustedRealTime();
            for (const char* rate : {"items_per_second", "bytes_per_second"})
                if (auto it = r.counters.find(rate); it != r.counters.end())
                    result.rate = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        print_(results_);
    }

private:
    std::function<void(const Results&)> print_;
    Results results_;
};

// Runs the registered benchmarks and then `print` with their results.
inline int run_with_ratios(int argc, char** argv, std::function<void(const Results&)> print)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(std::move(print));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

// The real time of `name`, 0 when it did not run.
inline double time_of(const Results& r, const std::string& name)
{
    auto it = r.find(name);
    return it == r.end() ? 0 : it->second.real_time;
}

// The throughput of `name`, 0 when it did not run.
inline double rate_of(const Results& r, const std::string& name)
{
    auto it = r.find(name);
    return it == r.end() ? 0 : it->second.rate;
}

// own / reference, 0 when the reference did not run.
inline double ratio(double own, double reference) { return reference > 0 ? own / reference : 0; }

}  // namespace fwupg::bench
