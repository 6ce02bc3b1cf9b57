#!/usr/bin/env bash
# Usage: copy-prefix.sh TEMPLATE COPY
# Makes COPY a fresh Wine prefix from TEMPLATE cheaply: files that Wine only
# ever reads (programs and libraries) are hard-linked, everything else (the
# registry files above all, which wineserver rewrites in place) is copied
# for real, so the copy never changes the template.
set -euo pipefail
template="$1" copy="$2"
binary_files=( -iname '*.dll' -o -iname '*.exe' -o -iname '*.nls'
               -o -iname '*.sys' -o -iname '*.drv' -o -iname '*.ocx'
               -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb'
               -o -iname '*.ds' -o -iname '*.msstyles' -o -iname '*.ax'
               -o -iname '*.com' )
rm -rf "$copy"
mkdir -p "$(dirname "$copy")"
cp -al "$template" "$copy"
find "$copy" -type f ! \( "${binary_files[@]}" \) -delete
(cd "$template" && find . -type f ! \( "${binary_files[@]}" \) -print0 |
   tar --null -T - -cf -) | (cd "$copy" && tar -xpf -)
