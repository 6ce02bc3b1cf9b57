#!/usr/bin/env bash
# Wine full-scan benchmark: the synthetic registry of the host full-scan
# benchmark at a tenth of its size (2000 CLSIDs, 2000 ProgIDs, 500 file
# extensions, 200 uninstall entries, 500 application paths, 200 recent
# documents, a third of each broken) imported into a prefix of its own, with
# the files and shortcuts that make the rest valid; then tavik-scan.exe with
# every category on, timed beside a bare walk of the same containers (the
# floor). Appends "label<TAB>figure" lines to the file given as $1 and prints
# them. Uses build/bench/wine-full-prefix only.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
results="${1:-$root/build/bench/wine-results.txt}"
results="$(realpath -m "$results")"
scale="${TAVIK_BENCH_WINE_SCALE:-0.1}"
# TAVIK_BENCH_WINE_TAG names a prefix of its own (for the growth runs at
# other sizes); TAVIK_BENCH_WINE_UNCACHED=0 skips the scans without caches.
tag="${TAVIK_BENCH_WINE_TAG:-}"
uncached="${TAVIK_BENCH_WINE_UNCACHED:-1}"
work="$root/build/bench/wine-full$tag"
prefix="$root/build/bench/wine-full-prefix$tag"
rounds=3
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

generator="$root/build/bench/bin/tavik-bench-registry"
[ -x "$generator" ] || { echo "no $generator (run make bench)" >&2; exit 2; }
make -C "$root" --no-print-directory win64 >/dev/null
cmake --build "$root/build/win64" --target tavik-container-floor tavik-bench-shortcuts >/dev/null
mkdir -p "$work"
"$root/tools/wine-prefix" "$prefix"

"$WINESERVER" -p
trap '"$WINESERVER" -k 2>/dev/null || true' EXIT

# Windows path on drive C to its place in the prefix (Wine ignores case).
unix_path() {
  local rest="${1:3}"
  printf '%s/drive_c/%s\n' "$prefix" "${rest//\\//}"
}

recent="C:\\users\\$(id -un)\\AppData\\Roaming\\Microsoft\\Windows\\Recent"
"$generator" "$scale" "$recent" "$work" > "$work/generator.txt"
entries=$(sed -n 's/^entries=//p' "$work/generator.txt")

# The files: the bench folder is made afresh, so a run finds only its own.
rm -rf "$prefix/drive_c/BenchFiles"
while IFS= read -r path; do
  target="$(unix_path "$path")"
  if [[ "$path" == *\\ ]]; then mkdir -p "$target"
  else mkdir -p "$(dirname "$target")"; : > "$target"; fi
done < "$work/files.txt"
mkdir -p "$(unix_path "$recent")"
find "$(unix_path "$recent")" -name 'report*.lnk' -delete

start=$(date +%s%N)
"$WINE" regedit /S "Z:${work//\//\\}\\registry.reg"
import_ms=$(( ($(date +%s%N) - start) / 1000000 ))

mkdir -p "$prefix/drive_c/tavik"
for program in tavik-scan tavik-container-floor tavik-bench-shortcuts; do
  cp "$root/build/win64/bin/$program.exe" "$prefix/drive_c/tavik/"
done
links=$("$WINE" 'C:\tavik\tavik-bench-shortcuts.exe' "Z:${work//\//\\}\\shortcuts.txt" | tr -d '\r' || true)

# shellcheck source=timing.sh
source "$root/bench/wine/timing.sh"

# Scans run from a fixed folder of the prefix, which relative names are
# looked up in.
mkdir -p "$prefix/drive_c/scan"
cd "$prefix/drive_c/scan"
startup_ms=$(best_wall_ms "$rounds" "$WINE" 'C:\tavik\tavik-scan.exe' --help)
# With and without the caches in interleaved rounds; the reports of each
# round must be the same bytes.
on_times=() off_times=()
identical=yes
for _ in $(seq "$rounds"); do
  on_times+=("$(TAVIK_SCAN_CACHE_STATS=1 wall_ms "$work/scan-output.txt" "$work/cache-stats.txt" \
    "$WINE" 'C:\tavik\tavik-scan.exe')")
  if [ "$uncached" != "0" ]; then
    off_times+=("$(wall_ms "$work/scan-output-uncached.txt" /dev/null \
      "$WINE" 'C:\tavik\tavik-scan.exe' --no-cache)")
    cmp -s "$work/scan-output.txt" "$work/scan-output-uncached.txt" || identical=NO
  fi
done
scan_ms=$(printf '%s\n' "${on_times[@]}" | median)
uncached_ms="-"
[ "$uncached" = "0" ] || uncached_ms=$(printf '%s\n' "${off_times[@]}" | median)
stats=$(tr -d '\r' < "$work/cache-stats.txt" | sed -n 's/^cache: //p')
found=$(grep -a -o 'Total Invalid Entries Found: [0-9]*' "$work/scan-output.txt" | grep -o '[0-9]*$' || echo "?")
bench_found=$(grep -a -c -E 'BenchFiles|Bench\.|BE0C0000|\\bx[0-9]|BenchApp|bench[0-9]+\.exe|RecentDocs' \
  "$work/scan-output.txt" || true)
floor_wall_ms=$(best_wall_ms "$rounds" "$WINE" 'C:\tavik\tavik-container-floor.exe' 1)
floor_line=$("$WINE" 'C:\tavik\tavik-container-floor.exe' "$rounds" | tr -d '\r')
floor_keys=$(sed -n 's/.*keys=\([0-9]*\).*/\1/p' <<<"$floor_line")
floor_values=$(sed -n 's/.*values=\([0-9]*\).*/\1/p' <<<"$floor_line")
floor_ms=$(sed -n 's/.*best_ms=\([0-9.]*\).*/\1/p' <<<"$floor_line")

{
  printf 'Wine full: regedit import of %s entries (x%s)\t%s ms (%s)\n' \
    "$entries" "$scale" "$import_ms" "$links"
  printf 'Wine full x%s: tavik-scan.exe, every category, caches on (wall, median of %s)\t%s ms (%s findings, %s in the synthetic keys; %s us per entry)\n' \
    "$scale" "$rounds" "$scan_ms" "$found" "$bench_found" "$(( scan_ms * 1000 / entries ))"
  if [ "$uncached" != "0" ]; then
    printf 'Wine full x%s: tavik-scan.exe, every category, caches off (wall, median of %s)\t%s ms (rows byte-identical: %s)\n' \
      "$scale" "$rounds" "$uncached_ms" "$identical"
  fi
  printf 'Wine full x%s: the caches of that scan\t%s\n' "$scale" "$stats"
  printf 'Wine full: container walk floor (wall)\t%s ms (%s keys, %s values)\n' \
    "$floor_wall_ms" "$floor_keys" "$floor_values"
  printf 'Wine full: container walk floor (in process)\t%s ms\n' "$floor_ms"
  printf 'Wine full: process start (tavik-scan --help, wall)\t%s ms\n' "$startup_ms"
} | tee -a "$results"
