#!/usr/bin/env bash
# Wine benchmark: a prefix with 20000 startup, shared-DLL and font values
# (most naming missing files), timed with tavik-scan.exe and with a bare
# enumeration of the same keys (the floor). Writes "label<TAB>figure" lines to
# the file given as $1 and prints them too. Uses build/bench/wine-prefix only.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
results="${1:-$root/build/bench/wine-results.txt}"
results="$(realpath -m "$results")"
work="$root/build/bench/wine"
prefix="$root/build/bench/wine-prefix"
values="${TAVIK_BENCH_WINE_VALUES:-20000}"
rounds=3
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The Windows build, with the floor program that `make win64` leaves out.
make -C "$root" --no-print-directory win64 >/dev/null
cmake --build "$root/build/win64" --target tavik-enum-floor tavik-fix-bench >/dev/null
mkdir -p "$work"
"$root/tools/wine-prefix" "$prefix"

# One server for every Wine process below, so that none pays its start-up.
"$WINESERVER" -p
trap '"$WINESERVER" -k 2>/dev/null || true' EXIT

# The .reg: the three keys emptied and refilled, a tenth of the values
# naming files that exist in the prefix (created here), the rest missing.
reg="$work/values.reg"
rm -rf "$prefix/drive_c/benchfiles"
mkdir -p "$prefix/drive_c/benchfiles"
(cd "$prefix/drive_c/benchfiles" && for ((i = 0; i < values / 3 + 3; i += 10)); do
  printf -v n '%06d' "$i"; : >"app$n.exe"; : >"lib$n.dll"; : >"font$n.ttf"
done)
awk -v total="$values" 'BEGIN {
  run = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
  dlls = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
  fonts = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
  print "Windows Registry Editor Version 5.00\r"
  per = int(total / 3); rest = total - 2 * per
  printf "\r\n[-%s]\r\n[%s]\r\n", run, run
  for (i = 0; i < per; i++) {
    if (i % 10 == 0) cmd = sprintf("C:\\\\benchfiles\\\\app%06d.exe", i)
    else if (i % 2) cmd = sprintf("\\\"C:\\\\Program Files\\\\Gone%d\\\\app.exe\\\" /tray", i)
    else cmd = sprintf("%%ProgramFiles%%\\\\Gone\\\\tool%d.exe", i)
    printf "\"Entry%06d\"=\"%s\"\r\n", i, cmd
  }
  printf "\r\n[-%s]\r\n[%s]\r\n", dlls, dlls
  for (i = 0; i < per; i++) {
    if (i % 10 == 0) printf "\"C:\\\\benchfiles\\\\lib%06d.dll\"=dword:00000001\r\n", i
    else printf "\"C:\\\\Program Files\\\\Gone\\\\lib%06d.dll\"=dword:00000001\r\n", i
  }
  printf "\r\n[-%s]\r\n[%s]\r\n", fonts, fonts
  for (i = 0; i < rest; i++) {
    if (i % 10 == 0) printf "\"Bench %06d (TrueType)\"=\"C:\\\\benchfiles\\\\font%06d.ttf\"\r\n", i, i
    else printf "\"Bench %06d (TrueType)\"=\"gone%06d.ttf\"\r\n", i, i
  }
}' >"$reg"
start=$(date +%s%N)
"$WINE" regedit /S "Z:${reg//\//\\}"
import_ms=$(( ($(date +%s%N) - start) / 1000000 ))

# The programs, copied into the prefix as an installed copy would be.
mkdir -p "$prefix/drive_c/tavik"
cp "$root/build/win64/bin/tavik-scan.exe" "$root/build/win64/bin/tavik-enum-floor.exe" \
  "$root/build/win64/bin/tavik-fix-bench.exe" "$prefix/drive_c/tavik/"

# shellcheck source=timing.sh
source "$root/bench/wine/timing.sh"

# Scans run from a fixed folder of the prefix, which relative names are
# looked up in.
mkdir -p "$prefix/drive_c/scan"
cd "$prefix/drive_c/scan"
startup_ms=$(best_wall_ms "$rounds" "$WINE" 'C:\tavik\tavik-scan.exe' --help)
# The scan with and without the caches in interleaved rounds, so that both
# see the same machine load; each round's reports must be the same bytes.
on_times=() off_times=()
identical=yes
for _ in $(seq "$rounds"); do
  on_times+=("$(TAVIK_SCAN_CACHE_STATS=1 wall_ms "$work/scan-output.txt" "$work/cache-stats.txt" \
    "$WINE" 'C:\tavik\tavik-scan.exe')")
  off_times+=("$(wall_ms "$work/scan-output-uncached.txt" /dev/null \
    "$WINE" 'C:\tavik\tavik-scan.exe' --no-cache)")
  cmp -s "$work/scan-output.txt" "$work/scan-output-uncached.txt" || identical=NO
done
scan_ms=$(printf '%s\n' "${on_times[@]}" | median)
uncached_ms=$(printf '%s\n' "${off_times[@]}" | median)
stats=$(tr -d '\r' < "$work/cache-stats.txt" | sed -n 's/^cache: //p')
found=$(grep -a -o 'Total Invalid Entries Found: [0-9]*' "$work/scan-output.txt" | grep -o '[0-9]*$' || echo "?")
floor_wall_ms=$(best_wall_ms "$rounds" "$WINE" 'C:\tavik\tavik-enum-floor.exe' 1)
floor_line=$("$WINE" 'C:\tavik\tavik-enum-floor.exe' "$rounds" | tr -d '\r')
floor_values=$(sed -n 's/.*values=\([0-9]*\).*/\1/p' <<<"$floor_line")
floor_ms=$(sed -n 's/.*best_ms=\([0-9.]*\).*/\1/p' <<<"$floor_line")

# The fix of 10000 rows (key trees and values in turn) without and with its
# undo file, in interleaved rounds so that both see the same machine load;
# and the bare delete calls of the same entries.
fix_rows=10000
fix_times=() undo_times=() bare_times=()
for _ in $(seq "$rounds"); do
  line=$("$WINE" 'C:\tavik\tavik-fix-bench.exe' "$fix_rows" | tr -d '\r')
  fix_times+=("$(sed -n 's/.*fix_ms=\([0-9.]*\).*/\1/p' <<<"$line")")
  bare_times+=("$(sed -n 's/.*bare_ms=\([0-9.]*\).*/\1/p' <<<"$line")")
  line=$("$WINE" 'C:\tavik\tavik-fix-bench.exe' "$fix_rows" undo | tr -d '\r')
  undo_times+=("$(sed -n 's/.*fix_ms=\([0-9.]*\).*/\1/p' <<<"$line")")
done
fix_ms=$(printf '%s\n' "${fix_times[@]}" | median)
undo_ms=$(printf '%s\n' "${undo_times[@]}" | median)
bare_ms=$(printf '%s\n' "${bare_times[@]}" | median)
undo_added=$(awk -v a="$fix_ms" -v b="$undo_ms" 'BEGIN { printf "%+.1f%%", (b - a) * 100 / a }')

{
  printf 'Wine: fix of %s rows, key trees and values (median of %s)\t%s ms (bare delete calls: %s ms)\n' \
    "$fix_rows" "$rounds" "$fix_ms" "$bare_ms"
  printf 'Wine: the same fix with the undo file (median of %s)\t%s ms (%s)\n' \
    "$rounds" "$undo_ms" "$undo_added"
  printf 'Wine: regedit import of %s values\t%s ms\n' "$values" "$import_ms"
  printf 'Wine: tavik-scan.exe full scan, caches on (wall, median of %s)\t%s ms (%s findings)\n' \
    "$rounds" "$scan_ms" "$found"
  printf 'Wine: tavik-scan.exe full scan, caches off (wall, median of %s)\t%s ms (rows byte-identical: %s)\n' \
    "$rounds" "$uncached_ms" "$identical"
  printf 'Wine: the caches of that scan\t%s\n' "$stats"
  printf 'Wine: enumeration floor (wall)\t%s ms (%s values)\n' "$floor_wall_ms" "$floor_values"
  printf 'Wine: enumeration floor (in process)\t%s ms\n' "$floor_ms"
  printf 'Wine: process start (tavik-scan --help, wall)\t%s ms\n' "$startup_ms"
} | tee "$results"
