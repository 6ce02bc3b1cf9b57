#!/usr/bin/env bash
# "make run": starts Tavik Registry Cleaner under Wine on the demo prefix.
# By default the prefix is build/demo/prefix, seeded once from
# tools/demo/demo.reg with stale entries of the value-list categories; with
# WINEPREFIX set, that prefix is used as it is (nothing is imported into it).
#
# With a display the window opens there for you to use (Fix deletes the
# checked entries of that prefix). Without one the window runs under Xvfb
# and is used as a person would: Scan is clicked, the summary box answered
# with OK, the number of findings printed and a screenshot of the window
# with its rows written to build/demo/window.png (TAVIK_DEMO_DIR moves
# build/demo). autofix-controller.exe only reads the window's controls and
# closes it at the end.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${TAVIK_BIN_DIR:-$root/build/win64/bin}"
demo="${TAVIK_DEMO_DIR:-$root/build/demo}"
exe="$bin/Tavik Registry Cleaner.exe"
controller="$bin/autofix-controller.exe"
for file in "$exe" "$controller"; do
  [ -f "$file" ] || { echo "no program at $file (run make win64)" >&2; exit 2; }
done

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE="${WINE:-/usr/lib/wine/wine64}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver}"

# Without a display the window runs under a private Xvfb, started before any
# Wine process so that the whole session (Wine's desktop included) uses it.
headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  echo "No display: running the window under Xvfb and pressing Scan in it."
  fd_file="$(mktemp)"
  Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp > "$fd_file" 2>/dev/null &
  xvfb=$!
  cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -f "$fd_file"
  }
  trap cleanup EXIT
  for _ in $(seq 50); do [ -s "$fd_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n 1 "$fd_file")"
fi

seed=0
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$demo/prefix"
  seed=1
fi
echo "Wine prefix: $WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the prefix (takes a little while the first time)..."
fi
# A server left from a session without this display would keep Wine's
# desktop on the wrong one.
[ $headless -eq 1 ] && { "$WINESERVER" -k 2>/dev/null || true; }
"$root/tools/wine-prefix" "$WINEPREFIX"
"$WINESERVER" -p10 2>/dev/null || true

marker="$WINEPREFIX/.tavik-demo-seeded"
if [ $seed -eq 1 ] && [ ! -f "$marker" ]; then
  echo "Importing the demo entries of tools/demo/demo.reg..."
  reg="$demo/demo-utf16.reg"
  mkdir -p "$(dirname "$reg")"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$root/tools/demo/demo.reg"; } > "$reg"
  "$WINE" regedit /S "Z:${reg//\//\\}"
  touch "$marker"
fi

windows_exe="Z:${exe//\//\\}"
if [ $headless -eq 0 ]; then
  echo "Starting $windows_exe on display $DISPLAY (close the window to end)."
  echo "(exclude file: $bin/RCExclude.txt; settings: HKEY_LOCAL_MACHINE\\Software\\Tavik Software\\Registry Cleaner)"
  exec "$WINE" "$windows_exe"
fi

mkdir -p "$demo"
shot="$demo/window.png"
inspect_out="$demo/inspect.txt"
title='Tavik Registry Cleaner'
windows_controller="Z:${controller//\//\\}"

# The visible windows captioned with the program's name (the main window and
# its message boxes), their controls and rows, into $inspect_out.
inspect() {
  "$WINE" "$windows_controller" --inspect "$title" 2>/dev/null | tr -d '\r' > "$inspect_out" || true
}
# Waits up to $2 seconds until the inspection shows a line matching $1.
wait_for() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    inspect
    grep -Eq -- "$1" "$inspect_out" && return 0
    sleep 0.3
  done
  return 1
}
# Clicks the middle of the first control numbered $1, as a person would.
click() {
  local x y w h
  read -r _ _ x y w h _ < <(awk -v id="$1" '$1 == "control" && $2 == id { print; exit }' "$inspect_out")
  xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
}
give_up() { echo "$1; the window showed:" >&2; cat "$inspect_out" >&2; exit 1; }

# Without a window manager Wine draws the frames and captions itself (for
# this run only: a setting of the prefix's own is left alone).
x11_key='HKCU\Software\Wine\X11 Driver'
own_setting=0
"$WINE" reg query "$x11_key" /v Decorated > /dev/null 2>&1 && own_setting=1
[ $own_setting -eq 1 ] || "$WINE" reg add "$x11_key" /v Decorated /d N /f > /dev/null 2>&1
"$WINE" "$windows_exe" > /dev/null 2>&1 &
program_pid=$!
wait_for '^control 1022 ' 120 || give_up "the window did not appear"
sleep 0.5  # a window that has just appeared may not take clicks yet
click 1022  # Scan
wait_for 'Total Invalid Entries Found: [0-9]+' 600 || give_up "no summary box after Scan"
count="$(sed -n 's/.*Total Invalid Entries Found: \([0-9]*\).*/\1/p' "$inspect_out" | head -n 1)"
sleep 0.3
click 1  # the summary box's OK
# Idle again, and the box gone (the repaint below goes to the first window
# with the program's caption).
deadline=$((SECONDS + 30))
until inspect; [ "$(grep -c '^window ' "$inspect_out")" = 1 ] &&
      grep -Eq '^control 1022 [0-9 ]+ 1 0 Scan' "$inspect_out"; do
  [ $SECONDS -lt $deadline ] || give_up "the window is not idle after the scan"
  sleep 0.3
done
# Let Wine give the window back its focus, repaint what the box covered,
# then photograph it once two pictures half a second apart agree.
sleep 1.5
"$WINE" "$windows_controller" --redraw "$title" > /dev/null 2>&1 || true
inspect
read -r _ _ x y w h < <(grep -m 1 '^window ' "$inspect_out")
shot_note="(no screenshot: the window could not be captured)"
previous=""
for _ in $(seq 20); do
  sleep 0.5
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot" 2>/dev/null || break
  current="$(md5sum < "$shot")"
  [ "$current" = "$previous" ] && { shot_note="$shot"; break; }
  previous="$current"
done
rows="$(grep -c '^row ' "$inspect_out" || true)"
# Close it like the caption's close button (SC_CLOSE), so it ends normally.
"$WINE" "$windows_controller" --syscommand "$title" 61536 > /dev/null 2>&1 || true
for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
[ $own_setting -eq 1 ] || "$WINE" reg delete "$x11_key" /v Decorated /f > /dev/null 2>&1 || true
echo "Findings: ${count:-?} (rows in the list: $rows)"
echo "Screenshot: $shot_note"
