#!/usr/bin/env bash
# Installs what is missing, builds, and opens the program. Without a display it runs the
# headless trainer's default training instead.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/src/quorvel "$@"
fi
echo "run.sh: no display; running the headless trainer (build/src/quorvel-train) instead" >&2
exec build/src/quorvel-train "$@"
