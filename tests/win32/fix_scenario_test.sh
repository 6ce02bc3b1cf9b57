#!/usr/bin/env bash
# Fixes the rows of a real scan under Wine and checks, over the whole
# registry, that exactly the fixed rows' entries went away.
#
# Usage: fix_scenario_test.sh --scan TAVIK-SCAN.exe --fix TAVIK-FIX-CHECK.exe
#                             --work DIR [--scenarios-work DIR] [SCENARIO]
#
# Uses the template prefix and baseline rows that tools/wine-scenarios.sh
# leaves in its work folder (build/win64/scenarios). The scenario
# (tests/scenarios/fix_run by default) is imported into a fresh copy of the
# template, tavik-scan.exe scans it, the rows beyond the baseline plus the
# scenario's fix_rows.tsv are handed to tavik-fix-check.exe, which runs the
# fix worker and compares a copy of HKLM and HKU taken before and after. The
# number of rows it must fix is in the scenario's fix_count.txt. One
# wineserver serves the import, the scan and the fix. Never touches ~/.wine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
scan="" fix="" work="" scenarios_work="$root/build/win64/scenarios" name=fix_run
while [ $# -gt 0 ]; do
  case "$1" in
    --scan) scan="$2"; shift 2 ;;
    --fix) fix="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --scenarios-work) scenarios_work="$2"; shift 2 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) name="$1"; shift ;;
  esac
done
[ -n "$scan" ] && [ -n "$fix" ] && [ -n "$work" ] || { echo "missing --scan, --fix or --work" >&2; exit 2; }
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
cp "$fix" "$prefix/drive_c/tavik/tavik-fix-check.exe"

winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

export WINEPREFIX="$prefix"
"$WINESERVER" -p
status=0
{
  { printf '\xff\xfe'; sed '1s/^\xef\xbb\xbf//' "$scenario/registry.reg" | iconv -f UTF-8 -t UTF-16LE; } \
    > "$work/import.reg"
  timeout 120 "$WINE" regedit /S "$(winpath "$work/import.reg")" > "$work/regedit.log" 2>&1
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
  # The scan's rows beyond the clean prefix's, then the scenario's own rows.
  awk 'NR == FNR { left[$0]++; next } ($0 in left) && left[$0] > 0 { left[$0]--; next } { print }' \
    "$baseline" "$work/scan-rows.tsv" > "$work/rows.tsv"
  sed 's/\r$//' "$scenario/fix_rows.tsv" >> "$work/rows.tsv"
  (cd "$prefix/drive_c/scan" &&
     timeout 600 "$WINE" 'C:\tavik\tavik-fix-check.exe' "$(winpath "$work/rows.tsv")" \
       "$(tr -d ' \r\n' < "$scenario/fix_count.txt")") | tee "$work/fix.txt"
} || status=1
"$WINESERVER" -k 2>/dev/null || true
"$WINESERVER" -w 2>/dev/null || true
[ $status -eq 0 ] && tail -n 1 "$work/fix.txt" | tr -d '\r' | grep -qx 'PASS' || status=1
[ $status -eq 0 ] && rm -rf "$prefix"
exit $status
