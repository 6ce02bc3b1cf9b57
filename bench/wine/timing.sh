# Wall-clock helpers of the Wine benchmarks (sourced, not run). They write
# into "$work", which the sourcing script sets.

# best_wall_ms ROUNDS COMMAND...: the shortest wall time of ROUNDS runs, in
# ms; the output of the last run is kept in last-output.txt.
best_wall_ms() {
  local best="" t rounds="$1"
  shift
  for _ in $(seq "$rounds"); do
    t=$(date +%s%N)
    "$@" >"$work/last-output.txt"
    t=$(( ($(date +%s%N) - t) / 1000000 ))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

# wall_ms OUT ERR COMMAND...: the wall time of one run, in ms.
wall_ms() {
  local t out="$1" err="$2"
  shift 2
  t=$(date +%s%N)
  "$@" >"$out" 2>"$err"
  echo $(( ($(date +%s%N) - t) / 1000000 ))
}

# The median of the numbers on standard input, one per line.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
