#!/usr/bin/env bash
# Fails when a source file includes a header of a higher layer. The layers,
# lowest first: base, platform, engine, scanners, repair, app. A layer may
# include its own headers and those of any layer below it.
set -euo pipefail
cd "$(dirname "$0")/../src"
rank() {
  case "$1" in
    base) echo 0 ;; platform) echo 1 ;; engine) echo 2 ;;
    scanners) echo 3 ;; repair) echo 4 ;; app) echo 5 ;; *) echo 99 ;;
  esac
}
status=0
while IFS= read -r file; do
  layer=${file%%/*}
  own=$(rank "$layer")
  while IFS= read -r target; do
    # Names without a layer folder are the file's own neighbours (resource
    # scripts, generated headers): they are never upward.
    [[ $target == */* ]] || continue
    included=$(rank "${target%%/*}")
    if (( included > own )); then
      echo "upward include: $file includes $target"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' \) | sed 's#^\./##' | sort)
if (( status == 0 )); then echo "layers: no upward include"; fi
exit $status
