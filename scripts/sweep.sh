#!/usr/bin/env bash
# Runs a grid of trainings with GNU parallel, each in a folder of its own under --out, then
# gathers their summaries into OUT/sweep.csv (their times into OUT/times.csv) and draws their
# goal shares into OUT/sweep.png.
#
#   scripts/sweep.sh --out DIR [--seeds A-B] [--jobs N] [--sshloginfile FILE] [--trainer CMD]
#                    [--resume] [--no-backups]
#                    [quorvel-train options; a value may be a comma-separated list]
#
# Every combination of the listed values (and seeds) is one training: for example
#   scripts/sweep.sh --out sweep1 --seeds 1-8 --learning-rate 0.05,0.1,0.2 --runs 100000
# runs 24, and "--learner online,hindsight" sets the two learners side by side. A training's
# folder is emptied before it starts; with --resume, a training whose folder already holds its
# finished summary is not run again. --no-backups writes no weight
# backups (a long training evaluated every 100 runs writes thousands). Other modes, for
# schedulers that run one training a task (docs/cluster.md; installed, in
# /usr/share/doc/quorvel/docs):
#   --count       print the number of trainings and stop
#   --dry-run     print each training's command, one a line, and stop (with --job K: its own)
#   --job K       run training K (counted from 0) alone, without GNU parallel
#   --collect     only gather the summaries already in DIR into sweep.csv and sweep.png
#   --help        print this and stop
#
# Nothing given on the command line is run as a command: every word of a training's command
# is quoted, and only the options quorvel-train --help lists are accepted.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

die() { echo "sweep: $*" >&2; exit 2; }
# The usage: this file's opening comment.
usage() {
  sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0" |
    sed "s|scripts/sweep\.sh|$(basename "$0")|g"
}
max_trainings=100000

out= seeds= jobs= sshloginfile= trainer= mode=run job= dry=no resume=no backups=yes
names=() values=() flags=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out | --seeds | --jobs | --sshloginfile | --trainer | --job)
      [ $# -ge 2 ] || die "$1 needs a value" ;;
  esac
  case "$1" in
    --out) out=$2; shift 2 ;;
    --seeds) seeds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --sshloginfile) sshloginfile=$2; shift 2 ;;
    --trainer) trainer=$2; shift 2 ;;
    --count) mode=count; shift ;;
    --dry-run) dry=yes; shift ;;
    --collect) mode=collect; shift ;;
    --resume) resume=yes; shift ;;
    --no-backups) backups=no; shift ;;
    --job) mode=job; job=$2; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    --q-learn | --no-q-learn)
      # "--q-learn on,off" makes an axis of it; alone it is a flag of every training.
      if [ "$1" = --q-learn ] && [[ "${2:-}" =~ ^(on|off)(,(on|off))*$ ]]; then
        names+=(--q-learn); values+=("$2"); shift 2
      else
        flags+=("$1"); shift
      fi ;;
    --reachable)
      flags+=("$1"); shift ;; # a flag of every training: its summary says the share
    --evaluate)
      die "--evaluate trains nothing; a sweep runs trainings" ;;
    --log | --save-weights | --save-exact-weights | --summary-json | --backup-dir | --seed | --quiet | --reachable-out | --save-field)
      die "$1 is the sweep's to set (each training writes into its own folder; use --seeds)" ;;
    --*)
      [ $# -ge 2 ] || die "$1 needs a value"
      names+=("$1"); values+=("$2"); shift 2 ;;
    *) die "unexpected argument $1" ;;
  esac
done
[ -n "$out" ] || die "--out DIR is needed"
for text in "$out" "$seeds" "$jobs" "$trainer" "${names[@]}" "${values[@]}"; do
  [[ "$text" != *[[:cntrl:]]* ]] || die "a line break or other control character in $(printf '%q' "$text")"
done
if [ -n "$jobs" ] && ! [[ "$jobs" =~ ^[1-9][0-9]{0,3}$ ]]; then
  die "--jobs wants a number of trainings at a time, 1 to 9999"
fi

command -v jq >/dev/null || die "jq is needed to read the trainings' summaries (scripts/install-deps.sh installs it)"

# Only machines in the ssh login file: "host", "user@host", "host:port", "N/host" (N trainings
# at a time there), ":" (this machine), blank lines and # comments. Anything else (parallel
# would run an "other ssh program" given there) is refused with its line.
if [ -n "$sshloginfile" ]; then
  [ -f "$sshloginfile" ] && [ -r "$sshloginfile" ] || die "--sshloginfile $(printf '%q' "$sshloginfile") is not a file to read"
  name_re='[A-Za-z0-9][A-Za-z0-9._-]*'
  host_re="^([0-9]+/)?(:|(${name_re}@)?${name_re}(:[0-9]{1,5})?)$"
  number=0
  while IFS= read -r login || [ -n "$login" ]; do
    number=$((number + 1))
    [[ "$login" =~ ^[[:space:]]*(#.*)?$ ]] && continue
    [[ "$login" =~ $host_re ]] ||
      die "line $number of --sshloginfile is not a machine (host, user@host, host:port, N/host or :): $(printf '%q' "$login")"
  done <"$sshloginfile"
fi

# The trainer: given, built beside this script, or on PATH. With ssh the other machines run
# their own quorvel-train unless --trainer names one; this machine's checks the options.
local_trainer=$trainer
if [ -z "$trainer" ]; then
  # Installed (as quorvel-sweep) it finds the installed trainer on PATH.
  local_trainer=$(command -v quorvel-train || echo quorvel-train)
  [ -x "$repo/build/src/quorvel-train" ] && local_trainer=$repo/build/src/quorvel-train
  trainer=$local_trainer
  [ -n "$sshloginfile" ] && trainer=quorvel-train
fi
if ! help=$("$local_trainer" --help 2>/dev/null); then
  die "no runnable quorvel-train (\"$local_trainer\"): build it with scripts/build.sh, install it, or give --trainer PATH"
fi
# Only the options the trainer lists, and each once.
known=" $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u | tr '\n' ' ')"
for i in "${!names[@]}"; do
  [[ "$known" == *" ${names[$i]} "* ]] || die "${names[$i]} is not an option of quorvel-train (see quorvel-train --help)"
  for ((j = 0; j < i; j++)); do
    [ "${names[$j]}" != "${names[$i]}" ] || die "${names[$i]} is given twice"
  done
done
# The program that draws value maps and plots, beside the trainer or on PATH, when it is there.
quorvel=
[[ "$local_trainer" == */* ]] && quorvel=$(dirname "$local_trainer")/quorvel
[ -n "$quorvel" ] && [ -x "$quorvel" ] || quorvel=$(command -v quorvel || true)

# The grid: an axis for the seeds and one for each option, each a list of values, all the
# values in one array: axis a holds values[offset[a]] to values[offset[a] + size[a] - 1].
axis_names=() axis_offset=() axis_size=() axis_values=()
add_axis() { # name values...
  axis_names+=("$1")
  axis_offset+=("${#axis_values[@]}")
  axis_size+=($(($# - 1)))
  axis_values+=("${@:2}")
}
if [ -n "$seeds" ]; then
  [[ "$seeds" =~ ^([0-9]{1,10})-([0-9]{1,10})$ ]] || die "--seeds wants A-B, such as 1-8"
  first=$((10#${BASH_REMATCH[1]})) last=$((10#${BASH_REMATCH[2]}))
  [ "$last" -le 4294967295 ] || die "--seeds: a seed is at most 4294967295"
  [ "$first" -le "$last" ] || die "--seeds $seeds runs backwards"
  [ $((last - first + 1)) -le $max_trainings ] || die "--seeds $seeds makes more than $max_trainings trainings"
  mapfile -t list < <(seq "$first" "$last")
  add_axis --seed "${list[@]}"
fi
for i in "${!names[@]}"; do
  IFS=, read -r -a list <<<"${values[$i]},"
  for ((a = 0; a < ${#list[@]}; a++)); do
    [ -n "${list[$a]}" ] || die "an empty value in ${names[$i]} ${values[$i]}"
    for ((b = 0; b < a; b++)); do
      [ "${list[$a]}" != "${list[$b]}" ] || die "${names[$i]} lists ${list[$a]} twice"
    done
  done
  add_axis "${names[$i]}" "${list[@]}"
done
count=1
for size in "${axis_size[@]}"; do
  count=$((count * size))
  [ "$count" -le $max_trainings ] || die "the grid holds more than $max_trainings trainings"
done

# Training k: its options (the first axis varying slowest) into `options`, its folder's name,
# made of what varies, into `name`. Names that sanitising makes alike get the training's number
# in front (make_names).
options=() name=
pick() { # k
  local rest=$1 a
  local -a at=()
  for ((a = ${#axis_names[@]} - 1; a >= 0; a--)); do
    at[a]=$((axis_offset[a] + rest % axis_size[a]))
    rest=$((rest / axis_size[a]))
  done
  options=() name=
  for ((a = 0; a < ${#axis_names[@]}; a++)); do
    local value=${axis_values[at[a]]}
    if [ "${axis_names[a]}" = --q-learn ]; then
      options+=("$([ "$value" = on ] && echo --q-learn || echo --no-q-learn)")
    else
      options+=("${axis_names[a]}" "$value")
    fi
    if [ "${axis_size[a]}" -gt 1 ]; then
      name+=${name:+_}${axis_names[a]#--}-${value//[^A-Za-z0-9.-]/_}
    fi
  done
  name=${name:-run}
}
names_of=()
make_names() {
  local k
  declare -A seen=()
  for ((k = 0; k < count; k++)); do
    pick "$k"
    [ -z "${seen[$name]+x}" ] || name=$k-$name
    seen[$name]=1
    names_of[k]=$name
  done
}

# Training k's commands, every word quoted: the trainer's into `trainer_line` (and its digest
# into `digest`); the whole shell line that empties the folder, runs the trainer and draws the
# value map, into `line`.
trainer_line= line= digest=
commands_of() { # k
  pick "$1"
  local folder=$out/${names_of[$1]} q
  local -a words=("$trainer" --quiet "${options[@]}" "${flags[@]}" --log "$folder/eval.dat"
    --save-weights "$folder/weights.nnet" --summary-json "$folder/summary.json"
    --backup-dir "$([ "$backups" = yes ] && echo "$folder/backup")")
  printf -v trainer_line '%q ' "${words[@]}"
  trainer_line=${trainer_line% }
  # The folder's job.txt names the command that made it, by its digest.
  digest=$(sha256sum <<<"$trainer_line")
  digest=${digest%% *}
  printf -v q '%q' "$folder"
  line="rm -rf -- $q && mkdir -p -- $q"
  [ "$backups" = no ] || line+=/backup
  line+=" && echo $digest >$q/job.txt"
  line+=" && $trainer_line >$q/stdout.txt 2>$q/stderr.txt"
  if [ -n "$quorvel" ]; then
    # The trained network's value map, on the training's field.
    words=("$quorvel" --value-map "$folder/value-map.png" --load-weights "$folder/weights.nnet")
    local i
    for ((i = 0; i + 1 < ${#options[@]}; i++)); do
      case "${options[i]}" in
        --obstacles | --sides | --radius | --seed | --field) words+=("${options[i]}" "${options[i + 1]}") ;;
      esac
    done
    local map
    printf -v map '%q ' "${words[@]}"
    line+=" && { ${map}2>$q/value-map.err || true; }"
  fi
}
# Whether training k's folder holds the finished results of exactly its command: its digest;
# a summary that parses whole, says every run was done and every output written; and the log
# and the weights there, of the sizes the summary records.
finished() { # k
  commands_of "$1"
  local folder=$out/${names_of[$1]} sizes
  [ -f "$folder/summary.json" ] && [ -f "$folder/job.txt" ] &&
    [ "$(cat -- "$folder/job.txt")" = "$digest" ] &&
    sizes=$(jq -er 'select(.settings.runs == ."runs-done" and ."outputs-complete" == true)
                    | "\(.bytes.log) \(.bytes."save-weights")"' "$folder/summary.json" 2>/dev/null) &&
    [ "$sizes" = "$(stat -c %s -- "$folder/eval.dat" 2>/dev/null) $(stat -c %s -- "$folder/weights.nnet" 2>/dev/null)" ]
}

if [ "$dry" = yes ] && [ "$mode" = run ]; then
  mode=dry-run
fi
mkdir -p -- "$out"
out=$(cd -- "$out" && pwd)
make_names
# One sweep writes a folder at a time: the kernel's lock on a file in it, held by the sweep and
# every training it starts. The tasks of one scheduled array share it.
case "$mode" in
  run | collect | job)
    exec {lock}>>"$out/.sweep.lock"
    share=; [ "$mode" = job ] && share=-s
    if ! flock $share -n "$lock"; then
      echo "sweep: another sweep is writing $out; nothing was touched" >&2
      exit 1
    fi ;;
esac

# The summaries as CSV: a header, then a row a training whose folder holds its own finished
# summary, in the grid's order; the times apart, in times.csv, since they are the machine's.
# A summary's values at the places $keys lists, as CSV fields: null empty, a path inside the
# sweep's folder relative to it, a field with a comma, quote or line break quoted.
csv_program='
  def field:
    if . == null then ""
    elif type == "string" then
      (if $folder != "" and startswith($folder) then .[($folder | length):] else . end)
      | if test("[\",\n\r]") then "\"" + gsub("\""; "\"\"") + "\"" else . end
    else tojson end;
  def times: . == ["elapsed-seconds"] or . == ["steps-per-second"] or . == ["reachable-seconds"];
  def name: map(tostring) | join(".");
  def row(which): . as $s
    | [$job | field] + [$keys[] | select(which) | . as $k | $s | getpath($k) | field]
    | join(",");
  .'
collect() {
  local k csv=$out/sweep.csv times=$out/times.csv rows=0 keys=
  local tmp tmptimes mode
  tmp=$(mktemp "$out/.sweep.csv.XXXXXX")
  tmptimes=$(mktemp "$out/.times.csv.XXXXXX")
  local logs=()
  for ((k = 0; k < count; k++)); do
    local job=${names_of[k]} summary=$out/${names_of[k]}/summary.json
    if ! finished "$k"; then
      if [ -f "$summary" ]; then
        echo "sweep: $job holds no finished summary of its own command; left out" >&2
      else
        echo "sweep: $job has no summary (see $out/$job/stderr.txt)" >&2
      fi
      continue
    fi
    if [ -z "$keys" ]; then
      # The columns: every value of the first summary, a nested one named "outer.inner"; the
      # times go apart. Every row takes the values at these places, so that rows and header
      # always match.
      keys=$(jq -c '[paths(type != "object" and type != "array")]' "$summary")
      jq -r "$csv_program"' | "job," + ([$keys[] | select(times | not) | name] | join(","))' \
        --argjson keys "$keys" --arg job "" --arg folder "" -n >>"$tmp"
      jq -r "$csv_program"' | "job," + ([$keys[] | select(times) | name] | join(","))' \
        --argjson keys "$keys" --arg job "" --arg folder "" -n >>"$tmptimes"
    fi
    jq -r "$csv_program"' | row(times | not)' --argjson keys "$keys" --arg job "$job" \
      --arg folder "$out/" "$summary" >>"$tmp"
    jq -r "$csv_program"' | row(times)' --argjson keys "$keys" --arg job "$job" \
      --arg folder "$out/" "$summary" >>"$tmptimes"
    rows=$((rows + 1))
    logs+=("$out/$job/eval.dat")
  done
  # Written as the user's other new files are, and only when there is something to write.
  mode=$(printf '%o' $((0666 & ~$(umask))))
  if [ "$rows" -gt 0 ]; then
    chmod "$mode" "$tmp" "$tmptimes"
    mv -f -- "$tmp" "$csv"
    mv -f -- "$tmptimes" "$times"
  else
    rm -f -- "$tmp" "$tmptimes"
  fi
  echo "sweep: $rows of $count trainings in $csv"

  # The finished trainings' goal shares side by side, each named by its folder (wide enough
  # for a column of long folder names beside the curves).
  if [ -n "$quorvel" ] && [ "$rows" -gt 0 ]; then
    if "$quorvel" --plot "${logs[@]}" --output "$out/sweep.png" --size 1000x500 \
      2>"$out/.plot.err"; then
      echo "sweep: goal shares in $out/sweep.png"
    else
      echo "sweep: no plot: $(grep -v '^$' "$out/.plot.err" | tail -n 1)" >&2
    fi
    rm -f -- "$out/.plot.err"
  fi
}

case "$mode" in
  count)
    echo "$count"
    exit 0 ;;
  dry-run)
    for ((k = 0; k < count; k++)); do
      commands_of "$k"
      printf '%s\n' "$line"
    done
    exit 0 ;;
  job)
    [[ "$job" =~ ^[0-9]+$ ]] && [ "$((10#$job))" -lt "$count" ] || die "there is no training $job (0 to $((count - 1)))"
    job=$((10#$job))
    if [ "$resume" = yes ] && [ "$dry" = no ] && finished "$job"; then
      echo "sweep: ${names_of[job]} is done already"
      exit 0
    fi
    commands_of "$job"
    [ "$dry" = yes ] && { printf '%s\n' "$line"; exit 0; }
    exec bash -c "$line" ;;
  collect)
    collect
    exit 0 ;;
esac

command -v parallel >/dev/null || die "GNU parallel is needed (scripts/install-deps.sh installs it)"
list=$(mktemp)
joblog=$(mktemp)
trap 'rm -f -- "$list" "$joblog"' EXIT
torun=0 ran=()
for ((k = 0; k < count; k++)); do
  if [ "$resume" = yes ] && finished "$k"; then
    continue
  fi
  commands_of "$k"
  printf '%s\t%s\n' "$out/${names_of[k]}" "$line" >>"$list"
  torun=$((torun + 1))
  ran+=("$k")
done
echo "sweep: $torun of $count trainings to run into $out"
args=(--colsep '\t' --halt never --joblog "$joblog")
[ -n "$jobs" ] && args+=(--jobs "$jobs")
if [ -n "$sshloginfile" ]; then
  args+=(--sshloginfile "$sshloginfile" --return '{1}' --cleanup)
fi
if [ "$torun" -gt 0 ]; then
  # Each line's second column is a whole command whose every word is quoted.
  setsid parallel "${args[@]}" '{=2 uq() =}' :::: "$list" &
  runner=$!
  # Interrupted: parallel ends every training it started; sweep.csv stays as it was. Hung up
  # (the terminal closed, nobody to run it again), what finished is gathered first.
  stop() { # status
    kill -TERM -- "-$runner" 2>/dev/null
    wait "$runner" || true
    echo "sweep: interrupted; no training is running" >&2
  }
  trap 'stop; exit 130' INT
  trap 'stop; exit 143' TERM
  trap 'stop; collect; exit 129' HUP
  wait "$runner" || true
  trap - INT TERM HUP
fi
collect
# A training failed unless it left its own finished summary.
failed=0
for k in "${ran[@]}"; do
  finished "$k" || failed=$((failed + 1))
done
if [ "$failed" -gt 0 ]; then
  echo "sweep: $failed of $torun trainings failed" >&2
  exit 1
fi
