#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// Runs the registered benchmarks and then prints, for each pair, the ratio of the measured
// benchmark's time to its baseline's, with the target it should stay under. Without a
// baseline, the measured time itself in seconds.
struct BenchRatio
{
    std::string measured;
    std::string baseline;
    double target;
};

int runBenchmarksWithRatios(int argc, char **argv, const std::vector<BenchRatio> &ratios);
