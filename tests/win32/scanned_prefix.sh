# The set-up shared by the Wine tests that fix the rows of a scanned scenario
# (sourced, not run). A script sets `checker_option` (its option naming the
# checker program, e.g. --fix) and `checker_exe` (the name it gets in the
# prefix), then calls
#   prepare_scanned_prefix "$@"
# which reads [--scan TAVIK-SCAN.exe], the checker option, --work DIR,
# [--scenarios-work DIR] and [SCENARIO] (tests/scenarios/fix_run by default),
# makes a fresh copy of the template prefix that tools/wine-scenarios.sh
# leaves in its work folder (build/win64/scenarios) with the programs in
# C:\tavik, and starts one wineserver for everything that follows. Then
#   import_and_scan
# imports the scenario (import_scenario: its registry.reg and its files),
# scans from C:\scan and writes the rows beyond the clean prefix's, followed
# by the scenario's fix_rows.tsv if it has one, to "$work/rows.tsv".
#   use_fresh_prefix DIR
# stops the running wineserver and starts one on a second fresh copy, which
# `prefix` then names. Never touches ~/.wine.

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

prepare_scanned_prefix() {
  local checker="" scenarios_work="$root/build/win64/scenarios" name=fix_run
  work="" scan=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --scan) scan="$2"; shift 2 ;;
      "$checker_option") checker="$2"; shift 2 ;;
      --work) work="$2"; shift 2 ;;
      --scenarios-work) scenarios_work="$2"; shift 2 ;;
      -*) echo "unknown option: $1" >&2; exit 2 ;;
      *) name="$1"; shift ;;
    esac
  done
  [ -n "$checker" ] && [ -n "$work" ] ||
    { echo "missing $checker_option or --work" >&2; exit 2; }
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

  checker_program="$checker"
  start_fresh_prefix "$work/prefix"
}

# A fresh copy of the template at $1 with the programs, served by its own
# wineserver from now on.
start_fresh_prefix() {
  prefix="$1"
  "$root/tools/copy-prefix.sh" "$template" "$prefix"
  rm -f "$prefix/drive_c/tavik/tavik-scan.exe" "$prefix/drive_c/tavik/RCExclude.txt"
  [ -z "$scan" ] || cp "$scan" "$prefix/drive_c/tavik/tavik-scan.exe"
  cp "$checker_program" "$prefix/drive_c/tavik/$checker_exe"
  export WINEPREFIX="$prefix"
  "$WINESERVER" -p
}

use_fresh_prefix() {
  stop_wineserver
  start_fresh_prefix "$1"
}

# The scenario's registry.reg imported and its files created.
import_scenario() {
  local line path
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
}

import_and_scan() {
  import_scenario || return 1
  (cd "$prefix/drive_c/scan" && timeout 120 "$WINE" 'C:\tavik\tavik-scan.exe') > "$work/scan.txt" ||
    return 1
  sed '$d' "$work/scan.txt" > "$work/scan-rows.tsv"
  # The scan's rows beyond the clean prefix's, then the scenario's own rows.
  awk 'NR == FNR { left[$0]++; next } ($0 in left) && left[$0] > 0 { left[$0]--; next } { print }' \
    "$baseline" "$work/scan-rows.tsv" > "$work/rows.tsv"
  if [ -f "$scenario/fix_rows.tsv" ]; then
    sed 's/\r$//' "$scenario/fix_rows.tsv" >> "$work/rows.tsv"
  fi
}

# Stops the prefix's wineserver and waits for it to write the registry.
# Imports the undo file $1 with regedit, as a user's double-click does, and
# compares the whole registry with the dump taken before the fix.
import_undo_and_compare() {
  (cd "$prefix/drive_c/scan" && timeout 300 "$WINE" regedit /S "$(winpath "$1")") \
    > "$work/undo-import.log" 2>&1 || { echo "FAIL regedit could not import the undo file"; return 1; }
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

# Ends a test that ran in $prefix: stops its server, says PASS and removes
# the prefix when the test passed, and exits with its status.
finish_prefix_test() {
  stop_wineserver
  [ "$1" -eq 0 ] && echo PASS
  [ "$1" -eq 0 ] && rm -rf "$prefix"
  exit "$1"
}

stop_wineserver() {
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
}
