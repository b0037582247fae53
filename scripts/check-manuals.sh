#!/usr/bin/env bash
# Fails when an option that a program's --help lists is missing from its manual page.
#   scripts/check-manuals.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?the build folder}
status=0
check() { # page, then the command that prints the help
  local page=$root/docs/man/$1.1
  shift
  local option
  for option in $("$@" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    # A manual page writes each hyphen of an option as \-.
    if ! grep -qF -- "${option//-/\\-}" "$page"; then
      echo "check-manuals: $(basename "$page") does not describe $option" >&2
      status=1
    fi
  done
}
check quorvel-train "$build/src/quorvel-train"
[ -x "$build/src/quorvel" ] && check quorvel "$build/src/quorvel"
check quorvel-sweep "$root/scripts/sweep.sh" --trainer "$build/src/quorvel-train"
[ $status -eq 0 ] && echo "check-manuals: every option is described"
exit $status
