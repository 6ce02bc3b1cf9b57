#!/usr/bin/env bash
# The command line of tavik-scan.exe under Wine: help, usage errors and the
# shape of its report (UTF-8 bytes, "\n" line ends, the summary line last).
# Usage: tests/win32/tavik_scan_cli_test.sh path/to/tavik-scan.exe
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
exe="$1"
run="$root/tools/wine-run"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs the program with the given arguments; sets code, out and err.
scan() {
  code=0
  "$run" "$exe" "$@" > "$work/out" 2> "$work/err" || code=$?
}

for help in --help -h '-?'; do
  scan "$help"
  [ $code -eq 0 ] || fail "$help: exit code $code, expected 0"
  for phrase in "RCExclude.txt" "Software\\Tavik Software\\Registry Cleaner" \
                "nothing is deleted"; do
    grep -qF "$phrase" "$work/out" || fail "$help: the help does not mention $phrase"
  done
done

for arguments in "--bogus" "scan" "--help extra" "-h -h"; do
  # shellcheck disable=SC2086
  scan $arguments
  [ $code -eq 2 ] || fail "'$arguments': exit code $code, expected 2"
  [ -s "$work/err" ] || fail "'$arguments': no message on stderr"
  [ ! -s "$work/out" ] || fail "'$arguments': something was printed on stdout"
done

scan
[ $code -eq 0 ] || fail "scan: exit code $code, expected 0"
if grep -q $'\r' "$work/out"; then fail "scan: the report holds carriage returns"; fi
iconv -f UTF-8 -t UTF-8 "$work/out" > /dev/null 2>&1 || fail "scan: the report is not UTF-8"
last="$(tail -n 1 "$work/out")"
[[ "$last" =~ ^Total\ Invalid\ Entries\ Found:\ ([0-9]+)\ \ \ \ $ ]] ||
  fail "scan: last line is not the summary: '$last'"
rows=$(($(wc -l < "$work/out") - 1))
[ "${BASH_REMATCH[1]:-x}" = "$rows" ] ||
  fail "scan: the summary counts ${BASH_REMATCH[1]:-?} entries, $rows rows printed"
if sed '$d' "$work/out" | grep -vqE $'^Invalid (Key|Value)\tHKEY_(CLASSES_ROOT|CURRENT_USER|LOCAL_MACHINE)\t[^\t]+\t[^\t]+$'; then
  fail "scan: a row is not Type, Root Key, Path and Value Name"
fi

[ $failures -eq 0 ] && echo "all command-line checks passed"
[ $failures -eq 0 ]
