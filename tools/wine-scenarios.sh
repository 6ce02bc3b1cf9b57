#!/usr/bin/env bash
# Runs tavik-scan.exe under Wine on the scenarios of tests/scenarios and
# compares what each scenario adds to a clean prefix with its expected rows.
#
# Usage: tools/wine-scenarios.sh [--exe FILE] [--files-exe FILE] [--work DIR]
#                                [--baseline-only] [--compare-uncached] [NAME...]
#
# --compare-uncached scans each scenario a second time, in the same session,
# with "tavik-scan --no-cache", and fails unless both scans print the same
# bytes.
#
# A scenario is a folder tests/scenarios/NAME holding:
#   registry.reg  imported with regedit before the scan (UTF-8 or UTF-16LE)
#   files.txt     one Windows path (drive C:) per line, created as an empty
#                 file; a path ending in a backslash creates a folder; lines
#                 whose first non-blank character is # and blank lines are
#                 skipped; "PATH -> TARGET" saves a shell link to TARGET
#                 ("PATH ->" one without a path), and "<Recent>" at the start
#                 of a path stands for the user's Recent folder: such lines
#                 are made by tavik-scenario-files.exe (beside the program,
#                 or --files-exe) inside the prefix
#   exclude.txt   optional UTF-8 lines, written as "RCExclude.txt" (UTF-16LE
#                 with its byte-order mark, CR LF between lines) beside the
#                 program
#   expected.tsv  the rows tavik-scan prints, without the summary line, that
#                 the scenario adds to the rows of the clean prefix
#   expected-reasons.tsv
#                 optional: the same rows, each followed by a tab, its
#                 reason's kind, a tab and its detail, as "tavik-scan --json"
#                 gives them (a second scan of the same prefix), with the
#                 user's Recent folder written "<Recent>"
#
# A template prefix is made once under the work folder (default
# build/win64/scenarios) with the program at C:\tavik\tavik-scan.exe, and the
# rows of a scan of an empty scenario are kept as the baseline. Each scenario
# runs in its own copy of the template: binaries hard-linked, every other file
# (the registry files above all, which wineserver rewrites in place) copied.
# One persistent wineserver serves both the import and the scan, so values
# such as RunOnce entries are still there when the scan runs. The scan runs
# from C:\scan. The rows of the scenario minus the baseline rows (as a
# multiset, order kept) must equal expected.tsv. Never touches ~/.wine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
exe="$root/build/win64/bin/tavik-scan.exe"
files_exe=""
work="$root/build/win64/scenarios"
scenarios_dir="$root/tests/scenarios"
baseline_only=0
compare_uncached=0
names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe="$2"; shift 2 ;;
    --files-exe) files_exe="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --baseline-only) baseline_only=1; shift ;;
    --compare-uncached) compare_uncached=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) names+=("$1"); shift ;;
  esac
done

mkdir -p "$work"
work="$(cd "$work" && pwd)"
case "$work/" in
  "$root/build/"*) ;;
  *) echo "the work folder must lie under $root/build" >&2; exit 2 ;;
esac
[ -f "$exe" ] || { echo "no program at $exe (run make win64)" >&2; exit 2; }
[ -n "$files_exe" ] || files_exe="$(dirname "$exe")/tavik-scenario-files.exe"

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE="${WINE:-/usr/lib/wine/wine64}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver}"
unset WINEPREFIX

template="$work/template"
baseline="$work/baseline.tsv"
runs="$work/run"
summary_pattern='^Total Invalid Entries Found: [0-9]+    $'

copy_template() {
  "$root/tools/copy-prefix.sh" "$template" "$1"
}

# Maps a Windows path on drive C to its place under the prefix, reusing the
# existing folders whatever their case (Wine compares names without case).
unix_path() {
  local prefix="$1" windows="$2"
  if [[ ! "$windows" =~ ^[Cc]:\\ ]]; then
    echo "only paths on drive C: can be created: $windows" >&2
    return 1
  fi
  local rest="${windows:3}" dir="$prefix/drive_c" part entry found
  local -a parts
  IFS='\' read -r -a parts <<< "$rest"
  for part in "${parts[@]}"; do
    [ -n "$part" ] || continue
    found=""
    if [ -d "$dir" ]; then
      for entry in "$dir"/* "$dir"/.[!.]*; do
        [ -e "$entry" ] || continue
        if [ "${entry##*/},," = "${part,,}" ]; then found="$entry"; break; fi
      done
    fi
    dir="${found:-$dir/$part}"
  done
  printf '%s\n' "$dir"
}

# Lines that need the shell (links, the Recent folder) go to $3 for
# tavik-scenario-files.exe; the others are made here.
create_files() {
  local prefix="$1" list="$2" shell_list="$3" line path
  : > "$shell_list"
  while IFS= read -r line || [ -n "$line" ]; do
    line="${line%$'\r'}"
    [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
    if [[ "$line" == *"<Recent>"* || "$line" == *" ->"* ]]; then
      printf '%s\n' "$line" >> "$shell_list"
      continue
    fi
    path="$(unix_path "$prefix" "$line")" || return 1
    if [[ "$line" == *\\ ]]; then
      mkdir -p "$path"
    else
      mkdir -p "$(dirname "$path")"
      # Never truncate: an existing file may be shared with the template.
      [ -e "$path" ] || : > "$path"
    fi
  done < "$list"
}

# Writes a .reg file as UTF-16LE with its byte-order mark, the form regedit
# reads without depending on Wine's ANSI code page.
reg_as_utf16() {
  local source="$1" target="$2"
  if [ "$(head -c 2 "$source" | od -An -tx1 | tr -d ' ')" = "fffe" ]; then
    cp "$source" "$target"
  else
    { printf '\xff\xfe'
      sed '1s/^\xef\xbb\xbf//' "$source" | iconv -f UTF-8 -t UTF-16LE
    } > "$target"
  fi
}

write_exclude_file() {
  local source="$1" target="$2"
  { printf '\xff\xfe'
    sed '1s/^\xef\xbb\xbf//; s/\r$//' "$source" |
      awk 'NR > 1 { printf "\r\n" } { printf "%s", $0 }' |
      iconv -f UTF-8 -t UTF-16LE
  } > "$target"
}

# Runs one scan in a fresh copy of the template. $1: copy folder, $2:
# scenario folder (empty for the baseline), $3: file for the printed rows.
# Returns non-zero with a message when the scan could not be run.
scan_in_copy() {
  local copy="$1" scenario="$2" rows="$3"
  local prefix="$copy/prefix" status=0
  copy_template "$prefix"
  export WINEPREFIX="$prefix"
  "$WINESERVER" -p
  {
    local reg="$copy/import.reg"
    if [ -n "$scenario" ] && [ -f "$scenario/registry.reg" ]; then
      reg_as_utf16 "$scenario/registry.reg" "$reg"
    else
      printf 'Windows Registry Editor Version 5.00\r\n' > "$copy/empty.reg"
      reg_as_utf16 "$copy/empty.reg" "$reg"
    fi
    timeout 120 "$WINE" regedit /S "$(winpath "$reg")" > "$copy/regedit.log" 2>&1 ||
      { echo "regedit failed on $reg" >&2; status=1; }
    if [ $status -eq 0 ] && [ -n "$scenario" ] && [ -f "$scenario/files.txt" ]; then
      create_files "$prefix" "$scenario/files.txt" "$copy/shell-files.txt" || status=1
      if [ $status -eq 0 ] && [ -s "$copy/shell-files.txt" ]; then
        if [ ! -f "$files_exe" ]; then
          echo "no $files_exe to make the shell files" >&2; status=1
        else
          timeout 120 "$WINE" "$files_exe" "$(winpath "$copy/shell-files.txt")" \
            > "$copy/shell-files.log" 2>&1 ||
            { echo "tavik-scenario-files failed:" >&2; cat "$copy/shell-files.log" >&2; status=1; }
        fi
      fi
    fi
    rm -f "$prefix/drive_c/tavik/RCExclude.txt"
    if [ $status -eq 0 ] && [ -n "$scenario" ] && [ -f "$scenario/exclude.txt" ]; then
      write_exclude_file "$scenario/exclude.txt" "$prefix/drive_c/tavik/RCExclude.txt"
    fi
    if [ $status -eq 0 ]; then
      mkdir -p "$prefix/drive_c/scan"
      local code=0
      (cd "$prefix/drive_c/scan" &&
         timeout 120 "$WINE" 'C:\tavik\tavik-scan.exe' > "$copy/output.txt" 2> "$copy/stderr.txt") ||
        code=$?
      if [ $code -ne 0 ]; then
        echo "tavik-scan.exe ended with code $code:" >&2
        cat "$copy/stderr.txt" >&2
        status=1
      elif ! tail -n 1 "$copy/output.txt" | grep -Eq "$summary_pattern"; then
        echo "tavik-scan.exe printed no summary line; its output:" >&2
        cat "$copy/output.txt" >&2
        status=1
      else
        sed '$d' "$copy/output.txt" > "$rows"
        if [ -n "$scenario" ] && [ -f "$scenario/expected-reasons.tsv" ]; then
          (cd "$prefix/drive_c/scan" &&
             timeout 120 "$WINE" 'C:\tavik\tavik-scan.exe' --json \
               > "$copy/output.json" 2> "$copy/stderr-json.txt") ||
            { echo "tavik-scan.exe --json failed" >&2; status=1; }
        fi
        if [ $compare_uncached -eq 1 ] && [ -n "$scenario" ]; then
          (cd "$prefix/drive_c/scan" &&
             timeout 300 "$WINE" 'C:\tavik\tavik-scan.exe' --no-cache \
               > "$copy/output-uncached.txt" 2> "$copy/stderr-uncached.txt") ||
            { echo "tavik-scan.exe --no-cache failed" >&2; status=1; }
        fi
      fi
    fi
  } || status=1
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
  unset WINEPREFIX
  return $status
}

# Windows name of a host file, through Wine's Z: drive.
winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

# The template prefix with the current program, and the baseline rows.
prepare() {
  exec 8>"$work/.lock"
  flock 8
  if [ ! -f "$template/.tavik-settled" ]; then
    rm -rf "$template" "$baseline"
    "$root/tools/wine-prefix" "$template"
    # One full session, so that first-start work is done before the copies.
    WINEPREFIX="$template" "$WINE" reg query 'HKCU\Software' > /dev/null 2>&1 || true
    WINEPREFIX="$template" "$WINESERVER" -w
    rm -f "$template.lock"
    touch "$template/.tavik-settled"
  fi
  if ! cmp -s "$exe" "$template/drive_c/tavik/tavik-scan.exe"; then
    mkdir -p "$template/drive_c/tavik"
    rm -f "$template/drive_c/tavik/tavik-scan.exe" "$baseline"
    cp "$exe" "$template/drive_c/tavik/tavik-scan.exe"
  fi
  if [ ! -f "$baseline" ]; then
    if ! scan_in_copy "$runs/.baseline" "" "$baseline.new"; then
      echo "the baseline scan failed; see $runs/.baseline" >&2
      exit 1
    fi
    mv "$baseline.new" "$baseline"
    rm -rf "$runs/.baseline"
  fi
  flock -u 8
}

# The rows of the --json report $2 beyond the baseline rows $1, each with
# its reason's kind and detail, tab-separated, the Recent folder (Wine's
# C:\users\NAME\AppData\Roaming\Microsoft\Windows\Recent) written "<Recent>".
reasons_beyond_baseline() {
  python3 - "$1" "$2" <<'PY'
import collections, json, re, sys
sys.stdout.reconfigure(encoding="utf-8", newline="\n")
with open(sys.argv[1], encoding="utf-8") as f:
    left = collections.Counter(line.rstrip("\r\n") for line in f)
recent = re.compile(r"C:\\users\\[^\\]+\\(?:AppData\\Roaming\\Microsoft\\Windows\\)?Recent(?=\\|$)",
                    re.IGNORECASE)
with open(sys.argv[2], encoding="utf-8") as f:
    for line in f:
        finding = json.loads(line)
        if "count" in finding:
            continue
        row = "\t".join([finding["type"], finding["root"], finding["path"],
                         finding["valueName"] or "-------"])
        if left[row] > 0:
            left[row] -= 1
            continue
        reason = finding.get("reason", {})
        detail = recent.sub("<Recent>", reason.get("detail", ""))
        sys.stdout.write(f"{row}\t{reason.get('kind', '(none)')}\t{detail}\n")
PY
}

# Rows of $2 that $1 does not account for, each baseline row cancelling one
# equal row, in the order of $2.
rows_beyond_baseline() {
  awk -v FS='\n' 'NR == FNR { left[$0]++; next }
                  ($0 in left) && left[$0] > 0 { left[$0]--; next }
                  { print }' "$1" "$2"
}

# Compares the file $2 of run_scenario's $scenario (expected.tsv or
# expected-reasons.tsv) with what the scan gave in its $copy (actual.tsv or
# actual-reasons.tsv); $3 names the printed side, $4 what differs.
expect_same() {
  local name="$1" file="$2" printed="$3" what="$4"
  local actual="$copy/actual${file#expected}"
  sed 's/\r$//' "$scenario/$file" > "$copy/$file"
  if ! diff -u --label "$name/$file" --label "$name ($printed)" \
       "$copy/$file" "$actual" > "$copy/diff.txt"; then
    echo "FAIL $name: $what differ (- expected, + printed); files kept in $copy"
    cat "$copy/diff.txt"
    return 1
  fi
}

run_scenario() {
  local name="$1" scenario="$scenarios_dir/$1" copy="$runs/$1"
  # Its own copy, so that it may run beside the plain run of the scenario.
  [ $compare_uncached -eq 0 ] || copy="$runs/$1.caches-on-off"
  if [ ! -f "$scenario/expected.tsv" ]; then
    echo "FAIL $name: no $scenario/expected.tsv"
    return 1
  fi
  if ! scan_in_copy "$copy" "$scenario" "$copy/rows.tsv"; then
    echo "FAIL $name: the scan could not be run; files kept in $copy"
    return 1
  fi
  if [ $compare_uncached -eq 1 ] &&
     ! cmp -s "$copy/output.txt" "$copy/output-uncached.txt"; then
    echo "FAIL $name: the scans with and without the caches differ; files kept in $copy"
    diff -u --label "with caches" --label "without caches" \
      "$copy/output.txt" "$copy/output-uncached.txt" | head -40
    return 1
  fi
  rows_beyond_baseline "$baseline" "$copy/rows.tsv" > "$copy/actual.tsv"
  expect_same "$name" expected.tsv "rows beyond the baseline" rows || return 1
  if [ -f "$scenario/expected-reasons.tsv" ]; then
    reasons_beyond_baseline "$baseline" "$copy/output.json" > "$copy/actual-reasons.tsv"
    expect_same "$name" expected-reasons.tsv "reasons of tavik-scan --json" reasons ||
      return 1
  fi
  echo "PASS $name"
  rm -rf "$copy"
  return 0
}

prepare
[ $baseline_only -eq 1 ] && { echo "baseline: $(wc -l < "$baseline") rows"; exit 0; }

if [ ${#names[@]} -eq 0 ]; then
  for dir in "$scenarios_dir"/*/; do names+=("$(basename "$dir")"); done
fi
passed=0
failed=0
for name in "${names[@]}"; do
  if run_scenario "$name"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
if [ ${#names[@]} -gt 1 ]; then echo "$passed passed, $failed failed"; fi
[ $failed -eq 0 ]
