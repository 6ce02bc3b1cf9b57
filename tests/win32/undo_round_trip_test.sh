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

checker_option=--undo checker_exe=tavik-undo-check.exe
# shellcheck source=scanned_prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/scanned_prefix.sh"
prepare_scanned_prefix "$@"

round_trip() {
  import_and_scan || return 1
  (cd "$prefix/drive_c/scan" &&
     timeout 600 "$WINE" 'C:\tavik\tavik-undo-check.exe' fix "$(winpath "$work/rows.tsv")" \
       "$(winpath "$work/before.txt")") | tr -d '\r' | tee "$work/fix.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || return 1
  undo_file="$(find "$prefix/drive_c/users" -path '*/Tavik Software/Registry Cleaner/Undo/fix-*.reg' | head -n 1)"
  [ -n "$undo_file" ] || { echo "FAIL no undo file in the prefix"; return 1; }
  grep -q "^undo .*$(basename "$undo_file")\$" "$work/fix.txt" ||
    { echo "FAIL the undo file is not the one the fix named"; return 1; }
  cp "$undo_file" "$work/undo.reg"
  import_undo_and_compare "$undo_file"
}
status=0
round_trip || status=1
finish_prefix_test $status
