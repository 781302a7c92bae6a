#include "benchratio.h"

#include <cstdio>
#include <map>

namespace {

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> times; // seconds per iteration

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.iterations > 0)
                times[run.benchmark_name()] = run.GetAdjustedRealTime()
                                              / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int runBenchmarksWithRatios(int argc, char **argv, const std::vector<BenchRatio> &ratios)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bool allMet = true;
    std::printf("\n%-40s %-32s %8s %8s\n", "measured", "baseline", "ratio", "target");
    for (const BenchRatio &ratio : ratios) {
        const auto m = reporter.times.find(ratio.measured);
        const bool seconds = ratio.baseline.empty();
        const auto b = reporter.times.find(ratio.baseline);
        if (m == reporter.times.end() || (!seconds && (b == reporter.times.end() || b->second <= 0)))
            continue;
        const double value = seconds ? m->second : m->second / b->second;
        const bool met = value < ratio.target;
        allMet = allMet && met;
        std::printf("%-40s %-32s %8.2f %8.2f %s\n",
                    ratio.measured.c_str(),
                    seconds ? "(seconds)" : ratio.baseline.c_str(),
                    value,
                    ratio.target,
                    met ? "ok" : "OVER");
    }
    benchmark::Shutdown();
    return allMet ? 0 : 1;
}
