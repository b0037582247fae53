#!/usr/bin/env bash
# For every long training of the study under WORK: its goal share at the end (the last tenth
# of its evaluation runs); the runs and seconds it took to get half way there, to the first
# evaluation run at which the goal share of the 50 evaluation runs up to it (5,000 runs,
# evaluated every 100) is at least half the final share (a training that gets there within its
# first 50 evaluation runs shows 4,900 runs; the seconds are the training's time in proportion
# to its runs); and how the share grew: the goal share of the last tenth of the evaluation runs
# up to 50,000, 100,000, 200,000, 500,000 and 1,000,000 runs.
#   docs/learning/half-way.sh WORK >docs/learning/half-way.csv
set -euo pipefail
work=${1:?name the folder of the study}
value() { # key, summary file
  sed -n "s/^ *\"$1\": \\([^,]*\\),\\{0,1\\}$/\\1/p" "$2" | head -n 1
}
echo -n "sweep,training,final-goal-share,runs-to-half,seconds-to-half"
echo ",share-by-50000,share-by-100000,share-by-200000,share-by-500000,share-by-1000000"
for sweep in "$work"/long-* "$work"/guess-*; do
  [ -f "$sweep/sweep.csv" ] || continue
  for folder in "$sweep"/*/; do
    folder=${folder%/}
    summary=$folder/summary.json
    [ -f "$summary" ] || continue
    awk -F, -v final="$(value last-tenth-goal-share "$summary")" -v runs="$(value runs "$summary")" \
        -v f="$(value eval-freq "$summary")" -v elapsed="$(value elapsed-seconds "$summary")" \
        -v name="$(basename "$sweep"),$(basename "$folder")" '
      { goal[NR] = ($2 == 1) }
      END {
        window = 50
        for (i = 1; i <= NR; i++) {
          sum += goal[i]; if (i > window) sum -= goal[i - window]
          if (i >= window && sum / window >= final / 2) { run = (i - 1) * f; break }
        }
        printf "%s,%s,%d,%.1f", name, final, run, elapsed * run / runs
        split("50000 100000 200000 500000 1000000", by, " ")
        for (k = 1; k <= 5; k++) {
          last = int(by[k] / f); first = last - int(last / 10); goals = 0
          for (i = first + 1; i <= last; i++) goals += goal[i]
          printf ",%.3f", goals / (last - first)
        }
        printf "\n"
      }' "$folder/eval.dat"
  done
done
