#!/usr/bin/env bash
# Builds and runs the benchmarks. Extra arguments go to the benchmark programs, for example
#   scripts/bench.sh --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
set -euo pipefail
cd "$(dirname "$0")/.."
# The picture benchmark draws with OpenGL and needs a display: start a virtual one.
if [ -z "${DISPLAY:-}" ]; then
  scripts/install-deps.sh
  exec xvfb-run -a -s "-screen 0 1600x1200x24" "$0" "$@"
fi
scripts/install-deps.sh
scripts/build.sh >/dev/null
for b in build/bench/quorvel_bench_*; do
  echo "== $(basename "$b")"
  "$b" "$@"
done
