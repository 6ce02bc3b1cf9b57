#!/usr/bin/env bash
# Runs the host benchmarks (built into build/bench by `make bench`) and the
# Wine benchmark, then prints one table of the figures (formatted by
# python3). Set TAVIK_BENCH_WINE=0 to skip the Wine part.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build/bench"
mkdir -p "$out"

echo "== Host benchmarks (in-memory registry and file system)"
"$out/bin/tavik_bench" --benchmark_out="$out/host.json" \
  --benchmark_out_format=json

wine_results="$out/wine-results.txt"
rm -f "$wine_results"
if [ "${TAVIK_BENCH_WINE:-1}" != "0" ]; then
  echo
  echo "== Wine benchmark"
  "$root/bench/wine/run.sh" "$wine_results" ||
    echo "The Wine benchmark failed; its figures are missing below." >&2
  echo
  echo "== Wine full-scan benchmark"
  # About 7000 findings over all ten categories at 0.2.
  base="${TAVIK_BENCH_WINE_SCALE:-0.2}"
  TAVIK_BENCH_WINE_SCALE="$base" "$root/bench/wine/full_scan.sh" "$wine_results" ||
    echo "The Wine full-scan benchmark failed; its figures are missing below." >&2
  # Growth: the same registry at two and four times its size, caches on.
  for times in 2 4; do
    echo
    echo "== Wine full-scan benchmark, x$times"
    TAVIK_BENCH_WINE_SCALE=$(awk -v b="$base" -v t="$times" 'BEGIN { print b * t }') \
    TAVIK_BENCH_WINE_TAG="-x$times" TAVIK_BENCH_WINE_UNCACHED=0 \
      "$root/bench/wine/full_scan.sh" "$wine_results" ||
      echo "The Wine full-scan benchmark x$times failed." >&2
  done
  echo
  echo "== Wine benchmark of the window program"
  if "$root/bench/wine/window_run.sh" "$out/window-results.txt"; then
    cat "$out/window-results.txt" >> "$wine_results"
  else
    echo "The window benchmark failed; its figures are missing below." >&2
  fi
fi

# One table of every figure: the host ones from the benchmark's JSON (CPU
# time), then the Wine ones as run.sh wrote them.
python3 - "$out/host.json" "$wine_results" <<'PY'
import json, os, sys

runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("run_type", "iteration") == "iteration"}
scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

def seconds(name, field="cpu_time"):
    run = runs.get(name)
    return None if run is None else run[field] * scale[run["time_unit"]]

def counter(name, key):
    run = runs.get(name)
    return None if run is None or key not in run else run[key]

def show(value, unit):
    if value is None:
        return "-"
    factor = {"ns": 1e9, "us": 1e6, "ms": 1e3}[unit]
    return f"{value * factor:.1f} {unit}"

add = "BM_AddFindingOntoOneList/"
rows = [
    ("AddFinding x100000 onto one list, per call",
     f"{show(counter(add + '100000', 'per_call'), 'ns')} "
     f"(last tenth: {show(counter(add + '100000', 'last_10pct_per_call'), 'ns')})"),
    ("AddFinding x200000 onto one list, per call",
     f"{show(counter(add + '200000', 'per_call'), 'ns')} "
     f"(last tenth: {show(counter(add + '200000', 'last_10pct_per_call'), 'ns')})"),
    ("IsExcluded, 1000 entries, none matching",
     show(seconds("BM_IsExcludedNoneMatching"), "us") + " per call"),
    ("IsExcluded, 1000 entries, last one matching",
     show(seconds("BM_IsExcludedLastMatching"), "us") + " per call"),
    ("ScanStartupKey, 100000 values (half missing)",
     f"{show(seconds('BM_ScanStartupKeyOf100000Values'), 'ms')} per scan, "
     f"{show(counter('BM_ScanStartupKeyOf100000Values', 'per_value'), 'ns')} per value"),
    ("CheckFileReference, mixed texts",
     f"{show(counter('BM_CheckFileReferenceMix', 'per_text'), 'ns')} per text"
     f" ({counter('BM_CheckFileReferenceMix', 'items_per_second') or 0:.0f} texts/s)"),
    ("Fix of 10000 checked rows (memory registry)",
     f"{show(seconds('BM_FixCheckedRows/10000/iterations:3'), 'ms')}, "
     f"{show(counter('BM_FixCheckedRows/10000/iterations:3', 'per_row'), 'us')} per row"),
    ("Fix of 100000 checked rows (memory registry)",
     f"{show(seconds('BM_FixCheckedRows/100000/iterations:3'), 'ms')}, "
     f"{show(counter('BM_FixCheckedRows/100000/iterations:3', 'per_row'), 'us')} per row"),
]
full = "BM_FullScan/"
for size in ("1", "2"):
    name = full + size + "/iterations:3"
    if name not in runs:
        continue
    rows.append((f"Full scan, synthetic registry x{size} ({counter(name, 'entries'):.0f} entries)",
                 f"{show(seconds(name), 'ms')} per scan, "
                 f"{counter(name, 'cpu_per_entry_ns'):.0f} ns CPU per entry, "
                 f"{counter(name, 'findings'):.0f} findings"))
    rows.append((f"Full scan x{size}: registry opens",
                 f"{counter(name, 'opens'):.0f} opens ({counter(name, 'failed_opens'):.0f} failed), "
                 f"{counter(name, 'keys_opened'):.0f} keys opened, "
                 f"{counter(name, 'opens_per_key'):.2f} opens per key, "
                 f"{counter(name, 'opens_per_entry'):.2f} per entry"))
    walk = "BM_ContainerWalkFloor/" + size + "/iterations:3"
    if walk in runs:
        rows.append((f"Full scan x{size}: floor, one bare walk of the containers",
                     f"{show(seconds(walk), 'ms')} ({counter(walk, 'keys'):.0f} keys, "
                     f"{counter(walk, 'values'):.0f} values)"))
one, two = (counter(full + s + "/iterations:3", "cpu_per_entry_ns") for s in ("1", "2"))
if one and two:
    rows.append(("Full scan: CPU per entry, x2 over x1", f"{two / one:.2f} (1.00 = linear)"))
for size, caches in (("1", "0"), ("1", "1"), ("2", "1"), ("4", "1")):
    name = f"BM_FullScanCaches/{size}/{caches}/iterations:2"
    if name not in runs:
        continue
    texts = counter(name, "judged_texts") or 1
    rows.append((f"Full scan x{size}, caches {'on' if caches == '1' else 'off'}",
                 f"{show(seconds(name, 'real_time'), 'ms')} per scan, "
                 f"{seconds(name, 'real_time') / texts * 1e6:.2f} us per judged text, "
                 f"{counter(name, 'file_calls_per_text'):.2f} file calls per text "
                 f"({counter(name, 'drive_types_per_text'):.2f} drive types, "
                 f"{counter(name, 'listings'):.0f} listings), "
                 f"{counter(name, 'registry_opens'):.0f} registry opens, "
                 f"{counter(name, 'findings'):.0f} findings"))
if os.path.exists(sys.argv[2]):
    rows += [tuple(line.rstrip("\n").split("\t", 1))
             for line in open(sys.argv[2]) if "\t" in line]
print()
print("== Summary")
width = max(len(label) for label, _ in rows) + 2
print("Benchmark".ljust(width) + "Figure")
for label, figure in rows:
    print(label.ljust(width) + figure)
PY
