#!/usr/bin/env bash
# Compares the speed of two revisions in one process (bench/ab): each revision's core is built
# as a workload library, and quorvel_ab times bursts of the two in turns and prints the median
# of their time ratios (below 1: B is faster). Far steadier than bench.sh's separate runs for
# the few per cent a single change makes; the bytes are checked by the golden trainings, not
# here. Both builds share the processor's caches and address translations, so a change in how
# much memory a workload touches (the hindsight learner's replay memory) weighs more here than
# alone: the hindsight learner's first version, 6ce326b, measured 1.83x slower than 19179c7
# here, 1.5x to 1.7x in separate processes. Take a change of about 2 % or less as real only when
# a second run agrees: one change, built alike, measured 0.982 (quartiles 0.971 to 0.995) and
# then 1.004 in runs of 60 bursts, while a revision against itself stayed within 0.3 %.
#
#   scripts/ab.sh OLD [NEW] [--hindsight] [--bursts N] [--units N]
#
# OLD and NEW are git revisions; without NEW, the working tree. Without --hindsight the
# workload is the trainer's default on-line training (a unit is a run); with it, the
# hindsight learner's updates (a unit is an update).
set -euo pipefail
cd "$(dirname "$0")/.."

revisions=() hindsight=no bursts=200 units=
while [ $# -gt 0 ]; do
  case "$1" in
    --hindsight) hindsight=yes; shift ;;
    --bursts) bursts=$2; shift 2 ;;
    --units) units=$2; shift 2 ;;
    -*) echo "ab: unknown option $1" >&2; exit 2 ;;
    *) revisions+=("$1"); shift ;;
  esac
done
if [ ${#revisions[@]} -lt 1 ] || [ ${#revisions[@]} -gt 2 ]; then
  echo "usage: scripts/ab.sh OLD [NEW] [--hindsight] [--bursts N] [--units N]" >&2
  exit 2
fi
units=${units:-$([ $hindsight = yes ] && echo 2000 || echo 100)}

root=build-ab
mkdir -p "$root"
# A workload library of a revision ("" for the working tree), as $root/NAME.so: the core built
# position-independent in $root/NAME (a revision's sources extracted afresh beside its build,
# the working tree's built where it stands), then linked whole with the workloads, its symbols
# bound to itself.
library() { # revision name
  local source=$PWD build="$root/$2/tree"
  if [ -n "$1" ]; then
    source="$root/$2/src" build="$root/$2/build"
    rm -rf "$root/$2"
    scripts/extract-revision.sh "$1" "$source" || { echo "ab: no revision $1 here" >&2; exit 1; }
  fi
  cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_CORE_ONLY=ON \
    -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCHMARKS=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quorvel_rules >/dev/null
  local define=()
  [ $hindsight = yes ] && define=(-DQUORVEL_AB_HINDSIGHT)
  local libs=()
  for lib in rules training world sim learn common; do libs+=("$build/src/libquorvel_$lib.a"); done
  g++ -O2 -std=c++20 -fPIC -shared -fvisibility=hidden -Wl,-Bsymbolic "${define[@]}" \
    -I"$source/src" bench/ab/ab_workloads.cpp -o "$root/$2.so" \
    -Wl,--whole-archive "${libs[@]}" -Wl,--no-whole-archive
}

scripts/install-deps.sh >/dev/null
library "${revisions[0]}" a
library "${revisions[1]:-}" b
g++ -O2 -std=c++20 bench/ab/ab_driver.cpp -o "$root/quorvel_ab" -ldl

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
echo "== A: ${revisions[0]}, B: ${revisions[1]:-the working tree}; $([ $hindsight = yes ] && echo "hindsight updates" || echo "default on-line training runs"), $bursts bursts of $units each"
QUORVEL_AB_DIR=$logs "$root/quorvel_ab" "$PWD/$root/a.so" "$PWD/$root/b.so" "$bursts" "$units"
