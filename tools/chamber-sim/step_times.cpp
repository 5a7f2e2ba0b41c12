#include "tools/chamber-sim/step_times.h"

#include <cmath>

namespace {

// Below 2^kExact every nanosecond has its bucket; above, each power of two
// has kSub buckets.
constexpr int kExact = 8;
constexpr int kSubBits = 7;
constexpr std::uint64_t kSub = 1u << kSubBits;

int floorLog2(std::uint64_t v) {
  int e = 0;
  while (v >>= 1) ++e;
  return e;
}

std::size_t bucketOf(std::uint64_t ns) {
  if (ns < (1u << kExact)) return static_cast<std::size_t>(ns);
  const int e = floorLog2(ns);
  const std::uint64_t sub = (ns >> (e - kSubBits)) & (kSub - 1);
  return (1u << kExact) + static_cast<std::size_t>(e - kExact) * kSub + static_cast<std::size_t>(sub);
}

// The middle of a bucket, in nanoseconds.
double middleOf(std::size_t bucket) {
  if (bucket < (1u << kExact)) return static_cast<double>(bucket);
  const std::size_t above = bucket - (1u << kExact);
  const int e = static_cast<int>(above / kSub) + kExact;
  const double sub = static_cast<double>(above % kSub);
  const double width = std::ldexp(1.0, e - kSubBits);
  return std::ldexp(1.0, e) + sub * width + (width - 1) / 2;
}

}  // namespace

void StepTimes_Add(StepTimes& times, std::uint64_t nanoseconds) {
  const std::size_t b = bucketOf(nanoseconds);
  if (times.counts.size() <= b) times.counts.resize(b + 1, 0);
  ++times.counts[b];
  ++times.total;
}

double StepTimes_Quantile(const StepTimes& times, double fraction) {
  if (times.total == 0) return 0;
  auto rank = static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(times.total)));
  if (rank < 1) rank = 1;
  std::uint64_t seen = 0;
  for (std::size_t b = 0; b < times.counts.size(); ++b) {
    seen += times.counts[b];
    if (seen >= rank) return middleOf(b);
  }
  return middleOf(times.counts.size() - 1);
}
