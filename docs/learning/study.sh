#!/usr/bin/env bash
# The study behind docs/learning.md: how the goal share grows with the runs for the learning
# settings, on three fields. From the project's folder, after scripts/build.sh:
#
#   docs/learning/study.sh [WORK [STAGE...]]
#
# WORK (default study/) receives every training's folder; the stages (default: all, in order)
# are screen, annealing, long, reachable and summary, then the hindsight learner's
# hindsight-screen, hindsight-combine, hindsight-compare and hindsight-default (not among the
# default stages). Each stage is a few scripts/sweep.sh commands; the
# sweeps' sweep.csv and sweep.png, and the table of how fast each long training got half way,
# are copied into docs/learning/. On two cores the whole study takes about 75 minutes.
# With STUDY_COLLECT=1 the stages train nothing: each sweep gathers the trainings already in
# WORK into its sweep.csv and sweep.png again. STUDY_TRAINER=PATH trains with that
# quorvel-train (a copy, so that building meanwhile changes nothing); with STUDY_RESUME=1 the
# trainings already finished in WORK are not run again.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=${1:-study}
shift || true
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(screen annealing long reachable summary)

declare -A field=(
  [open]="--obstacles 0"
  [easy]="--obstacles 2 --sides 10 --radius 15"
  [default]="--obstacles 7 --sides 10 --radius 15"
)
fields=(open easy default)

# Every training is evaluated every 100 runs, without weight backups.
sweep() { # name, then options
  local name=$1
  shift
  scripts/sweep.sh ${STUDY_COLLECT:+--collect} ${STUDY_RESUME:+--resume} \
    ${STUDY_TRAINER:+--trainer "$STUDY_TRAINER"} \
    --out "$work/$name" --no-backups \
    --eval-freq 100 "$@"
  mkdir -p "docs/learning/$name"
  cp "$work/$name/sweep.csv" "$work/$name/sweep.png" "docs/learning/$name/"
}

# The settings each field learns best with, as the screen and the annealing stage found them.
declare -A best=(
  [open]="--q-learn --discount 0.99 --learning-rate 0.1 --annealing 200"
  [easy]="--q-learn --discount 0.999 --learning-rate 0.01 --annealing 2000"
  [default]="--q-learn --discount 0.999 --learning-rate 0.1 --annealing 200"
)
first_guess="--no-q-learn --learning-rate 0.1 --discount 0.9 --annealing 200"

# The runs each learner drives in about a minute of one core, on each field (measured on the
# study's machine: the hindsight learner's drives cost it its updates as well).
declare -A online_minute=([open]=250000 [easy]=490000 [default]=820000)
declare -A hindsight_minute=([open]=250000 [easy]=160000 [default]=270000)
# The hindsight learner's first guess (its defaults before the screen: the rest are the same),
# and the guess without one of its options.
hindsight_guess=(--relabels 4 --return-steps 8 --discount 0.98)
guess_except() { # option name
  local i
  for ((i = 0; i < ${#hindsight_guess[@]}; i += 2)); do
    [ "${hindsight_guess[i]}" = "--$1" ] || echo "${hindsight_guess[i]} ${hindsight_guess[i + 1]}"
  done
}
# The hindsight learner's screen: one setting at a time, each with the values tried.
hindsight_axes=(
  "relabels 0,2,8"
  "return-steps 1,4,16"
  "learning-rate 0.02,0.1"
  "discount 0.95,0.99"
  "updates-per-step 1,4"
  "sync-interval 1000,16000"
  "exploration annealed"
  "random-span 0.1"
)

for stage in "${stages[@]}"; do
  case "$stage" in
    screen)
      # Q-learn, discount and learning rate, 18 trainings a field of 200,000 runs.
      for f in "${fields[@]}"; do
        # shellcheck disable=SC2086
        sweep "screen-$f" ${field[$f]} --runs 200000 --q-learn on,off \
          --discount 0.9,0.99,0.999 --learning-rate 0.01,0.1,0.3
      done ;;
    annealing)
      # The annealing number with each field's best three, 1,000,000 runs.
      for f in "${fields[@]}"; do
        # shellcheck disable=SC2086
        sweep "annealing-$f" ${field[$f]} ${best[$f]%--annealing*} --runs 1000000 \
          --annealing 200,2000,20000,200000,1000000
      done ;;
    long)
      # The best settings and the first guess, three seeds each, 2,000,000 runs.
      for f in "${fields[@]}"; do
        # shellcheck disable=SC2086
        sweep "long-$f" ${field[$f]} ${best[$f]} --seeds 1-3 --runs 2000000
        # shellcheck disable=SC2086
        sweep "guess-$f" ${field[$f]} $first_guess --seeds 1-3 --runs 2000000
      done ;;
    reachable)
      # How much can be learnt: from how many of the evaluation placements of a training with
      # the best settings (100,000 runs, 1000 placements) any drive reaches the goal.
      for f in "${fields[@]}"; do
        # shellcheck disable=SC2086
        sweep "reachable-$f" ${field[$f]} ${best[$f]} --seeds 1-3 --runs 100000 --reachable
      done ;;
    summary)
      docs/learning/half-way.sh "$work" >docs/learning/half-way.csv ;;
    hindsight-screen)
      # The hindsight learner's settings one at a time from its first guess, seed 1, on the fields where there is something left to learn, with
      # about 60 s of one core's runs each.
      for f in easy default; do
        # shellcheck disable=SC2086
        sweep "hindsight-screen-$f" ${field[$f]} --learner hindsight --seeds 1-1 \
          --runs "${hindsight_minute[$f]}" "${hindsight_guess[@]}"
        for axis in "${hindsight_axes[@]}"; do
          # shellcheck disable=SC2086
          sweep "hindsight-screen-$f-${axis%% *}" ${field[$f]} --learner hindsight --seeds 1-1 \
            --runs "${hindsight_minute[$f]}" $(guess_except "${axis%% *}") \
            --${axis%% *} "${axis#* }"
        done
      done ;;
    hindsight-combine)
      # The screen's best values together, with the learning rate and the updates a step
      # that the two fields' screens disagreed on.
      for f in easy default; do
        # shellcheck disable=SC2086
        sweep "hindsight-combine-$f" ${field[$f]} --learner hindsight --seeds 1-1 \
          --runs "${hindsight_minute[$f]}" --relabels 2 --return-steps 4 --discount 0.99 \
          --learning-rate 0.05,0.02 --updates-per-step 2,4
      done ;;
    hindsight-compare)
      # Both learners at equal time: about 60 s of one core on every field, and about 300 s on
      # the default field; seeds 1-3, the hindsight learner with its defaults (what the screen
      # and the combination chose), the on-line learner with each field's best settings.
      for f in "${fields[@]}"; do
        # shellcheck disable=SC2086
        sweep "hindsight-60-$f" ${field[$f]} --learner hindsight \
          --seeds 1-3 --runs "${hindsight_minute[$f]}" --reachable --reachable-sample 500
        # shellcheck disable=SC2086
        sweep "online-60-$f" ${field[$f]} ${best[$f]} --seeds 1-3 \
          --runs "${online_minute[$f]}"
      done
      # shellcheck disable=SC2086
      sweep "hindsight-300-default" ${field[default]} --learner hindsight \
        --seeds 1-3 --runs $((5 * ${hindsight_minute[default]}))
      # shellcheck disable=SC2086
      sweep "online-300-default" ${field[default]} ${best[default]} --seeds 1-3 \
        --runs $((5 * ${online_minute[default]})) ;;
    hindsight-default)
      # The trainer's default training with each learner, seeds 1-3: the hindsight learner's
      # 170,000 runs against the on-line learner's 500,000 (about the same time).
      # shellcheck disable=SC2086
      sweep "hindsight-default" ${field[default]} --learner hindsight --seeds 1-3 --runs 170000
      # shellcheck disable=SC2086
      sweep "online-default" ${field[default]} --learner online --seeds 1-3 --runs 500000 ;;
    *)
      echo "study: no stage $stage (screen, annealing, long, reachable, summary," \
        "hindsight-screen, hindsight-combine, hindsight-compare, hindsight-default)" >&2
      exit 2 ;;
  esac
done
