#!/usr/bin/env bash
# A fix killed midway under Wine loses nothing: every entry it deleted up to
# the kill is in its undo file, whole, and importing that file gives the
# registry back exactly.
#
# Usage: undo_kill_test.sh --undo TAVIK-UNDO-CHECK.exe --work DIR
#                          [--scenarios-work DIR]
#
# In a fresh copy of the template prefix that tools/wine-scenarios.sh leaves
# in its work folder (build/win64/scenarios), "tavik-undo-check bulk" adds
# generated key trees and values, dumps the whole registry and fixes them with
# an undo file. Once the file has grown past a few records the Wine process
# is killed (SIGKILL: no code of the program runs after it, as when the
# power fails or the task manager ends it). The wineserver lives on; the rows
# fixed are counted, the file's records are counted, regedit imports the
# file, and the registry is dumped again: it must equal the first dump byte
# for byte. The check fails unless the kill fell between the first and the
# last row. TAVIK_KILL_ROWS (default 4000) sets the number of rows,
# TAVIK_KILL_BYTES (default 150000) the file's size at the kill, and
# TAVIK_KILL_WITH=taskkill ends the program with "taskkill /F" (its
# TerminateProcess) instead of SIGKILL. Never touches ~/.wine.
set -euo pipefail

checker_option=--undo checker_exe=tavik-undo-check.exe
# shellcheck source=scanned_prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/scanned_prefix.sh"
prepare_scanned_prefix "$@"
rows="${TAVIK_KILL_ROWS:-4000}"
kill_bytes="${TAVIK_KILL_BYTES:-150000}"
mkdir -p "$prefix/drive_c/scan"

# The Undo folder's file once there is one.
undo_file() {
  local file
  for file in "$prefix"/drive_c/users/*/AppData/Local/"Tavik Software/Registry Cleaner/Undo"/fix-*.reg; do
    [ -f "$file" ] && { printf '%s\n' "$file"; return 0; }
  done
  return 1
}

# True while the process $1 runs (a child that ended stays a zombie until
# it is waited for).
running() {
  local state
  state="$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

kill_midway() {
  local pid code file="" size=0 deadline=$((SECONDS + 300))
  (cd "$prefix/drive_c/scan" &&
     exec "$WINE" 'C:\tavik\tavik-undo-check.exe' bulk "$rows" "$(winpath "$work/before.txt")") \
    > "$work/bulk.txt" 2>&1 &
  pid=$!
  while :; do
    if [ -z "$file" ]; then file="$(undo_file)" || file=""; fi
    if [ -n "$file" ]; then size="$(stat -c %s "$file")"; fi
    [ "$size" -lt "$kill_bytes" ] || break
    if ! running "$pid"; then
      wait "$pid" || true
      echo "FAIL the fix ended before the kill (undo file: ${size} bytes):"
      cat "$work/bulk.txt"
      return 1
    fi
    if [ $SECONDS -ge $deadline ]; then
      kill -KILL "$pid" 2>/dev/null || true
      echo "FAIL the undo file did not reach $kill_bytes bytes in time"
      return 1
    fi
    sleep 0.01
  done
  if [ "${TAVIK_KILL_WITH:-}" = taskkill ]; then
    "$WINE" taskkill /F /IM tavik-undo-check.exe > "$work/taskkill.log" 2>&1 ||
      { echo "FAIL taskkill failed:"; cat "$work/taskkill.log"; }
  else
    kill -KILL "$pid"
  fi
  code=0
  { wait "$pid"; } 2>/dev/null || code=$?
  tr -d '\r' < "$work/bulk.txt"
  # Only a run that ended on its own prints its last line.
  if grep -q '^the fix ended' "$work/bulk.txt"; then
    echo "FAIL the fix ended (code $code) before the kill"
    return 1
  fi
  cp "$file" "$work/undo.reg"
  echo "killed the fix (code $code) at $size bytes of undo file, $(stat -c %s "$file") after the kill"

  local left records
  (cd "$prefix/drive_c/scan" && timeout 120 "$WINE" 'C:\tavik\tavik-undo-check.exe' bulk-left "$rows") |
    tr -d '\r' | tee "$work/left.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || return 1
  left="$(sed -n 's/^fixed \([0-9]*\) of .*/\1/p' "$work/left.txt")"
  # One record per row: a tree's top key line, or a value line.
  records="$(iconv -f UTF-16 -t UTF-8 "$work/undo.reg" | tr -d '\r' |
               grep -cE '^\[HKEY_[A-Z_]+\\Software\\TavikUndoBulk\\Trees\\T[0-9]+\]$|^"Entry[0-9]+"=')" ||
    true
  echo "the undo file holds $records records; $left of $rows rows were fixed"
  if [ -z "$left" ] || [ "$left" -eq 0 ] || [ "$left" -ge "$rows" ]; then
    echo "FAIL the kill did not fall between the first and the last row"
    return 1
  fi
  # Every row fixed is in the file; at most one more was written and not yet
  # deleted, or was being deleted, at the kill.
  if [ "$records" -lt "$left" ] || [ "$records" -gt $((left + 1)) ]; then
    echo "FAIL $records records in the undo file for $left rows fixed"
    return 1
  fi

  import_undo_and_compare "$file"
}

status=0
kill_midway || status=1
finish_prefix_test $status
