#!/usr/bin/env bash
# The window program driven like a user, under Wine and Xvfb: xdotool clicks
# Scan, the summary box, Settings, the exclude list dialog and the "Exclude
# Key" menu, F1 with and without the help file, Restore Registry answered
# No; autofix-controller.exe --inspect reads the controls and the
# rows back; the rows must equal tavik-scan.exe's report of the same prefix.
# Runs at 96 and at 144 dots per inch and takes screenshots of the main
# window, the settings dialog and the exclude list dialog at both.
# Usage: app_window_test.sh PROGRAM CONTROLLER TAVIK_SCAN SCENARIO_WORK WORK
#                           [SCREENSHOT_DIR]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
program="$1" controller="$2" tavik_scan="$3" scenario_work="$4" work="$5"
shots="${6:-$work/screenshots}"
# shellcheck source=app_e2e_lib.sh
source "$root/tests/win32/app_e2e_lib.sh"
template="$scenario_work/template"
[ -f "$template/.tavik-settled" ] ||
  { echo "no scenario template at $template (run the scenario_baseline test)"; exit 1; }
case "$work/" in "$root/build/"*) ;; *) echo "work folder must lie under build/"; exit 2 ;; esac
mkdir -p "$work" "$shots"
inspect_out="$work/inspect.txt"
settings_key='HKLM\Software\Tavik Software\Registry Cleaner'
program_pid=""
trap 'end_session; stop_display' EXIT

# Lists the visible windows captioned $1 with their controls and rows.
inspect() {
  local status=0
  (cd "$WINEPREFIX/drive_c/scan" &&
     "$WINE" 'C:\tavik\autofix-controller.exe' --inspect "$1") > "$inspect_out.raw" 2>/dev/null ||
    status=$?
  tr -d '\r' < "$inspect_out.raw" > "$inspect_out"
  return $status
}
# Waits up to $3 s (default 30) until the windows captioned $1 show a line
# matching $2.
wait_for() {
  local deadline=$((SECONDS + ${3:-30}))
  while [ $SECONDS -lt $deadline ]; do
    inspect "$1" && grep -Eq -- "$2" "$inspect_out" && return 0
    sleep 0.3
  done
  return 1
}
# Waits up to 10 s until no window captioned $1 shows a line matching $2.
wait_gone() {
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt $deadline ]; do
    inspect "$1"
    grep -Eq -- "$2" "$inspect_out" || return 0
    sleep 0.3
  done
  return 1
}
# A control's line from the last inspection: "control ID L T W H EN CH TEXT".
control_line() { awk -v id="$1" '$1 == "control" && $2 == id { print; exit }' "$inspect_out"; }
# Clicks the centre of control $2 of the window captioned $1 (button $3).
click_control() {
  sleep 0.5  # a window that has just appeared may not take clicks yet
  # A busy Wine session may answer one inspection late or in part.
  wait_for "$1" "^control $2 " 10
  local line x y
  line="$(control_line "$2")"
  [ -n "$line" ] || { fail "no control $2 in '$1'"; return 1; }
  read -r _ _ x y w h _ <<< "$line"
  xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click "${3:-1}"
  sleep 0.3
}
# Checks "ENABLED CHECKED" of control $1 in the last inspection.
expect_control() {
  local line state
  line="$(control_line "$1")"
  state="$(awk '{ print $7, $8 }' <<< "$line")"
  if [ "$state" = "$2" ]; then pass "$3"; else fail "$3: control $1 is '$state', expected '$2'"; fi
}
# Screenshot of the window captioned $1 (the first listed) into $2.
screenshot() {
  # Repaint what a closed box covered before the picture is taken.
  (cd "$WINEPREFIX/drive_c/scan" &&
     "$WINE" 'C:\tavik\autofix-controller.exe' --redraw "$1") > /dev/null 2>&1
  sleep 1
  inspect "$1"
  local x y w h
  read -r _ _ x y w h <<< "$(grep -m 1 '^window ' "$inspect_out")"
  import -window root "$work/root-$(basename "$2")" 2>/dev/null
  cp "$inspect_out" "$work/inspect-$(basename "$2").txt"
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2" 2>/dev/null &&
    echo "screenshot: $2"
}
rows_of_inspection() { grep '^row ' "$inspect_out" | cut -d' ' -f9- ; }
exclude_file="" # set per prefix

run_at_dpi() {
  local dpi="$1" suffix="$2"
  start_display "$dpi"
  new_prefix "$work/dpi$dpi/prefix" "$template"
  begin_session "$work/dpi$dpi/prefix"
  exclude_file="$WINEPREFIX/drive_c/tavik/RCExclude.txt"
  import_reg "$root/tests/scenarios/app_window/registry.reg" || fail "import"
  # Wine draws the window frames itself (there is no window manager), at
  # the display's dots per inch.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f > /dev/null 2>&1
  "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null 2>&1
  "$WINE" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null 2>&1
  printf '\xff\xfe' > "$exclude_file"
  printf 'HKEY_CURRENT_USER\\Software\\Zeta' | iconv -f UTF-8 -t UTF-16LE >> "$exclude_file"
  cp "$tavik_scan" "$WINEPREFIX/drive_c/tavik/tavik-scan.exe"
  (cd "$WINEPREFIX/drive_c/scan" && "$WINE" 'C:\tavik\tavik-scan.exe') > "$work/report.raw" 2>/dev/null
  tr -d '\r' < "$work/report.raw" | sed '$d' > "$work/report-$dpi.tsv"
  (cd "$WINEPREFIX/drive_c/scan" && "$WINE" 'C:\tavik\tavik-scan.exe' --json) 2>/dev/null |
    tr -d '\r' > "$work/report-$dpi.json"
  local expected
  expected=$(wc -l < "$work/report-$dpi.tsv")

  (cd "$WINEPREFIX/drive_c/scan" && "$WINE" 'C:\tavik\Tavik Registry Cleaner.exe' > /dev/null 2>&1) &
  program_pid=$!
  if ! wait_for 'Tavik Registry Cleaner' '^control 1022 ' 60; then
    fail "[$dpi dpi] the main window did not appear"; return
  fi
  expect_control 1022 "1 0" "[$dpi dpi] Scan enabled at start"
  expect_control 1025 "0 0" "[$dpi dpi] Stop disabled at start"
  expect_control 1035 "1 1" "[$dpi dpi] backup box checked with nothing stored"

  # Layout: buttons of 105 by 25 layout units, spaced 107 apart.
  local scan fix want_w want_h
  scan="$(control_line 1022)"; fix="$(control_line 1023)"
  want_w=$(( (105 * dpi + 48) / 96 )); want_h=$(( (25 * dpi + 48) / 96 ))
  read -r _ _ sx _ sw sh _ <<< "$scan"; read -r _ _ fx _ _ _ _ <<< "$fix"
  if [ "$sw $sh" = "$want_w $want_h" ] && [ $((fx - sx)) -ge $(( (107 * dpi) / 96 - 1 )) ] &&
     [ $((fx - sx)) -le $(( (107 * dpi) / 96 + 1 )) ]; then
    pass "[$dpi dpi] Scan measures $sw by $sh pixels, Fix $((fx - sx)) pixels to its right"
  else
    fail "[$dpi dpi] Scan is $sw by $sh at $sx (Fix at $fx), expected $want_w by $want_h"
  fi

  click_control 'Tavik Registry Cleaner' 1022
  if wait_for 'Tavik Registry Cleaner' "Total Invalid Entries Found: $expected    \$" 180; then
    pass "[$dpi dpi] the summary box says $expected entries"
  else
    fail "[$dpi dpi] no summary box with $expected entries"; cat "$inspect_out"
  fi
  click_control 'Tavik Registry Cleaner' 1   # the box's OK
  wait_gone 'Tavik Registry Cleaner' 'Total Invalid Entries Found' ||
    fail "[$dpi dpi] the summary box did not close"
  wait_for 'Tavik Registry Cleaner' '^control 1022 [0-9 ]+ 1 0 Scan' 30 ||
    fail "[$dpi dpi] the window is not idle after the scan"
  inspect 'Tavik Registry Cleaner'
  if diff <(rows_of_inspection | cut -f1-4) "$work/report-$dpi.tsv" > "$work/rows-$dpi.diff"; then
    pass "[$dpi dpi] the list shows tavik-scan's rows in its order"
  else
    fail "[$dpi dpi] the list differs from tavik-scan's report:"; cat "$work/rows-$dpi.diff"
  fi
  if grep '^row ' "$inspect_out" | awk '$7 != 1 { bad = 1 } END { exit bad }'; then
    pass "[$dpi dpi] every row is checked"
  else
    fail "[$dpi dpi] a row is not checked"
  fi
  screenshot 'Tavik Registry Cleaner' "$shots/main-window$suffix.png"

  # Resting the pointer on a row shows why it is listed: the reason that
  # tavik-scan --json gives for the same row (under Wine, whose list view
  # never asks for info tips, the window's own tooltip shows it).
  local first_row want_tip shown_tip
  first_row="$(grep -m 1 '^row ' "$inspect_out")"
  read -r _ _ rx ry _ rh _ <<< "$first_row"
  want_tip="$(python3 -c 'import json, sys; print(json.loads(sys.stdin.readline())["reason"]["detail"])' \
                < "$work/report-$dpi.json")"
  xdotool mousemove --sync $((rx + 12)) $((ry + rh / 2))
  xdotool mousemove --sync $((rx + 14)) $((ry + rh / 2))
  if wait_for 'Tavik Registry Cleaner' '^tip .' 10; then
    shown_tip="$(sed -n 's/^tip //p' "$inspect_out")"
    [ -n "$want_tip" ] && [ "$shown_tip" = "$want_tip" ] &&
      pass "[$dpi dpi] the first row's tip says: $shown_tip" ||
      fail "[$dpi dpi] the first row's tip is '$shown_tip', expected '$want_tip'"
    read -r _ _ x y w h <<< "$(grep -m 1 '^window ' "$inspect_out")"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/info-tip$suffix.png" 2>/dev/null &&
      echo "screenshot: $shots/info-tip$suffix.png"
  else
    fail "[$dpi dpi] no tip while the pointer rests on the first row"
  fi
  xdotool mousemove --sync 0 0

  # Settings: untick "Scan Windows Fonts", OK writes all ten values.
  click_control 'Tavik Registry Cleaner' 1012
  wait_for 'Settings' '^control 1017 ' 30 || fail "[$dpi dpi] no settings dialog"
  screenshot 'Settings' "$shots/settings$suffix.png"
  click_control 'Settings' 1017
  click_control 'Settings' 1
  sleep 0.5
  "$WINE" reg query "$settings_key" 2>/dev/null | tr -d '\r' > "$work/settings-$dpi.txt"
  local stored
  stored="$(awk '$2 == "REG_SZ" { print $1 "=" $3 }' "$work/settings-$dpi.txt" | sort -n | tr '\n' ' ')"
  if [ "$stored" = "1=1 2=1 3=1 4=1 5=0 6=1 7=1 8=1 9=1 10=1 " ]; then
    pass "[$dpi dpi] Settings OK wrote all ten values"
  else
    fail "[$dpi dpi] Settings stored: $stored"
  fi

  # Exclude list: add, refuse a duplicate and an empty path, remove.
  click_control 'Tavik Registry Cleaner' 1021
  wait_for 'Exclude List' '^control 1029 ' 30 || fail "[$dpi dpi] no exclude list dialog"
  click_control 'Exclude List' 1026
  xdotool type --delay 30 'Software\Kept'
  click_control 'Exclude List' 1
  sleep 0.5
  screenshot 'Exclude List' "$shots/exclude-list$suffix.png"
  click_control 'Exclude List' 1026
  xdotool key ctrl+a; xdotool type --delay 30 'SOFTWARE\kept'
  click_control 'Exclude List' 1
  if wait_for 'Tavik Registry Cleaner' 'Already Present' 10; then
    pass "[$dpi dpi] a duplicate in another case is refused"
    click_control 'Tavik Registry Cleaner' 1
    wait_gone 'Tavik Registry Cleaner' 'Already Present' || fail "[$dpi dpi] the box stays"
  else
    fail "[$dpi dpi] no 'Already Present'"
  fi
  click_control 'Exclude List' 1026
  xdotool key ctrl+a BackSpace
  click_control 'Exclude List' 1
  if wait_for 'Tavik Registry Cleaner' 'No path entered to exclude' 10; then
    pass "[$dpi dpi] an empty path is refused"
    click_control 'Tavik Registry Cleaner' 1
    wait_gone 'Tavik Registry Cleaner' 'No path entered' || fail "[$dpi dpi] the box stays"
  else
    fail "[$dpi dpi] no 'No path entered to exclude'"
  fi
  local text
  text="$(iconv -f UTF-16LE -t UTF-8 "$exclude_file" | tr -d '\r' | tr '\n' '|')"
  [ "$text" = $'\ufeffHKEY_CURRENT_USER\\Software\\Zeta|HKEY_CLASSES_ROOT\\Software\\Kept' ] &&
    pass "[$dpi dpi] Add appended a line to the exclude file" ||
    fail "[$dpi dpi] exclude file after Add: $text"
  # The sorted list starts with the HKEY_CLASSES_ROOT entry: select it.
  inspect 'Exclude List'
  read -r _ _ lx ly _ _ _ <<< "$(control_line 1029)"
  xdotool mousemove --sync $((lx + 30)) $((ly + 8 * dpi / 96)) click 1
  click_control 'Exclude List' 1030
  sleep 0.5
  text="$(iconv -f UTF-16LE -t UTF-8 "$exclude_file" | tr -d '\r' | tr '\n' '|')"
  [ "$text" = $'\ufeffHKEY_CURRENT_USER\\Software\\Zeta' ] &&
    pass "[$dpi dpi] Remove rewrote the exclude file" ||
    fail "[$dpi dpi] exclude file after Remove: $text"
  click_control 'Exclude List' 1027

  # Exclude Key on the row of the suite's core.dll: every SharedDLLs row goes.
  inspect 'Tavik Registry Cleaner'
  local row key before removed
  row="$(grep -m 1 $'^row .*\tC:\\\\Gone Suite\\\\core.dll$' "$inspect_out")"
  if [ -z "$row" ]; then
    fail "[$dpi dpi] no row of core.dll"
  else
    read -r _ _ rx ry rw rh _ <<< "$row"
    key="$(cut -f2,3 <<< "${row#* * * * * * * * }" | tr '\t' '\\')"
    before=$(grep -c '^row ' "$inspect_out")
    removed=$(awk -F'\t' -v k="${key,,}" 'tolower($2 "\\" $3) ~ "^" { if (index(tolower($2 "\\" $3), k) == 1) n++ } END { print n + 0 }' "$work/report-$dpi.tsv")
    xdotool mousemove --sync $((rx + 10)) $((ry + rh / 2)) click 1
    xdotool click 3
    sleep 0.5
    xdotool key Down Return
    if wait_for 'Tavik Registry Cleaner' 'Added Key to the Exclude List' 10; then
      pass "[$dpi dpi] Exclude Key confirms"
      click_control 'Tavik Registry Cleaner' 1
      wait_gone 'Tavik Registry Cleaner' 'Added Key' || fail "[$dpi dpi] the box stays"
    else
      fail "[$dpi dpi] Exclude Key said nothing"
    fi
    inspect 'Tavik Registry Cleaner'
    local after
    after=$(grep -c '^row ' "$inspect_out")
    [ $((before - after)) -eq "$removed" ] && [ "$removed" -ge 2 ] &&
      pass "[$dpi dpi] Exclude Key removed the $removed rows under $key" ||
      fail "[$dpi dpi] Exclude Key removed $((before - after)) rows, expected $removed under $key"
    text="$(iconv -f UTF-16LE -t UTF-8 "$exclude_file" | tr -d '\r' | tr '\n' '|')"
    [ "$text" = $'\ufeffHKEY_CURRENT_USER\\Software\\Zeta|'"$key" ] &&
      pass "[$dpi dpi] Exclude Key appended one line" ||
      fail "[$dpi dpi] exclude file after Exclude Key: $text"
  fi

  # A double-click opens the row's key in the registry editor.
  if [ "$dpi" = 96 ]; then
    inspect 'Tavik Registry Cleaner'
    local first
    first="$(grep -m 1 '^row ' "$inspect_out")"
    read -r _ _ rx ry _ rh _ <<< "$first"
    key="$(cut -f2,3 <<< "${first#* * * * * * * * }" | tr '\t' '\\')"
    xdotool mousemove --sync $((rx + 10)) $((ry + rh / 2)) click --repeat 2 --delay 80 1
    if wait_for 'Registry Editor' '^window ' 15; then
      pass "[$dpi dpi] a double-click starts the registry editor"
    else
      fail "[$dpi dpi] no registry editor after a double-click"
    fi
    "$WINE" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Regedit' /v LastKey \
      > "$work/lastkey.raw" 2>/dev/null
    local stored_key
    stored_key="$(tr -d '\r' < "$work/lastkey.raw" | sed -n 's/^ *LastKey *REG_SZ *//p')"
    [ "$stored_key" = "Computer\\$key" ] &&
      pass "[$dpi dpi] LastKey names the row's key" ||
      fail "[$dpi dpi] LastKey is '$stored_key', expected 'Computer\\$key'"
    "$WINE" taskkill /F /IM regedit.exe > /dev/null 2>&1
    sleep 1
  fi

  # F1 asks for the help file, which this copy does not have.
  if [ "$dpi" = 96 ]; then
    click_control 'Tavik Registry Cleaner' 1002
    xdotool key F1
    if wait_for 'Tavik Registry Cleaner' 'Help not found\. Please re-install' 10; then
      pass "[$dpi dpi] F1 without a help file says so"
      click_control 'Tavik Registry Cleaner' 1
      wait_gone 'Tavik Registry Cleaner' 'Help not found' || fail "[$dpi dpi] the box stays"
    else
      fail "[$dpi dpi] F1 showed no message"
    fi
  fi

  # With the built help file beside the program, F1 opens it in Wine's
  # help viewer.
  local chm
  chm="$(dirname "$program")/help/Registry_Cleaner.chm"
  if [ "$dpi" = 96 ] && [ -s "$chm" ]; then
    mkdir -p "$WINEPREFIX/drive_c/tavik/help"
    cp "$chm" "$WINEPREFIX/drive_c/tavik/help/"
    click_control 'Tavik Registry Cleaner' 1002
    xdotool key F1
    if wait_for 'Tavik Registry Cleaner Help' '^window ' 30; then
      pass "[$dpi dpi] F1 opens help\\Registry_Cleaner.chm in the help viewer"
    else
      fail "[$dpi dpi] F1 with the help file opened no help window"
    fi
    inspect 'Tavik Registry Cleaner'
    grep -q 'Help not found' "$inspect_out" && fail "[$dpi dpi] 'Help not found' with the file present"
    "$WINE" taskkill /F /IM hh.exe > /dev/null 2>&1
    sleep 1
  elif [ "$dpi" = 96 ]; then
    fail "no built help file at $chm"
  fi

  # Restore Registry: without a backup it says so; with a backup's date it
  # asks, and No leaves the registry as it was.
  if [ "$dpi" = 96 ]; then
    local config="$WINEPREFIX/drive_c/windows/system32/config"
    mkdir -p "$config"
    rm -f "$config/TavikBackupTime.tvk"
    click_control 'Tavik Registry Cleaner' 1034
    if wait_for 'Tavik Registry Cleaner' 'Registry Backup not available\.' 10; then
      pass "[$dpi dpi] Restore Registry without a backup says so"
      click_control 'Tavik Registry Cleaner' 1
      wait_gone 'Tavik Registry Cleaner' 'Registry Backup not available' || fail "[$dpi dpi] the box stays"
    else
      fail "[$dpi dpi] Restore Registry without a backup said nothing"
    fi
    wait_for 'Tavik Registry Cleaner' '^control 1034 [0-9 ]+ 1 0 ' 10 ||
      fail "[$dpi dpi] Restore Registry is not enabled again"
    cp "$(dirname "$program")/tavik-fix-check.exe" "$WINEPREFIX/drive_c/tavik/"
    printf 'Invalid Key\tHKEY_LOCAL_MACHINE\tSoftware\\Tavik Nothing\t-------\n' \
      > "$WINEPREFIX/drive_c/scan/none.tsv"
    (cd "$WINEPREFIX/drive_c/scan" &&
       "$WINE" 'C:\tavik\tavik-fix-check.exe' --before none.tsv restore-state.txt) > /dev/null 2>&1
    printf '8/12/2026' > "$config/TavikBackupTime.tvk"
    click_control 'Tavik Registry Cleaner' 1034
    if wait_for 'Tavik Registry Cleaner' \
        'Registry Backup dated 8/12/2026 \(DD/MM/YYYY\) is available\. Do you want to restore Registry to specified date\?' 10; then
      pass "[$dpi dpi] Restore Registry asks with the backup's date"
      click_control 'Tavik Registry Cleaner' 7   # No
      wait_gone 'Tavik Registry Cleaner' 'Registry Backup dated' || fail "[$dpi dpi] the question stays"
    else
      fail "[$dpi dpi] Restore Registry did not ask"; cat "$inspect_out"
    fi
    if wait_for 'Tavik Registry Cleaner' '^control 1034 [0-9 ]+ 1 0 ' 10 &&
       [ "$(grep -c '^window ' "$inspect_out")" = 1 ]; then
      pass "[$dpi dpi] after No the window is idle under its own title"
    else
      fail "[$dpi dpi] after No: no idle window titled 'Tavik Registry Cleaner'"
    fi
    (cd "$WINEPREFIX/drive_c/scan" &&
       "$WINE" 'C:\tavik\tavik-fix-check.exe' --after restore-state.txt none.tsv 0) \
      > "$work/restore-check.raw" 2>/dev/null
    if tr -d '\r' < "$work/restore-check.raw" | grep -qx PASS; then
      pass "[$dpi dpi] the registry is unchanged after No"
    else
      fail "[$dpi dpi] the registry changed after No:"; tr -d '\r' < "$work/restore-check.raw"
    fi
    rm -f "$config/TavikBackupTime.tvk"
  fi

  # The About box, from the system menu's About item (command 16).
  if [ "$dpi" = 96 ]; then
    (cd "$WINEPREFIX/drive_c/scan" &&
       "$WINE" 'C:\tavik\autofix-controller.exe' --syscommand 'Tavik Registry Cleaner' 16) > /dev/null 2>&1
    if wait_for 'About Tavik Registry Cleaner' 'Tavik Registry Cleaner, Version 1.4' 10; then
      pass "[$dpi dpi] the About box names the version"
      screenshot 'About Tavik Registry Cleaner' "$shots/about$suffix.png"
      click_control 'About Tavik Registry Cleaner' 1
    else
      fail "[$dpi dpi] no About box"
    fi
  fi

  # Escape ends the window.
  click_control 'Tavik Registry Cleaner' 1002
  xdotool key Escape
  local waited=0
  while kill -0 "$program_pid" 2>/dev/null && [ $waited -lt 100 ]; do sleep 0.1; waited=$((waited + 1)); done
  if kill -0 "$program_pid" 2>/dev/null; then fail "[$dpi dpi] Escape did not end the program"; else pass "[$dpi dpi] Escape ends the program"; fi

  # An argument without a controller: after the link's retries (about 5 s
  # for the section) the window comes up interactive, without a message.
  if [ "$dpi" = 96 ]; then
    (cd "$WINEPREFIX/drive_c/scan" && "$WINE" 'C:\tavik\Tavik Registry Cleaner.exe' auto > /dev/null 2>&1) &
    program_pid=$!
    if wait_for 'Tavik Registry Cleaner' '^control 1022 ' 60; then
      expect_control 1022 "1 0" "[$dpi dpi] no controller: interactive, Scan enabled"
      [ "$(grep -c '^window ' "$inspect_out")" = 1 ] &&
        pass "[$dpi dpi] no controller: no message" || fail "[$dpi dpi] no controller: a box is shown"
      click_control 'Tavik Registry Cleaner' 1002
      xdotool key Escape
    else
      fail "[$dpi dpi] no controller: no window"
    fi
  fi
  end_session
  stop_display
}

run_at_dpi 96 ""
run_at_dpi 144 "-144dpi"

[ $failures -eq 0 ] && echo "all window checks passed"
[ $failures -eq 0 ]
