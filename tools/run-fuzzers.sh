#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang into build/fuzz and
# runs each for FUZZ_SECONDS (default 60). Corpora grow under
# build/fuzz/corpus/<target>, seeded from tests/fuzz/seeds/<target>; inputs
# that crash, hang, leak or trip a sanitizer land in
# build/fuzz/artifacts/<target>/. Exits 1 when any target found something.
# Usage: tools/run-fuzzers.sh [target...]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
seconds="${FUZZ_SECONDS:-60}"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/tests/fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# The core libraries are instrumented too, so that coverage guides the
# fuzzers through them and the sanitizers watch them.
cmake -S "$root" -B "$build" -DTAVIK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" >/dev/null || exit 2
mkdir -p "$build/logs"
if ! cmake --build "$build" -j 2 --target "${targets[@]}" >"$build/logs/build.log" 2>&1; then
  tail -30 "$build/logs/build.log"; exit 2
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
summary=()
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  rm -rf "$artifacts"  # the log of the run that wrote them says what they were
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/")
  [ -f "$root/tests/fuzz/$target.dict" ] && args+=(-dict="$root/tests/fuzz/$target.dict")
  seeds=()
  [ -d "$root/tests/fuzz/seeds/$target" ] && seeds=("$root/tests/fuzz/seeds/$target")
  echo "== $target (${seconds} s)"
  "$build/bin/$target" "${args[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  found=$(find "$artifacts" -type f | wc -l)
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    grep -E 'ERROR: |SUMMARY: |runtime error|Test unit written' "$log" | head -5
  fi
  summary+=("$(printf '%-22s exit %-3s execs %-10s corpus %-6s findings %s' \
    "$target" "$status" "${runs:-?}" "$(find "$corpus" -type f | wc -l)" "$found")")
done
echo
echo "== Fuzz summary (logs in build/fuzz/logs, findings in build/fuzz/artifacts)"
printf '%s\n' "${summary[@]}"
exit "$failed"
