#!/usr/bin/env bash
# Opens the built help file in Wine's hh.exe on a private Xvfb display and
# saves a picture of the screen. Usage:
#   tools/help-screenshot.sh build/win64/bin/help/Registry_Cleaner.chm out.png
# Needs imagemagick (tools/install-deps.sh --screenshots). Uses its own Wine
# prefix below build/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
chm="$(realpath "$1")"; out="$(realpath -m "$2")"
export WINEPREFIX="$root/build/wine/help-prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
"$root/tools/wine-prefix" "$WINEPREFIX"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 2
export DISPLAY="$display"
/usr/lib/wine/wine64 hh.exe "$(/usr/lib/wine/wine64 winepath -w "$chm" 2>/dev/null)" &
sleep "${HELP_SCREENSHOT_WAIT:-12}"
# The screen without the empty desktop around the help window.
import -display "$display" -window root png:- | convert png:- -trim +repage "$out"
echo "wrote $out"
