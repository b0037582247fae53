#!/usr/bin/env bash
# Builds the release program and its literal variant (every written form one value at a time,
# no skipping, the scalar exp), runs the standard training workload in both, with and without
# q-learn, and prints the medians of the steps per second and their ratio; then the trainer's
# default on-line training (500,000 runs of the default field) against the literal build's
# 8000 runs of the workload, timed in the same rounds, and the same per step (the goal of 15 s
# where the literal build takes 2.9 s, as a multiple of its steps a second); then the hindsight
# learner's updates a second against its first version's, built from its commit; then the parts of
# a step (rating, training steps, choice, sensing, moving) in both builds, so that the ratios
# show where the speed-up is large and where small; where the processor has AVX-512, the
# network's kernels in four lanes against eight; then the exp micro-benchmark (scalar against
# four lanes) and every other benchmark. It first names the processor: the ratios differ
# between them.
#
#   scripts/bench.sh                 5 repetitions of everything
#   scripts/bench.sh --repetitions 3 --training-only
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=5
training_only=no
while [ $# -gt 0 ]; do
  case "$1" in
    --repetitions) repetitions=$2; shift 2 ;;
    --training-only) training_only=yes; shift ;;
    *) echo "bench: unknown option $1" >&2; exit 2 ;;
  esac
done

# The picture benchmark draws with OpenGL and needs a display: start a virtual one.
if [ "$training_only" = no ] && [ -z "${DISPLAY:-}" ]; then
  scripts/install-deps.sh
  exec scripts/with-display.sh 1600x1200 "$0" --repetitions "$repetitions"
fi
scripts/install-deps.sh
scripts/build.sh >/dev/null
cmake -S . -B build-literal -DCMAKE_BUILD_TYPE=Release -DQUORVEL_LITERAL=ON \
  -DQUORVEL_CORE_ONLY=ON -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-literal -j"$(nproc)" \
  --target quorvel_bench_training quorvel_bench_learn quorvel_bench_sim >/dev/null
trainer=build/src/quorvel-train

# Ratios differ from one processor to another: say which one these are from.
cpu() { awk -F': ' -v key="$1" '$1 ~ "^" key "[ \t]*$" { print $2; exit }' /proc/cpuinfo; }
echo "== machine: $(cpu 'model name') (family $(cpu 'cpu family'), model $(cpu model)), $(nproc) cores, AVX-512: $(grep -qw avx512f /proc/cpuinfo && echo yes || echo no)"

# The median of a counter of a benchmark, from Google Benchmark's CSV output (names such as
# "BM_Training/0/iterations:1/real_time_median" are matched by their start).
median() { # file benchmark counter
  awk -F, -v name="\"$2" -v counter="\"$3\"" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == counter) column = i; next }
    index($1, name) == 1 && $1 ~ /_median"$/ { print $column }' "$1"
}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# The two builds take turns, one run each, so that the host's changing load falls on both;
# the trainer's default training (20 to 30 s) takes its turn in the same rounds.
echo "== standard training workload, $repetitions runs of each build, taking turns (medians)"
for ((i = 0; i < repetitions; i++)); do
  for build in build-literal build; do
    "$build/bench/quorvel_bench_training" --benchmark_filter=BM_Training \
      --benchmark_format=csv 2>/dev/null | tail -n +2 >>"$out/$(basename "$build").csv"
  done
  start=$(date +%s.%N)
  # As a person runs it: without a backup folder, so without backups (it says so).
  "$trainer" --learner online --quiet --log "$out/default.dat" --save-weights "$out/default.nnet" \
    --backup-dir "$out/none" --summary-json "$out/default.json" >/dev/null 2>&1
  echo "$start $(date +%s.%N)" | awk '{ printf "%.3f\n", $2 - $1 }' >>"$out/default.txt"
done
middle() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# The ratios of two builds' rates round by round (line i of each file is round i's run): their
# median, lowest and highest. A run's rate moves by a tenth or more on a shared host, and the
# range shows how far.
round_ratios() { # first-file second-file
  local ratios
  ratios=$(paste "$1" "$2" | awk '$1 > 0 { print $2 / $1 }' | sort -g)
  echo "$(middle <<<"$ratios") $(head -1 <<<"$ratios") $(tail -1 <<<"$ratios")"
}
# A mode's steps a second run by run, from rows "BM_Training/MODE/RUNS/...,...,steps_per_s".
run_steps() { # file mode
  awk -F, -v name="\"BM_Training/$2/20000/" 'index($1, name) == 1 { print $NF }' "$1"
}
# Each round's ratio as well as the ratio of the medians.
printf '%-16s %18s %18s %8s   %s\n' "mode" "literal steps/s" "release steps/s" "ratio" "round by round"
for mode in 0 1; do
  run_steps "$out/build-literal.csv" $mode >"$out/literal-$mode.txt"
  run_steps "$out/build.csv" $mode >"$out/release-$mode.txt"
  read -r t lo hi <<<"$(round_ratios "$out/literal-$mode.txt" "$out/release-$mode.txt")"
  label=$([ $mode = 0 ] && echo "without q-learn" || echo "with q-learn")
  awk -v l="$(middle <"$out/literal-$mode.txt")" -v f="$(middle <"$out/release-$mode.txt")" -v m="$label" \
    -v t="$t" -v lo="$lo" -v hi="$hi" 'BEGIN { printf "%-16s %18.0f %18.0f %7.2fx   %.2fx, from %.2fx to %.2fx\n", m, l, f, f / l, t, lo, hi }'
done

# The goal: the default training in 15 s where the literal build takes 2.9 s for its 8000 runs.
goal_s=15 goal_literal_s=2.9
# Google Benchmark's CSV: name, iterations, real_time (ms here), ..., and the counters
# episodes_per_s, steps_per_run, steps_per_s.
literal_rows() { awk -F, 'index($1, "\"BM_Training/1/8000/") == 1' "$out/build-literal.csv"; }
literal_8000=$(literal_rows | awk -F, '{ print $3 / 1000 }' | middle)
# Its steps and the default training's are the same in every round.
literal_steps=$(literal_rows | awk -F, '{ print $12 * 8000; exit }')
default_steps=$(awk -F'[:,]' '$1 ~ /"steps"/ { print $2 + 0; exit }' "$out/default.json" 2>/dev/null || true)
default_s=$(middle <"$out/default.txt")
echo "== the trainer's default on-line training (500,000 runs, q-learn, discount 0.999), medians"
awk -v d="$default_s" -v l="$literal_8000" -v ds="$default_steps" -v ls="$literal_steps" \
  -v goal="$goal_s" -v goalLiteral="$goal_literal_s" 'BEGIN {
  printf "default training %.1f s (ten million runs: about %.1f min); literal build, 8000 runs of the workload with q-learn: %.2f s\n", d, d * 20 / 60, l
  printf "ratio %.2f (the goal, %g s where the literal build takes %g s: below %.2f)\n", d / l, goal, goalLiteral, goal / goalLiteral
  # The same per step: steps a second against the literal build on its 8000 runs.
  if (ds <= 0 || ls <= 0 || d <= 0 || l <= 0) { print "per step: no step counts (did a run fail?)"; exit }
  printf "per step: default training %.0f steps/s, literal build on its 8000 runs %.0f steps/s: %.2fx (the goal asks for %.2fx)\n", ds / d, ls / l, (ds / d) / (ls / l), (ds / ls) * goalLiteral / goal }'

# The hindsight learner's updates a second against its first version's (the goal: twice as
# many), that commit's sources built beside the others and the two taking turns. A clone
# without that commit says so and goes on.
hindsight_first=6ce326b hindsight_goal=2
echo "== hindsight updates a second (BM_HindsightUpdates), its first version $hindsight_first against this one, $((4 * repetitions)) runs each, taking turns (medians)"
first="build-hindsight-first"
build_first() { # fails in a clone without that commit
  [ -f "$first/src/CMakeLists.txt" ] || scripts/extract-revision.sh "$hindsight_first" "$first/src" ||
    return 1
  cmake -S "$first/src" -B "$first/build" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_CORE_ONLY=ON \
    -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCHMARKS=ON &&
    cmake --build "$first/build" -j"$(nproc)" --target quorvel_bench_training
}
if build_first >/dev/null 2>&1; then
  # Short runs and four times as many turns: on a shared host a run's rate moves by a fifth.
  for ((i = 0; i < 4 * repetitions; i++)); do
    for which in first this; do
      build=$([ $which = first ] && echo "$first/build" || echo build)
      "$build/bench/quorvel_bench_training" --benchmark_filter=BM_HindsightUpdates \
        --benchmark_min_time=0.3 --benchmark_format=csv 2>/dev/null |
        awk -F, 'index($1, "\"BM_HindsightUpdates") == 1 { print $NF }' >>"$out/hindsight-$which.txt"
    done
  done
  read -r t lo hi <<<"$(round_ratios "$out/hindsight-first.txt" "$out/hindsight-this.txt")"
  awk -v f="$(middle <"$out/hindsight-first.txt")" -v n="$(middle <"$out/hindsight-this.txt")" \
    -v t="$t" -v lo="$lo" -v hi="$hi" -v goal="$hindsight_goal" 'BEGIN {
    if (f <= 0 || n <= 0) { print "hindsight: no rates (did a run fail?)"; exit }
    printf "first version %.0f updates/s, this one %.0f updates/s: %.2fx (the goal: %gx); turn by turn %.2fx, from %.2fx to %.2fx\n", f, n, n / f, goal, t, lo, hi }'
else
  echo "hindsight: the first version ($hindsight_first) could not be built from this clone; not measured"
fi

# Where the ratio comes from: each part of a step alone, the two builds taking turns.
echo "== the parts of a step, ns each, $repetitions runs of each build, taking turns (medians)"
parts='BM_RateActions|BM_TrainStep|BM_TrainTowardsNext|BM_ChooseAction|BM_Sense$|BM_MoveRobot'
for ((i = 0; i < repetitions; i++)); do
  for build in build-literal build; do
    for b in learn sim; do
      "$build/bench/quorvel_bench_$b" --benchmark_filter="$parts" --benchmark_min_time=0.2 \
        --benchmark_format=csv 2>/dev/null | tail -n +2 >>"$out/parts-$(basename "$build").csv"
    done
  done
done
part_median() { # file benchmark
  awk -F, -v name="\"$2\"" '$1 == name { print $3 }' "$1" | middle
}
printf '%-20s %12s %12s %8s\n' "part" "literal ns" "release ns" "ratio"
for part in BM_RateActions BM_TrainStep BM_TrainTowardsNext BM_ChooseAction BM_Sense BM_MoveRobot; do
  literal=$(part_median "$out/parts-build-literal.csv" $part)
  fast=$(part_median "$out/parts-build.csv" $part)
  awk -v l="$literal" -v f="$fast" -v p="${part#BM_}" \
    'BEGIN { printf "%-20s %12.0f %12.0f %7.2fx\n", p, l, f, (f > 0 ? l / f : 0) }'
done

# Where the processor has AVX-512 the network's kernels take eight lanes: how they compare with
# the four-lane ones on this processor (QUORVEL_NO_AVX512=1), taking turns.
if grep -qw avx512f /proc/cpuinfo; then
  echo "== the network's kernels in four lanes and in eight, ns each, $repetitions runs of each (medians)"
  kernels='BM_RateActions$|BM_TrainStep$|BM_TrainTowardsNext$|BM_TrainWhileRating$'
  for ((i = 0; i < repetitions; i++)); do
    for lanes in 4 8; do
      QUORVEL_NO_AVX512=$([ $lanes = 4 ] && echo 1 || echo 0) build/bench/quorvel_bench_learn \
        --benchmark_filter="$kernels" --benchmark_min_time=0.2 --benchmark_format=csv \
        2>/dev/null | tail -n +2 >>"$out/lanes-$lanes.csv"
    done
  done
  printf '%-20s %12s %12s %8s\n' "kernel" "four lanes" "eight lanes" "ratio"
  for part in BM_RateActions BM_TrainStep BM_TrainTowardsNext BM_TrainWhileRating; do
    four=$(part_median "$out/lanes-4.csv" $part)
    eight=$(part_median "$out/lanes-8.csv" $part)
    awk -v l="$four" -v f="$eight" -v p="${part#BM_}" \
      'BEGIN { printf "%-20s %12.0f %12.0f %7.2fx\n", p, l, f, (f > 0 ? l / f : 0) }'
  done
fi

echo "== exp, ns per value (medians)"
# (Medians need two repetitions at least.)
build/bench/quorvel_bench_learn --benchmark_filter='BM_Exp' \
  --benchmark_repetitions="$((repetitions > 1 ? repetitions : 2))" \
  --benchmark_report_aggregates_only=true --benchmark_format=csv >"$out/exp.csv" 2>/dev/null
scalar=$(median "$out/exp.csv" BM_ExpScalar_ ns_per_value)
vector=$(median "$out/exp.csv" BM_ExpVector_ ns_per_value)
# The counter is in seconds per value.
awk -v s="$scalar" -v v="$vector" 'BEGIN {
  printf "scalar %.2f  four lanes %.2f  ratio %.2fx\n", s * 1e9, v * 1e9, (v > 0 ? s / v : 0) }'

[ "$training_only" = yes ] && exit 0
for b in build/bench/quorvel_bench_*; do
  echo "== $(basename "$b")"
  "$b" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true
done
