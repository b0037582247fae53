#!/usr/bin/env bash
# Fails when a source or test file includes a header of a layer above its own.
# Layers, lowest first: common < sim, learn < world < training < watching, rules < panel <
# display, app, cli.
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"

declare -A allowed=(
  [common]="common"
  [sim]="common sim"
  [learn]="common learn"
  [world]="common sim learn world"
  [training]="common sim learn world training"
  [watching]="common sim learn world training watching"
  [rules]="common sim learn world training rules"
  [panel]="common sim learn world training watching rules panel"
  [display]="common sim learn world training watching display"
  [app]="common sim learn world training watching rules panel display app"
  [cli]="common sim learn world training watching rules cli"
)

status=0
for top in src tests; do
  for dir in "$top"/*/; do
    layer=$(basename "$dir")
    if [ -z "${allowed[$layer]+set}" ]; then
      echo "check-layers: $dir is not a known layer" >&2
      status=1
      continue
    fi
    while IFS=: read -r file line target; do
      used=${target%%/*}
      case " ${allowed[$layer]} " in
        *" $used "*) ;;
        *)
          echo "$file:$line: the $layer layer includes $target, from the $used layer" >&2
          status=1
          ;;
      esac
    done < <(grep -rnoE '#include "[a-z_]+/[^"]+"' "$dir" | sed -E 's/#include "([^"]+)"/\1/')
  done
done
[ $status -eq 0 ] && echo "check-layers: every include points down"
exit $status
