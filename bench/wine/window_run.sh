#!/usr/bin/env bash
# Wine benchmark of the window program: a scan whose findings fill the real
# results list (10000 and 100000 shared-DLL values naming missing files),
# timed from the automation link's scan request to its summary, with the
# longest stall of the window's user-interface thread meanwhile (the
# controller pings the window every 10 ms). tavik-scan.exe's time on the same
# registry is the scan without the list. At 10000 findings
# (TAVIK_BENCH_WINDOW_FIX_SIZE) the window then fixes every checked row
# through the real list view, the backup switched off so that only the fix
# is timed, from the fix request to its summary. Writes "label<TAB>figure" lines to
# $1 (default build/bench/window-results.txt) and prints them. Runs under
# its own Xvfb display in build/bench/window-prefix only.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
results="${1:-$root/build/bench/window-results.txt}"
work="$root/build/bench/window"
prefix="$root/build/bench/window-prefix"
sizes="${TAVIK_BENCH_WINDOW_SIZES:-10000 100000}"
fix_size="${TAVIK_BENCH_WINDOW_FIX_SIZE:-10000}"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

make -C "$root" --no-print-directory win64 >/dev/null
mkdir -p "$work"
"$root/tools/wine-prefix" "$prefix"
fd_file="$(mktemp)"
Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp > "$fd_file" 2>/dev/null &
xvfb=$!
trap '"$WINESERVER" -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -f "$fd_file"' EXIT
for _ in $(seq 50); do [ -s "$fd_file" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$fd_file")"
"$WINESERVER" -p

mkdir -p "$prefix/drive_c/tavik" "$prefix/drive_c/scan"
"$WINE" reg add 'HKLM\Software\Tavik Software\Registry Cleaner' /v CreateBackup /d 0 /f >/dev/null 2>&1
cp "$root/build/win64/bin/Tavik Registry Cleaner.exe" "$root/build/win64/bin/autofix-controller.exe" \
   "$root/build/win64/bin/tavik-scan.exe" "$prefix/drive_c/tavik/"

: > "$results"
for size in $sizes; do
  reg="$work/values-$size.reg"
  awk -v total="$size" 'BEGIN {
    dlls = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
    print "Windows Registry Editor Version 5.00\r"
    printf "\r\n[-%s]\r\n[%s]\r\n", dlls, dlls
    for (i = 0; i < total; i++)
      printf "\"C:\\\\Program Files\\\\Gone Bench\\\\lib%06d.dll\"=dword:00000001\r\n", i
  }' > "$reg"
  "$WINE" regedit /S "Z:${reg//\//\\}"

  start=$(date +%s%N)
  (cd "$prefix/drive_c/scan" && "$WINE" 'C:\tavik\tavik-scan.exe' > "$work/scan-$size.txt")
  scan_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  found=$(tr -d '\r' < "$work/scan-$size.txt" | sed -n 's/^Total Invalid Entries Found: \([0-9]*\).*/\1/p')

  commands=(scan 'watch-ui 1800000')
  [ "$size" = "$fix_size" ] && commands+=(fix 'watch-ui 1800000')
  (cd "$prefix/drive_c/scan" &&
     printf '%s\n' "${commands[@]}" exit |
     "$WINE" 'C:\tavik\autofix-controller.exe' 'C:\tavik\Tavik Registry Cleaner.exe' bench) \
    > "$work/window-$size.raw" 2>&1
  tr -d '\r' < "$work/window-$size.raw" > "$work/window-$size.txt"
  ui="$(grep -m 1 '^ui: ' "$work/window-$size.txt" || echo 'ui: none')"
  status="$(grep -m 1 '^status: ' "$work/window-$size.txt" || echo 'status: none')"
  stall=$(sed -n 's/.*longest-stall-ms=\([0-9.]*\).*/\1/p' <<< "$ui")
  elapsed=$(sed -n 's/.*elapsed-ms=\([0-9.]*\).*/\1/p' <<< "$ui")
  {
    printf 'Wine: window scan of %s findings, request to summary\t%s ms (%s)\n' \
      "$size" "${elapsed:-?}" "${status#status: }"
    printf 'Wine: tavik-scan.exe on the same registry (wall, no list)\t%s ms (%s findings)\n' \
      "$scan_ms" "${found:-?}"
    printf 'Wine: longest user-interface stall during that scan\t%s ms\n' "${stall:-?}"
    if [ "$size" = "$fix_size" ]; then
      fix_ui="$(grep '^ui: ' "$work/window-$size.txt" | sed -n 2p)"
      fix_status="$(grep '^status: ' "$work/window-$size.txt" | sed -n 2p)"
      printf 'Wine: window fix of %s checked rows, request to summary\t%s ms (%s)\n' "$size" \
        "$(sed -n 's/.*elapsed-ms=\([0-9.]*\).*/\1/p' <<< "$fix_ui")" "${fix_status#status: }"
      printf 'Wine: longest user-interface stall during that fix\t%s ms\n' \
        "$(sed -n 's/.*longest-stall-ms=\([0-9.]*\).*/\1/p' <<< "$fix_ui")"
    fi
  } | tee -a "$results"
done
