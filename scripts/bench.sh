#!/usr/bin/env bash
# Builds and runs the benchmarks. Extra arguments go to the benchmark programs, for example
#   scripts/bench.sh --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
for b in build/bench/quorvel_bench_*; do
  echo "== $(basename "$b")"
  "$b" "$@"
done
