#!/usr/bin/env bash
# "make run": scans a Wine prefix with tavik-scan.exe and prints what it found.
# By default the prefix is build/demo/prefix, seeded once from
# tools/demo/demo.reg with stale entries of the value-list categories; with
# WINEPREFIX set, that prefix is scanned as it is (nothing is imported into
# it). tavik-scan only reports: it never deletes anything.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
exe="${TAVIK_SCAN_EXE:-$root/build/win64/bin/tavik-scan.exe}"
[ -f "$exe" ] || { echo "no program at $exe (run make win64)" >&2; exit 2; }

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE="${WINE:-/usr/lib/wine/wine64}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver}"

seed=0
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$root/build/demo/prefix"
  seed=1
fi
echo "Wine prefix: $WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the prefix (takes a little while the first time)..."
fi
"$root/tools/wine-prefix" "$WINEPREFIX"

# One wineserver for the import and the scan: it stays up a few seconds after
# its last program, so a RunOnce entry imported here is still there to scan.
"$WINESERVER" -p10 2>/dev/null || true

marker="$WINEPREFIX/.tavik-demo-seeded"
if [ $seed -eq 1 ] && [ ! -f "$marker" ]; then
  echo "Importing the demo entries of tools/demo/demo.reg..."
  reg="$root/build/demo/demo-utf16.reg"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$root/tools/demo/demo.reg"; } > "$reg"
  "$WINE" regedit /S "Z:${reg//\//\\}"
  touch "$marker"
fi

windows_exe="Z:${exe//\//\\}"
echo "Running $windows_exe"
echo "(exclude file: $(dirname "$exe")/RCExclude.txt; settings: HKEY_LOCAL_MACHINE\\Software\\Tavik Software\\Registry Cleaner)"
echo
output="$(mktemp)"
trap 'rm -f "$output"' EXIT
status=0
"$WINE" "$windows_exe" > "$output" || status=$?
cat "$output"
if [ $status -ne 0 ]; then
  echo "tavik-scan.exe ended with code $status" >&2
  exit $status
fi
echo
echo "Columns: Type, Root Key, Path, Value Name (tab-separated). Nothing was deleted."
