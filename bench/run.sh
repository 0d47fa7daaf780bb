#!/usr/bin/env bash
# Builds a release build and runs the benchmarks: whole vorkast runs against
# plain copying (bench_job), then the library's micro-benchmarks.
#   bench/run.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORKAST_TESTS=OFF -DVORKAST_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
build-bench/bench/bench_job build-bench/vorkast build-bench/bench-data "${1:-9}"
echo
if [ -x build-bench/bench/bench_micro ]; then
  build-bench/bench/bench_micro --benchmark_min_time=0.5
fi
