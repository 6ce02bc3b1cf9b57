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

checker_option=--fix checker_exe=tavik-fix-check.exe
# shellcheck source=scanned_prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/scanned_prefix.sh"
prepare_scanned_prefix "$@"

status=0
{
  import_and_scan &&
  (cd "$prefix/drive_c/scan" &&
     timeout 600 "$WINE" 'C:\tavik\tavik-fix-check.exe' "$(winpath "$work/rows.tsv")" \
       "$(tr -d ' \r\n' < "$scenario/fix_count.txt")") | tee "$work/fix.txt"
} || status=1
stop_wineserver
[ $status -eq 0 ] && tail -n 1 "$work/fix.txt" | tr -d '\r' | grep -qx 'PASS' || status=1
[ $status -eq 0 ] && rm -rf "$prefix"
exit $status
