#!/usr/bin/env bash
# Runs a grid of trainings with GNU parallel, each in a folder of its own under --out, then
# gathers their summaries into OUT/sweep.csv and draws their goal shares into OUT/sweep.png.
#
#   scripts/sweep.sh --out DIR [--seeds A-B] [--jobs N] [--sshloginfile FILE] [--trainer CMD]
#                    [quorvel-train options; a value may be a comma-separated list]
#
# Every combination of the listed values (and seeds) is one training: for example
#   scripts/sweep.sh --out sweep1 --seeds 1-8 --learning-rate 0.05,0.1,0.2 --runs 100000
# runs 24. Other modes, for schedulers that run one training a task (docs/cluster.md):
#   --count       print the number of trainings and stop
#   --dry-run     print each training's command, one a line, and stop (with --job K: its own)
#   --job K       run training K (counted from 0) alone, without GNU parallel
#   --collect     only gather the summaries already in DIR into sweep.csv and sweep.png
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

die() { echo "sweep: $*" >&2; exit 2; }

out= seeds= jobs= sshloginfile= trainer= mode=run job= dry=no
names=() values=() flags=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=${2:-}; shift 2 ;;
    --seeds) seeds=${2:-}; shift 2 ;;
    --jobs) jobs=${2:-}; shift 2 ;;
    --sshloginfile) sshloginfile=${2:-}; shift 2 ;;
    --trainer) trainer=${2:-}; shift 2 ;;
    --count) mode=count; shift ;;
    --dry-run) dry=yes; shift ;;
    --collect) mode=collect; shift ;;
    --job) mode=job; job=${2:-}; shift 2 ;;
    --q-learn) flags+=(--q-learn); shift ;;
    --log|--save-weights|--save-exact-weights|--summary-json|--backup-dir|--seed|--quiet)
      die "$1 is the sweep's to set (each training writes into its own folder; use --seeds)" ;;
    --*)
      [ $# -ge 2 ] || die "$1 needs a value"
      names+=("$1"); values+=("$2"); shift 2 ;;
    *) die "unexpected argument $1" ;;
  esac
done
[ -n "$out" ] || die "--out DIR is needed"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The grid: one axis for the seeds and one for each option, each a list of values.
axes=() # "name|v1,v2,..."
if [ -n "$seeds" ]; then
  [[ "$seeds" =~ ^([0-9]+)-([0-9]+)$ ]] || die "--seeds wants A-B, such as 1-8"
  first=${BASH_REMATCH[1]} last=${BASH_REMATCH[2]}
  [ "$first" -le "$last" ] || die "--seeds $seeds runs backwards"
  axes+=("--seed|$(seq -s, "$first" "$last")")
fi
for i in "${!names[@]}"; do
  axes+=("${names[$i]}|${values[$i]}")
done

# Every combination, the first axis varying slowest: a line "name<TAB>options" a training.
combinations() {
  local lines=($'\t') axis name list value line next
  for axis in "${axes[@]}"; do
    name=${axis%%|*} list=${axis#*|} next=()
    IFS=, read -r -a vals <<<"$list"
    for line in "${lines[@]}"; do
      for value in "${vals[@]}"; do
        [ -n "$value" ] || die "an empty value in $name $list"
        # Only what varies goes into the folder's name.
        local label=
        [ ${#vals[@]} -gt 1 ] && label=${name#--}-$value
        local prefix=${line%%$'\t'*} options=${line#*$'\t'}
        local joined=${prefix}${prefix:+${label:+_}}${label//[^A-Za-z0-9._-]/_}
        next+=("$joined"$'\t'"${options:+$options }$name $(printf '%q' "$value")")
      done
    done
    lines=("${next[@]}")
  done
  for line in "${lines[@]}"; do
    local prefix=${line%%$'\t'*} options=${line#*$'\t'}
    printf '%s\t%s\n' "${prefix:-run}" "$options${flags[*]:+ ${flags[*]}}"
  done
}

if [ -z "$trainer" ]; then
  if [ -z "$sshloginfile" ] && [ -x "$repo/build/src/quorvel-train" ]; then
    trainer=$repo/build/src/quorvel-train
  else
    trainer=quorvel-train # the other machines' installed program
  fi
fi
q_out=$(printf '%q' "$out")
q_trainer=$(printf '%q' "$trainer")
# The command of one training, with its name and options as {1} and {2}.
template="mkdir -p $q_out/{1}/backup && $q_trainer --quiet {2} --log $q_out/{1}/eval.dat"
template+=" --save-weights $q_out/{1}/weights.nnet --summary-json $q_out/{1}/summary.json"
template+=" --backup-dir $q_out/{1}/backup >$q_out/{1}/stdout.txt 2>$q_out/{1}/stderr.txt"
command_of() { # name options
  local c=${template//\{1\}/$1}
  printf '%s\n' "${c//\{2\}/$2}"
}

# The summaries as CSV: a header, then a row a training, in the grid's order.
collect() {
  local csv=$out/sweep.csv tmp header= name options
  tmp=$(mktemp "$out/.sweep.csv.XXXXXX")
  while IFS=$'\t' read -r name options; do
    local summary=$out/$name/summary.json
    if [ ! -f "$summary" ]; then
      echo "sweep: $name has no summary (see $out/$name/stderr.txt)" >&2
      continue
    fi
    local row
    row=$(awk -v job="$name" -v wantHeader="$([ -z "$header" ] && echo yes || echo no)" '
      function field(v) {                      # a JSON value as a CSV field
        if (v == "null") return ""
        if (v ~ /^".*"$/) {
          v = substr(v, 2, length(v) - 2); gsub(/\\"/, "\"", v); gsub(/\\\\/, "\\", v)
        }
        if (v ~ /[",\n]/) { gsub(/"/, "\"\"", v); v = "\"" v "\"" }
        return v
      }
      /^  "[^"]+": \{$/ { split($0, p, "\""); prefix = p[2] "."; next }
      /^  \},?$/ { prefix = ""; next }
      /^ +"[^"]+": / {
        split($0, p, "\""); key = prefix p[2]
        value = $0; sub(/^ *"[^"]+": /, "", value); sub(/,$/, "", value)
        keys = keys "," key; vals = vals "," field(value)
      }
      END { if (wantHeader == "yes") print "job" keys; print field("\"" job "\"") vals }
    ' "$summary")
    if [ -z "$header" ]; then
      header=yes
      printf '%s\n' "$row" >"$tmp"
    else
      printf '%s\n' "$row" >>"$tmp"
    fi
  done < <(combinations)
  mv "$tmp" "$csv"
  echo "sweep: $(($(wc -l <"$csv") - 1)) trainings in $csv"

  # The goal shares side by side, when the program that draws them is there.
  local quorvel=$repo/build/src/quorvel
  [ -x "$quorvel" ] || quorvel=$(command -v quorvel || true)
  local logs=()
  while IFS=$'\t' read -r name options; do
    [ -f "$out/$name/eval.dat" ] && logs+=("$out/$name/eval.dat")
  done < <(combinations)
  if [ -n "$quorvel" ] && [ ${#logs[@]} -gt 0 ]; then
    if "$quorvel" --plot "${logs[@]}" --output "$out/sweep.png" 2>"$out/.plot.err"; then
      echo "sweep: goal shares in $out/sweep.png"
    else
      echo "sweep: no plot: $(cat "$out/.plot.err")" >&2
    fi
    rm -f "$out/.plot.err"
  fi
}

if [ "$dry" = yes ] && [ "$mode" = run ]; then
  mode=dry-run
fi
case "$mode" in
  count)
    combinations | wc -l
    exit 0 ;;
  dry-run)
    while IFS=$'\t' read -r name options; do
      command_of "$name" "$options"
    done < <(combinations)
    exit 0 ;;
  job)
    [[ "$job" =~ ^[0-9]+$ ]] || die "--job wants a number"
    line=$(combinations | sed -n "$((job + 1))p")
    [ -n "$line" ] || die "there is no training $job"
    command=$(command_of "${line%%$'\t'*}" "${line#*$'\t'}")
    [ "$dry" = yes ] && { printf '%s\n' "$command"; exit 0; }
    exec bash -c "$command" ;;
  collect)
    collect
    exit 0 ;;
esac

command -v parallel >/dev/null || die "GNU parallel is needed (scripts/install-deps.sh installs it)"
list=$(mktemp)
trap 'rm -f "$list"' EXIT
combinations >"$list"
echo "sweep: $(wc -l <"$list") trainings into $out"
args=(--colsep '\t' --halt never)
[ -n "$jobs" ] && args+=(--jobs "$jobs")
if [ -n "$sshloginfile" ]; then
  args+=(--sshloginfile "$sshloginfile" --return "$out/{1}" --cleanup)
fi
status=0
parallel "${args[@]}" "$(command_of '{1}' '{=2 uq() =}')" :::: "$list" || status=$?
collect
[ $status -eq 0 ] || echo "sweep: $status trainings failed" >&2
exit $status
