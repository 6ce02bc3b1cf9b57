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

for arguments in "--bogus" "scan" "--help extra" "-h -h" "--json --json" \
                 "--no-cache --no-cache" "--no-cache --help"; do
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

# Without the caches the report is the same, byte for byte.
cp "$work/out" "$work/cached"
scan --no-cache
[ $code -eq 0 ] || fail "--no-cache: exit code $code, expected 0"
cmp -s "$work/out" "$work/cached" || fail "--no-cache: the report differs from the cached scan's"
scan --no-cache --json
[ $code -eq 0 ] || fail "--no-cache --json: exit code $code, expected 0"
tail -n 1 "$work/out" | grep -q '^{"count":' || fail "--no-cache --json: no count line"

# Names that hold tabs, line breaks, quotes and non-ASCII letters, in a prefix
# of this test's own so that they reach no other test. The rows print them as
# stored; --json must keep every finding on one line with its names intact.
prefix="$(cd "$(dirname "$exe")/.." && pwd)/cli-prefix"
export WINEPREFIX="$prefix"
printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n%s\r\n%s\r\n%s\r\n%s\r\n%s\r\n' \
  '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]' \
  $'"tab\there"="C:\\\\Gone\\\\a.exe"' \
  '"line\nbreak"="C:\\Gone\\b.exe"' \
  '"quote\"d \\ back"="C:\\Gone\\c.exe"' \
  '"Ünïcödé 中文"="C:\\Gone\\d.exe"' \
  $'"x\\nInvalid Value\tHKEY_LOCAL_MACHINE\tFake\tRow"="C:\\\\Gone\\\\e.exe"' |
  iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$work/names.reg"
"$run" regedit /S "Z:${work//\//\\}\\names.reg" > /dev/null 2>&1 ||
  fail "regedit could not import the odd names"

scan
[ $code -eq 0 ] || fail "odd names: exit code $code, expected 0"
grep -qF $'\ttab\there' "$work/out" ||
  fail "odd names: the rows do not print the tab in a name as stored"
cp "$work/out" "$work/rows"

scan --json
[ $code -eq 0 ] || fail "--json: exit code $code, expected 0"
[ ! -s "$work/err" ] || fail "--json: something was printed on stderr"
if grep -q $'\r' "$work/out"; then fail "--json: the report holds carriage returns"; fi
rows_total="$(tail -n 1 "$work/rows" | grep -oE '[0-9]+')"
python3 - "$work/out" "$rows_total" <<'PY' || fail "--json: the report is not as expected (see above)"
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().split("\n")
assert lines[-1] == "", "the report does not end with a line break"
objects = [json.loads(line) for line in lines[:-1]]
*findings, summary = objects
assert summary == {"count": len(findings)}, f"summary {summary}, {len(findings)} findings"
assert summary["count"] == int(sys.argv[2]), f"rows count {sys.argv[2]}, json {summary}"
keys = ["type", "root", "path", "valueName", "category", "reason"]
for finding in findings:
    assert list(finding) == keys, f"keys of {finding}"
    reason = finding["reason"]
    assert list(reason) == ["kind", "detail"] and reason["kind"] and reason["detail"], \
        f"reason of {finding}"
run = [f for f in findings if f["root"] == "HKEY_CURRENT_USER" and
       f["path"] == "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"]
names = sorted(f["valueName"] for f in run)
expected = sorted(["tab\there", "line\nbreak", 'quote"d \\ back', "Ünïcödé 中文",
                   "x\nInvalid Value\tHKEY_LOCAL_MACHINE\tFake\tRow"])
assert names == expected, f"names {names!r}, expected {expected!r}"
for f in run:
    assert f["type"] == "Invalid Value" and f["category"] == "Startup", f
    assert f["reason"]["kind"] == "file-missing", f
    assert f["reason"]["detail"].startswith("C:\\Gone\\") and \
        f["reason"]["detail"].endswith(".exe was not found"), f
PY
unset WINEPREFIX

[ $failures -eq 0 ] && echo "all command-line checks passed"
[ $failures -eq 0 ]
