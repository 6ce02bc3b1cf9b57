#!/usr/bin/env bash
# The banner hosted alone in a window under Wine and Xvfb: with the browser
# control but no HTML engine (the test prefixes run without one), with the
# engine switched on, without the browser control, and without the ATL
# container library. Each run must
# finish on its own, leave the strip in place and show no window of its own.
# Usage: tests/win32/banner_host_test.sh path/to/tavik-banner-host.exe
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
exe="$1"
export WINEPREFIX="$root/build/wine/banner-prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
"$root/tools/wine-prefix" "$WINEPREFIX"
failures=0

# host LABEL EXPECTED_CODE DLL_OVERRIDES ARGUMENTS...
host() {
  local label="$1" expected="$2" overrides="$3"; shift 3
  echo "== $label"
  # The Wine session ends inside the display's lifetime, so that no Wine
  # process is left talking to a display that is gone.
  WINEDLLOVERRIDES="$overrides" timeout -k 10 120 xvfb-run -a sh -c \
    '/usr/lib/wine/wine64 "$0" "$@"; code=$?; /usr/lib/wine/wineserver -k; exit $code' \
    "$exe" "$@"
  local code=$?
  /usr/lib/wine/wineserver -w 2>/dev/null
  if [ $code -ne "$expected" ]; then
    echo "FAIL: $label: exit code $code, expected $expected"
    failures=$((failures + 1))
  fi
}

host "browser control without an HTML engine" 0 "mscoree,mshtml=" --expect-browser
# The HTML engine switched on: Wine's Gecko where it is installed, otherwise
# an engine that fails to start.
host "browser control with the HTML engine switched on" 0 "mscoree=" --expect-browser
host "no browser control" 0 "mscoree,mshtml,ieframe,shdocvw=" --expect-no-browser
host "no ATL container library" 0 "mscoree,mshtml,atl=" --expect-no-browser
# Links in the banner's page, through the real control's BeforeNavigate2: a
# marked web address reaches the default browser without its marker; marked
# files and programs reach nothing.
host "marked web link" 0 "mscoree,mshtml=" --expect-browser --seconds 2 \
  --navigate "https://www.example.com/offer-Default-Browser-Tavik?x=1" \
  --expect-opened "https://www.example.com/offer"
host "marked file link" 0 "mscoree,mshtml=" --expect-browser --seconds 2 \
  --navigate "file:///C:/windows/notepad.exe-default-browser-tavik" \
  --expect-nothing-opened
host "marked program path" 0 "mscoree,mshtml=" --expect-browser --seconds 2 \
  --navigate 'C:\windows\system32\cmd.exe-default-browser-tavik' \
  --expect-nothing-opened

# The watch itself: a message box raised while the banner loads is caught.
host "a message box is noticed" 1 "mscoree,mshtml=" --self-check --seconds 1

[ $failures -eq 0 ] && echo "banner host: all runs passed"
exit $((failures > 0))
