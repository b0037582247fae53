#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
# The window and picture tests need a display; start a virtual one when there is none.
if [ -z "${DISPLAY:-}" ]; then
  exec scripts/with-display.sh 1600x1200 ctest --test-dir build -j"$(nproc)" --output-on-failure --timeout 300
fi
exec ctest --test-dir build -j"$(nproc)" --output-on-failure --timeout 300
