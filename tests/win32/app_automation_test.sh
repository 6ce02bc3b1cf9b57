#!/usr/bin/env bash
# The window program under its automation link, end to end under Wine and
# Xvfb: autofix-controller.exe starts "Tavik Registry Cleaner.exe", drives
# scans, fixes, stops, show and exit through the shared section, and reads
# the status texts and the window's state back; tavik-fix-check compares the
# whole registry before and after the window's fix.
# Usage: app_automation_test.sh PROGRAM CONTROLLER SCENARIO_WORK WORK FIX_CHECK
#   SCENARIO_WORK: the scenario runner's work folder (template and baseline)
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
program="$1" controller="$2" scenario_work="$3" work="$4" fix_check="$5"
# shellcheck source=app_e2e_lib.sh
source "$root/tests/win32/app_e2e_lib.sh"
template="$scenario_work/template"
baseline="$scenario_work/baseline.tsv"
[ -f "$template/.tavik-settled" ] && [ -f "$baseline" ] ||
  { echo "no scenario template at $template (run the scenario_baseline test)"; exit 1; }
case "$work/" in "$root/build/"*) ;; *) echo "work folder must lie under build/"; exit 2 ;; esac
mkdir -p "$work"
controller_out="$work/controller.txt"
trap 'end_session; stop_display' EXIT
start_display 96

scenario="$root/tests/scenarios/app_window"
expected_rows=$(( $(wc -l < "$baseline") + $(wc -l < "$scenario/expected.tsv") ))

# 1. One argument: visible, Scan/Fix/Stop/Restore disabled, a scan posts its
# count, the list holds the rows, exit ends the program.
new_prefix "$work/one/prefix" "$template"
begin_session "$work/one/prefix"
import_reg "$scenario/registry.reg" || fail "import of the app_window scenario"
printf '%s\n' window scan 'wait-for-status 120000' window exit | run_controller auto
expect_line '^window: visible=1 scan=0 fix=0 stop=0 settings=1 exclude=1 restore=0 ' \
  "one argument: visible, Scan, Fix, Stop and Restore Registry disabled"
expect_line "^status: Total Invalid Entries Found: $expected_rows    \$" \
  "scan posts the count of $expected_rows findings with four trailing blanks"
expect_line "^window: .* stoptext=Stop rows=$expected_rows\$" \
  "the results list holds $expected_rows rows after the scan"
expect_line '^exited 0$' "exit request ends the program"

# 2. A scan request while a scan runs waits for it; the stop request ends a
# long scan with "Stopped" and leaves the previous rows. The program serves
# a stop request on every tick until the controller clears it, so it is
# cleared once served and before the run ends: a tick after the run's end
# would set the idle Stop button to "Please Wait..." again.
big="$work/big.reg"
{
  echo 'Windows Registry Editor Version 5.00'
  echo
  echo '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs]'
  for i in $(seq 1 20000); do printf '"C:\\\\Gone Big\\\\lib%05d.dll"=dword:00000001\n' "$i"; done
  for i in $(seq 1 50000); do
    printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{%08X-0000-4000-8000-00000000BEEF}\\InprocServer32]\n@="C:\\\\Gone Big\\\\com%05d.dll"\n' "$i" "$i"
  done
} > "$big"
import_reg "$big" || fail "import of the 50000 CLSIDs"
printf '%s\n' scan 'wait-for-status 300000' scan 'sleep 300' stop 'sleep 600' clear-stop \
  'wait-for-status 300000' 'sleep 300' window exit | run_controller auto
if [ "$(grep -c '^status: ' "$controller_out")" = 2 ] &&
   [ "$(grep '^status: ' "$controller_out" | tail -n 1)" = "status: Stopped" ]; then
  pass "stop during a long scan posts Stopped"
else
  fail "stop during a long scan: expected a count, then Stopped:"; sed 's/^/    /' "$controller_out"
fi
full_rows="$(sed -n 's/^status: Total Invalid Entries Found: \([0-9]*\)    $/\1/p' "$controller_out")"
expect_line "^window: .* stop=0 .* stoptext=Stop rows=${full_rows:-x}\$" \
  "a stopped scan leaves the previous rows and Stop reads Stop again"
end_session

# 3. Two arguments: hidden until the controller asks to show the window.
new_prefix "$work/two/prefix" "$template"
begin_session "$work/two/prefix"
printf '%s\n' window 'sleep 1000' window show 'sleep 500' window exit |
  run_controller auto hidden
if [ "$(grep -c '^window: visible=0 ' "$controller_out")" = 2 ]; then
  pass "two arguments: the window stays hidden"
else
  fail "two arguments: expected two hidden states:"; sed 's/^/    /' "$controller_out"
fi
expect_line '^window: visible=1 ' "show request shows the window"
expect_line '^exited 0$' "exit request ends the hidden program"

end_session

# 4. Fix with the backup box checked: an empty list first, then the rows of
# a scan. tavik-fix-check copies the whole registry while the window holds
# its rows and again after the fix: exactly the fixed rows' entries may be
# gone. The backup must leave the saved hives and the date beside them.
new_prefix "$work/fix/prefix" "$template"
begin_session "$work/fix/prefix"
cp "$fix_check" "$WINEPREFIX/drive_c/tavik/tavik-fix-check.exe"
import_reg "$scenario/registry.reg" || fail "import of the app_window scenario"
config="$WINEPREFIX/drive_c/windows/system32/config"
rm -f "$config"/*.tvk
fix_check_exe='C:\tavik\tavik-fix-check.exe'
printf '%s\n' fix 'wait-for-status 60000' scan 'wait-for-status 120000' window \
  'rows C:\scan\before.tsv' "run $fix_check_exe --before C:\\scan\\before.tsv C:\\scan\\state.txt" \
  fix 'wait-for-status 600000' window 'rows C:\scan\left.tsv' \
  "run $fix_check_exe --after C:\\scan\\state.txt C:\\scan\\left.tsv -" \
  scan 'wait-for-status 120000' 'rows C:\scan\rescan.tsv' exit | run_controller auto
expect_line '^status: No enteries in the list to be fixed\.$' "fix with an empty list"
expect_line '^window: .* backup=1 .*' "the backup box is checked"
fixed="$(sed -n 's/^status: Total Errors Fixed: \([0-9]*\)    $/\1/p' "$controller_out")"
checked="$(sed -n 's/^rows [0-9]*, fixed \([0-9]*\), .*/\1/p' "$controller_out")"
left="$(sed -n 's/^rows [0-9]*, fixed [0-9]*, left \([0-9]*\),.*/\1/p' "$controller_out")"
if [ -n "$fixed" ] && [ "$fixed" = "$checked" ] && [ "$fixed" -gt 0 ]; then
  pass "fix posts Total Errors Fixed: $fixed, the rows whose entries went away"
else
  fail "fix: status says '${fixed:-none}', the registry shows ${checked:-?} rows fixed:"
  sed 's/^/    /' "$controller_out"
fi
expect_line '^PASS$' "whole registry after the fix: only the fixed rows' entries are gone"
# The rows left are links the fix keeps; deleting their targets may take
# them out of a new scan, but nothing fixed may come back.
scan_dir="$WINEPREFIX/drive_c/scan"
if [ -f "$scan_dir/rescan.tsv" ] &&
   [ -z "$(grep -vxFf "$scan_dir/left.tsv" "$scan_dir/rescan.tsv")" ]; then
  pass "a scan after the fix finds only rows the fix left ($(wc -l < "$scan_dir/rescan.tsv") of ${left:-?})"
else
  fail "a scan after the fix finds rows the fix did not leave:"
  grep -vxFf "$scan_dir/left.tsv" "$scan_dir/rescan.tsv" 2>&1 | sed 's/^/    /'
fi
expect_line '^exited 0$' "exit after the fix"
today="$(date +%-d/%-m/%Y)"
if [ "$(cat "$config/TavikBackupTime.tvk" 2>/dev/null)" = "$today" ]; then
  pass "the backup dated its hives $today"
else
  fail "backup time file: '$(cat "$config/TavikBackupTime.tvk" 2>&1)', expected $today"
fi
saved=0
# Wine lets only these three hives be saved; a save that fails elsewhere
# would have left no date at all.
for hive in TavikRegCSoft TavikRegCSys TavikRegCDefault; do
  [ -s "$config/$hive.tvk" ] && saved=$((saved + 1))
done
if [ $saved -eq 3 ]; then
  pass "the backup saved the Software, System and .Default hives"
else
  fail "backup files in system32\\config:"; ls -l "$config"/*.tvk 2>&1 | sed 's/^/    /'
fi
end_session

# 5. The banner in the window, without the HTML engine (as above) and with
# it switched on: the program starts, scans and exits with the strip shown
# and no window of its own beside the main one.
overrides="$WINEDLLOVERRIDES"
for engine in off on; do
  new_prefix "$work/banner-$engine/prefix" "$template"
  begin_session "$work/banner-$engine/prefix"
  [ $engine = on ] && export WINEDLLOVERRIDES="mscoree="
  printf '%s\n' 'sleep 3000' window scan 'wait-for-status 120000' window exit |
    run_controller auto
  export WINEDLLOVERRIDES="$overrides"
  if [ "$(grep -c '^window: .* banner=1 windows=1 ' "$controller_out")" = 2 ]; then
    pass "banner with the HTML engine $engine: strip shown, no other window"
  else
    fail "banner with the HTML engine $engine:"; sed 's/^/    /' "$controller_out"
  fi
  expect_line "^status: Total Invalid Entries Found: [0-9]+    \$" \
    "banner with the HTML engine $engine: the scan reports"
  expect_line '^exited 0$' "banner with the HTML engine $engine: exit ends the program"
  end_session
done

# 6. A controller killed while it holds the mutex leaves it abandoned: the
# program takes it as its own, serves the tick and releases it, so a new
# controller attached to the running program scans and gets its status. A
# controller started while the program holds both names refuses them.
new_prefix "$work/link/prefix" "$template"
begin_session "$work/link/prefix"
printf '%s\n' scan 'wait-for-status 120000' abandon | run_controller auto
expect_line '^abandoned$' "a controller dies holding the mutex"
pid="$(sed -n 's/^started \([0-9]*\)$/\1/p' "$controller_out")"
run_controller auto < /dev/null
expect_line '^autofix-controller: the section or the mutex already exists$' \
  "a controller refuses names that already exist"
if grep -q '^started ' "$controller_out"; then
  fail "a controller started a program on names it did not create"
fi
printf '%s\n' scan 'wait-for-status 120000' exit | run_controller_as --attach "${pid:-0}"
expect_line '^status: Total Invalid Entries Found: [0-9]+    $' \
  "after an abandoned mutex a new controller scans and gets its status"
expect_line '^exited 0$' "after an abandoned mutex the exit request ends the program"
end_session

# 7. Objects under the link's names owned by Users, as another user squatting
# on them would leave them: the program runs interactively once its attempts
# to open the link are over.
begin_session "$work/link/prefix"
printf '%s\n' 'sleep 7000' window |
  run_controller_as --owner BU 'C:\tavik\Tavik Registry Cleaner.exe' auto
expect_line '^window: visible=1 scan=1 fix=1 stop=0 settings=1 exclude=1 restore=1 ' \
  "objects owned by Users: the program ignores them and runs interactively"
end_session

[ $failures -eq 0 ] && echo "all automation checks passed"
[ $failures -eq 0 ]
