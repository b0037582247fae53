#!/usr/bin/env bash
# Builds the fuzz target with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs it for the given number of seconds (default 60) from the seed corpus in
# fuzz/corpus. New inputs it finds go to build-fuzz/corpus; a crash leaves its input in
# build-fuzz/ and makes the script fail. Skipped, with a word, where clang is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found; skipped" >&2
  exit 0
fi
CXX=clang++ CC=clang cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_FUZZ=ON -DQUORVEL_CORE_ONLY=ON -DQUORVEL_BUILD_TESTS=OFF \
  -DQUORVEL_BUILD_BENCHMARKS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target quorvel_inputs_fuzz >/dev/null
mkdir -p build-fuzz/corpus
cd build-fuzz
exec ./fuzz/quorvel_inputs_fuzz -max_total_time="$seconds" -print_final_stats=1 \
  corpus ../fuzz/corpus
