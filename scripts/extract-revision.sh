#!/usr/bin/env bash
# Puts a revision's sources, as committed, in a folder of their own (emptied first), for
# building an older version beside this one (bench.sh, ab.sh). Fails, saying nothing, when
# the clone does not have the revision.
#
#   scripts/extract-revision.sh REVISION FOLDER
set -euo pipefail
git cat-file -e "$1^{commit}" 2>/dev/null
rm -rf "$2" && mkdir -p "$2"
git archive "$1" | tar -x -C "$2"
