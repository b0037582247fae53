#!/usr/bin/env bash
# Installs what is missing, builds, and runs the default training of the headless trainer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
exec build/src/quorvel-train "$@"
