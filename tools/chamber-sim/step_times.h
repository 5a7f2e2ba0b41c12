// The physics time of each step of a run, for --stats: a histogram of fixed
// size (a few thousand counters whatever the number of steps), exact below
// 256 ns and within 1/128 of the value above.
#pragma once

#include <cstdint>
#include <vector>

struct StepTimes {
  std::vector<std::uint64_t> counts;  // per bucket
  std::uint64_t total = 0;
};

void StepTimes_Add(StepTimes& times, std::uint64_t nanoseconds);

// The duration at the given fraction of the steps (0.5 the median, 0.99 the
// 99th percentile), by the nearest rank: the middle of the bucket that holds
// it. 0 when no step was timed.
double StepTimes_Quantile(const StepTimes& times, double fraction);
