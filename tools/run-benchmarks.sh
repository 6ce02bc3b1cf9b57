#!/usr/bin/env bash
# Runs the host benchmarks (built into build/bench by `make bench`) and the
# Wine benchmark, then prints one table of the figures. Set TAVIK_BENCH_WINE=0
# to skip the Wine part.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build/bench"
mkdir -p "$out"

echo "== Host benchmarks (in-memory registry and file system)"
"$out/bin/tavik_bench" --benchmark_out="$out/host.csv" \
  --benchmark_out_format=csv --benchmark_counters_tabular=true

wine_results="$out/wine-results.txt"
rm -f "$wine_results"
if [ "${TAVIK_BENCH_WINE:-1}" != "0" ]; then
  echo
  echo "== Wine benchmark"
  "$root/bench/wine/run.sh" "$wine_results" ||
    echo "The Wine benchmark failed; its figures are missing below." >&2
fi

# The CSV holds one row per benchmark; custom counters follow the fixed
# columns under their quoted names.
figure() {  # figure NAME COLUMN -> the value, or "-"
  awk -F, -v name="\"$1\"" -v column="$2" '
    NR == 1 { for (i = 1; i <= NF; i++) { h = $i; gsub(/"/, "", h); col[h] = i } next }
    $1 == name && (column in col) { print $col[column]; found = 1; exit }
    END { if (!found) print "-" }' "$out/host.csv"
}
ns() { awk -v v="$1" 'BEGIN { if (v == "-" || v == "") print "-"; else printf "%.1f ns", v * 1e9 }'; }
us() { awk -v v="$1" 'BEGIN { if (v == "-" || v == "") print "-"; else printf "%.2f us", v * 1e6 }'; }
ms_of() {  # real_time in the benchmark's unit -> ms
  awk -v v="$1" -v unit="$2" 'BEGIN {
    if (v == "-") { print "-"; exit }
    f = (unit == "ns") ? 1e-6 : (unit == "us") ? 1e-3 : (unit == "s") ? 1e3 : 1
    printf "%.1f ms", v * f }'
}

add100="BM_AddFindingOntoOneList/100000"
add200="BM_AddFindingOntoOneList/200000"
scan="BM_ScanStartupKeyOf100000Values"
none="BM_IsExcludedNoneMatching"
last="BM_IsExcludedLastMatching"
refs="BM_CheckFileReferenceMix"
row() { printf '%-52s %s\n' "$1" "$2"; }

echo
echo "== Summary"
row "Benchmark (host figures are CPU time)" "Figure"
row "AddFinding x100000 onto one list, per call" \
  "$(ns "$(figure "$add100" per_call)") (last tenth: $(ns "$(figure "$add100" last_10pct_per_call)"))"
row "AddFinding x200000 onto one list, per call" \
  "$(ns "$(figure "$add200" per_call)") (last tenth: $(ns "$(figure "$add200" last_10pct_per_call)"))"
row "IsExcluded, 1000 entries, none matching" \
  "$(us "$(awk -v t="$(figure "$none" cpu_time)" 'BEGIN { print (t == "-") ? "-" : t * 1e-6 }')") per call"
row "IsExcluded, 1000 entries, last one matching" \
  "$(us "$(awk -v t="$(figure "$last" cpu_time)" 'BEGIN { print (t == "-") ? "-" : t * 1e-6 }')") per call"
row "ScanStartupKey, 100000 values (half missing)" \
  "$(ms_of "$(figure "$scan" cpu_time)" "$(figure "$scan" time_unit)") per scan, $(ns "$(figure "$scan" per_value)") per value"
row "CheckFileReference, mixed texts" \
  "$(ns "$(figure "$refs" per_text)") per text ($(awk -v r="$(figure "$refs" items_per_second)" 'BEGIN { if (r == "-") print "-"; else printf "%.0f", r }') texts/s)"
if [ -f "$wine_results" ]; then
  while IFS=$'\t' read -r label value; do row "$label" "$value"; done <"$wine_results"
fi
