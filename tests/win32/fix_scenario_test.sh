#!/usr/bin/env bash
# Fixes the rows of a real scan under Wine and checks, over the whole
# registry, that exactly the fixed rows' entries went away: once without an
# undo file and once with one, as the window fixes.
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
# wineserver serves the import, the scan and the fix. Then a second fresh
# copy imports the scenario in a session of its own and the same rows are
# fixed there with an undo file ("tavik-fix-check --undo"): the same check,
# the same count, and the same rows fixed and kept. Never touches ~/.wine.
set -euo pipefail

checker_option=--fix checker_exe=tavik-fix-check.exe
# shellcheck source=scanned_prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/scanned_prefix.sh"
prepare_scanned_prefix "$@"
fix_count="$(tr -d ' \r\n' < "$scenario/fix_count.txt")"

# Runs the checker over rows.tsv with the options given; its log goes to
# $work/$1.txt.
fix_rows() {
  local log="$work/$1.txt"
  shift
  (cd "$prefix/drive_c/scan" &&
     timeout 600 "$WINE" 'C:\tavik\tavik-fix-check.exe' "$@" "$(winpath "$work/rows.tsv")" \
       "$fix_count") | tr -d '\r' | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] && tail -n 1 "$log" | grep -qx 'PASS'
}

status=0
{ import_and_scan && fix_rows fix; } || status=1
plain_prefix="$prefix"
if [ $status -eq 0 ]; then
  # The scan's rows are kept: the second copy imports the same scenario.
  use_fresh_prefix "$work/prefix-undo"
  { import_scenario && echo "--- the same rows with an undo file" && fix_rows fix-undo --undo; } ||
    status=1
  # Both runs must have fixed and kept the same rows.
  if [ $status -eq 0 ] &&
     ! diff <(grep -E '^(fixed|kept |unchk) ' "$work/fix.txt") \
            <(grep -E '^(fixed|kept |unchk) ' "$work/fix-undo.txt") > "$work/rows-diff.txt"; then
    echo "FAIL the fix with an undo file fixed other rows (< without, > with):"
    cat "$work/rows-diff.txt"
    status=1
  fi
fi
stop_wineserver
[ $status -eq 0 ] && rm -rf "$plain_prefix" "$work/prefix-undo"
exit $status
