#!/usr/bin/env bash
# Builds every libFuzzer target under fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, and runs each for SECONDS.
#
# usage: ./fuzz.sh SECONDS
#
# A target lives in fuzz/<name>/ (a CMakeLists.txt defining fuzz_<name>); its
# seed inputs in fuzz/corpus/<name>/. New inputs found during the run go to
# build-fuzz/corpus/<name>/, crashing inputs to build-fuzz/findings/<name>/.
# Exits non-zero when any target finds something.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: ./fuzz.sh SECONDS" >&2
  exit 2
fi
build=$root/build-fuzz

names=()
for dir in "$root"/fuzz/*/; do
  name=$(basename "$dir")
  [ "$name" = corpus ] && continue
  [ -f "$dir/CMakeLists.txt" ] && names+=("$name")
done
if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz: no targets under fuzz/" >&2
  exit 2
fi

# Everything is instrumented for coverage; the targets themselves link the
# fuzzer's main.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCHAMBER_FUZZ=ON -DCHAMBER_SANITIZE=ON \
      -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
      >/dev/null
targets=()
for name in "${names[@]}"; do targets+=("fuzz_$name"); done
cmake --build "$build" -j2 --target "${targets[@]}"

failed=0
for name in "${names[@]}"; do
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  log=$build/fuzz_$name.log
  mkdir -p "$corpus" "$findings"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds+=("$root/fuzz/corpus/$name")
  echo "fuzz: $name for ${seconds}s"
  status=0
  "$build/fuzz/$name/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz: $name: FINDING after ${runs:-?} executions (exit $status); see $log and $findings/"
    grep -E '^(==[0-9]+==ERROR|SUMMARY)|runtime error' "$log" | head -5 || true
  else
    echo "fuzz: $name: ${runs:-?} executions, no findings"
  fi
done
exit $failed
