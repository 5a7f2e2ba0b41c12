#!/usr/bin/env bash
# Runs the same physics benchmarks of two builds in turn, ROUNDS times, and
# prints the lowest CPU time of each (the least disturbed by other work on a
# shared machine), with the change from the first build to the second.
#
# usage: bench/physics/side_by_side.sh BASELINE_BENCH CANDIDATE_BENCH [ROUNDS]
# e.g.   git archive main | tar -x -C /tmp/base && cmake -S /tmp/base -B /tmp/base/build \
#          -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build /tmp/base/build --target physics_bench
#        bench/physics/side_by_side.sh /tmp/base/build/bench/physics/physics_bench \
#          build/bench/physics/physics_bench 5
set -euo pipefail
base=$1 candidate=$2 rounds=${3:-5}
filters=('BM_StepRooms<kGrid, kIndexed>/1$' 'BM_StepRooms<kRandom, kIndexed>/10000$'
         'StepBalls<kOneBox, kIndexed>/balls:100/' 'StepBalls<kOneBox, kIndexed>/balls:1000/')
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for ((i = 0; i < rounds; ++i)); do
  for f in "${filters[@]}"; do
    "$base" --benchmark_filter="$f" --benchmark_format=csv 2>/dev/null | grep '^"BM' | sed 's/^/base,/' >>"$out"
    "$candidate" --benchmark_filter="$f" --benchmark_format=csv 2>/dev/null | grep '^"BM' | sed 's/^/candidate,/' >>"$out"
  done
done
/usr/bin/python3 - "$out" <<'PY'
import csv, sys
best = {}
for row in csv.reader(open(sys.argv[1])):
    key = (row[1], row[0])
    best[key] = min(best.get(key, float("inf")), float(row[4]))  # cpu_time, ns
print("| Benchmark | baseline (us, min) | candidate (us, min) | change |")
print("|---|---|---|---|")
for name in sorted({k[0] for k in best}):
    b, c = best[(name, "base")], best[(name, "candidate")]
    print(f"| `{name}` | {b / 1000:.2f} | {c / 1000:.2f} | {100 * (c - b) / b:+.1f} % |")
PY
