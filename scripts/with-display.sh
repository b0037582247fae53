#!/usr/bin/env bash
# Runs a command on a virtual X display of its own:
#   scripts/with-display.sh [WIDTHxHEIGHT] command [arguments...]
# Xvfb chooses a free display number itself (-displayfd), so runs that start at the same time
# never take the same one; the display goes away with the command.
set -euo pipefail
size=1600x1200
if [[ "${1:-}" =~ ^[0-9]+x[0-9]+$ ]]; then
  size=$1
  shift
fi
[ $# -gt 0 ] || { echo "with-display: no command" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "with-display: Xvfb is needed (scripts/install-deps.sh)" >&2; exit 2; }

dir=$(mktemp -d)
mkfifo "$dir/number"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$dir/number" 2>"$dir/log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT
if ! read -r number <"$dir/number"; then
  echo "with-display: Xvfb did not start: $(cat "$dir/log")" >&2
  exit 1
fi
status=0
DISPLAY=":$number" "$@" || status=$?
exit "$status"
