#!/usr/bin/env bash
# Builds and runs the benchmarks. Extra arguments go to the benchmark programs, for example
#   scripts/bench.sh --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
run() {
  for b in build/bench/quorvel_bench_*; do
    echo "== $(basename "$b")"
    "$b" "$@"
  done
}
# The picture benchmark draws with OpenGL and needs a display.
if [ -z "${DISPLAY:-}" ]; then
  export -f run
  exec xvfb-run -a -s "-screen 0 1600x1200x24" bash -c 'run "$@"' run "$@"
fi
run "$@"
