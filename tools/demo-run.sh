#!/usr/bin/env bash
# "make run": starts Tavik Registry Cleaner under Wine on the demo prefix.
# By default the prefix is build/demo/prefix, seeded once from
# tools/demo/demo.reg with stale entries of the value-list categories; with
# WINEPREFIX set, that prefix is used as it is (nothing is imported into it).
#
# With a display the window opens there for you to use (Fix deletes the
# checked entries of that prefix). Without one the window runs under Xvfb:
# one scan is driven through the automation link by autofix-controller.exe,
# the number of findings is printed and a screenshot of the window with its
# rows is written to build/demo/window.png.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${TAVIK_BIN_DIR:-$root/build/win64/bin}"
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
  echo "No display: running the window under Xvfb and scanning through the automation link."
  fd_file="$(mktemp)"
  Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp > "$fd_file" 2>/dev/null &
  xvfb=$!
  controller_pid=""
  cleanup() {
    [ -n "$controller_pid" ] && kill "$controller_pid" 2>/dev/null
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
  export WINEPREFIX="$root/build/demo/prefix"
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
  reg="$root/build/demo/demo-utf16.reg"
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

mkdir -p "$root/build/demo"
shot="$root/build/demo/window.png"
output="$root/build/demo/controller.txt"

# Show the window, scan, then hold it open long enough for the screenshot.
# (Output to a file, not a pipe: Wine's service processes inherit it.)
printf '%s\n' show scan 'wait-for-status 300000' window 'sleep 5000' exit |
  "$WINE" "Z:${controller//\//\\}" "$windows_exe" auto > "$output" 2>&1 &
controller_pid=$!
for _ in $(seq 3000); do
  grep -q '^window: ' "$output" 2>/dev/null && break
  kill -0 "$controller_pid" 2>/dev/null || break
  sleep 0.1
done
status_line="$(tr -d '\r' < "$output" | grep '^status: ' || true)"
if [ -z "$status_line" ]; then
  echo "the scan posted no status; the controller said:" >&2
  cat "$output" >&2
  exit 1
fi
count="$(sed -n 's/^status: Total Invalid Entries Found: \([0-9]*\) *$/\1/p' <<< "$status_line")"
sleep 1
window_id="$(xdotool search --name '^Tavik Registry Cleaner$' | head -n 1 || true)"
if [ -n "$window_id" ] && import -window "$window_id" "$shot" 2>/dev/null; then
  shot_note="$shot"
else
  shot_note="(no screenshot: the window was not found)"
fi
wait "$controller_pid" || true
controller_pid=""
echo "Findings: ${count:-?}"
echo "Screenshot: $shot_note"
