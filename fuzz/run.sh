#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 60),
# starting from the kept corpus.  New inputs go to
# build-fuzz/corpus-*; crashes to build-fuzz/crash-*.
#   fuzz/run.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVORKAST_FUZZ=ON -DVORKAST_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
for target in read job import files export flux; do
  mkdir -p "build-fuzz/corpus-$target"
  echo "== fuzz_$target, $seconds s"
  build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=131072 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/crash-$target-" "build-fuzz/corpus-$target" "fuzz/corpus/$target" 2>&1 | grep -E '^(Done|stat::|==|SUMMARY)|ERROR'
done
