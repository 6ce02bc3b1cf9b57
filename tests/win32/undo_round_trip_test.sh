#!/usr/bin/env bash
# The undo file's round trip under Wine: a fix of a real scan's rows (plus
# rows for keys and values of every type and awkward names that
# tavik-undo-check adds), then `regedit /S` of the undo file the fix wrote;
# the whole registry must then be what it was before the fix.
#
# Usage: undo_round_trip_test.sh --scan TAVIK-SCAN.exe --undo TAVIK-UNDO-CHECK.exe
#                                --work DIR [--scenarios-work DIR] [SCENARIO]
#
# Uses the template prefix and baseline rows that tools/wine-scenarios.sh
# leaves in its work folder (build/win64/scenarios); the scenario
# (tests/scenarios/fix_run by default) is imported into a fresh copy of the
# template and scanned. One wineserver serves the import, the scan, the fix,
# the undo import and the second dump. Never touches ~/.wine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
scan="" undo="" work="" scenarios_work="$root/build/win64/scenarios" name=fix_run
while [ $# -gt 0 ]; do
  case "$1" in
    --scan) scan="$2"; shift 2 ;;
    --undo) undo="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --scenarios-work) scenarios_work="$2"; shift 2 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) name="$1"; shift ;;
  esac
done
[ -n "$scan" ] && [ -n "$undo" ] && [ -n "$work" ] || { echo "missing --scan, --undo or --work" >&2; exit 2; }
mkdir -p "$work"
work="$(cd "$work" && pwd)"
case "$work/" in
  "$root/build/"*) ;;
  *) echo "the work folder must lie under $root/build" >&2; exit 2 ;;
esac
scenario="$root/tests/scenarios/$name"
template="$scenarios_work/template"
baseline="$scenarios_work/baseline.tsv"
[ -f "$template/.tavik-settled" ] && [ -f "$baseline" ] ||
  { echo "no template prefix in $scenarios_work (run the scenario_baseline test)" >&2; exit 2; }

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE="${WINE:-/usr/lib/wine/wine64}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver}"

# A fresh copy of the template.
prefix="$work/prefix"
"$root/tools/copy-prefix.sh" "$template" "$prefix"
rm -f "$prefix/drive_c/tavik/tavik-scan.exe" "$prefix/drive_c/tavik/RCExclude.txt"
cp "$scan" "$prefix/drive_c/tavik/tavik-scan.exe"
cp "$undo" "$prefix/drive_c/tavik/tavik-undo-check.exe"

winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

export WINEPREFIX="$prefix"
"$WINESERVER" -p
round_trip() {
  { printf '\xff\xfe'; sed '1s/^\xef\xbb\xbf//' "$scenario/registry.reg" | iconv -f UTF-8 -t UTF-16LE; } \
    > "$work/import.reg"
  timeout 120 "$WINE" regedit /S "$(winpath "$work/import.reg")" > "$work/regedit.log" 2>&1 || return 1
  if [ -f "$scenario/files.txt" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
      line="${line%$'\r'}"
      [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
      path="$prefix/drive_c/${line:3}"
      path="${path//\\//}"
      mkdir -p "$(dirname "$path")"
      [ -e "$path" ] || : > "$path"
    done < "$scenario/files.txt"
  fi
  mkdir -p "$prefix/drive_c/scan"
  (cd "$prefix/drive_c/scan" && timeout 120 "$WINE" 'C:\tavik\tavik-scan.exe') > "$work/scan.txt"
  sed '$d' "$work/scan.txt" > "$work/scan-rows.tsv"
  awk 'NR == FNR { left[$0]++; next } ($0 in left) && left[$0] > 0 { left[$0]--; next } { print }' \
    "$baseline" "$work/scan-rows.tsv" > "$work/rows.tsv"
  [ -f "$scenario/fix_rows.tsv" ] && sed 's/\r$//' "$scenario/fix_rows.tsv" >> "$work/rows.tsv"
  (cd "$prefix/drive_c/scan" &&
     timeout 600 "$WINE" 'C:\tavik\tavik-undo-check.exe' fix "$(winpath "$work/rows.tsv")" \
       "$(winpath "$work/before.txt")") | tr -d '\r' | tee "$work/fix.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || return 1
  undo_file="$(find "$prefix/drive_c/users" -path '*/Tavik Software/Registry Cleaner/Undo/fix-*.reg' | head -n 1)"
  [ -n "$undo_file" ] || { echo "FAIL no undo file in the prefix"; return 1; }
  grep -q "^undo .*$(basename "$undo_file")\$" "$work/fix.txt" ||
    { echo "FAIL the undo file is not the one the fix named"; return 1; }
  cp "$undo_file" "$work/undo.reg"
  # The file as a user double-clicks it: regedit imports it.
  (cd "$prefix/drive_c/scan" && timeout 300 "$WINE" regedit /S "$(winpath "$undo_file")") \
    > "$work/undo-import.log" 2>&1 || return 1
  (cd "$prefix/drive_c/scan" &&
     timeout 300 "$WINE" 'C:\tavik\tavik-undo-check.exe' dump "$(winpath "$work/after.txt")") || return 1
  if cmp -s "$work/before.txt" "$work/after.txt"; then
    echo "registry after the undo import is identical ($(grep -c '^K ' "$work/before.txt") keys)"
  else
    echo "FAIL the registry differs after the undo import:"
    diff "$work/before.txt" "$work/after.txt" | cut -c1-200 | head -n 40
    return 1
  fi
}
status=0
round_trip || status=1
"$WINESERVER" -k 2>/dev/null || true
"$WINESERVER" -w 2>/dev/null || true
[ $status -eq 0 ] && echo PASS
[ $status -eq 0 ] && rm -rf "$prefix"
exit $status
