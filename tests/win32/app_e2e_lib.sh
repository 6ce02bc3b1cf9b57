# Shared helpers of the window program's Wine tests (sourced, not run).
# Each test works in fresh copies of the scenario template prefix (made by
# the scenario_baseline test) with the program and the controller in
# C:\tavik, under its own Xvfb display. Never touches ~/.wine or a user's
# display.

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE="${WINE:-/usr/lib/wine/wine64}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver}"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Starts a private Xvfb display (DPI in $1, default 96) and exports DISPLAY.
start_display() {
  local dpi="${1:-96}" fd_file
  fd_file="$(mktemp)"
  Xvfb -displayfd 1 -screen 0 1600x1000x24 -dpi "$dpi" -nolisten tcp \
    > "$fd_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$fd_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n 1 "$fd_file")"
  rm -f "$fd_file"
}
stop_display() { [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null; xvfb_pid=""; }

# A fresh prefix at $1 from the template $2 (binaries hard-linked, the
# registry files and everything else copied, since wineserver rewrites
# them in place), with the program and the controller in C:\tavik.
new_prefix() {
  local prefix="$1" template="$2"
  WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
  "$root/tools/copy-prefix.sh" "$template" "$prefix"
  rm -rf "$prefix/drive_c/tavik"
  mkdir -p "$prefix/drive_c/tavik" "$prefix/drive_c/scan"
  cp "$program" "$prefix/drive_c/tavik/Tavik Registry Cleaner.exe"
  cp "$controller" "$prefix/drive_c/tavik/autofix-controller.exe"
}

# Imports a UTF-8 .reg file into the running session's prefix.
import_reg() {
  local source="$1" target
  target="$(mktemp --suffix=.reg -p "$WINEPREFIX/drive_c")"
  { printf '\xff\xfe'; sed '1s/^\xef\xbb\xbf//' "$source" | iconv -f UTF-8 -t UTF-16LE; } > "$target"
  timeout 600 "$WINE" regedit /S "C:\\$(basename "$target")" > /dev/null 2>&1
  local status=$?
  rm -f "$target"
  return $status
}

# Starts one wineserver for the prefix $1 (which must exist: the server
# binds to its folder), kept alive across the programs.
begin_session() {
  export WINEPREFIX="$1"
  "$WINESERVER" -p < /dev/null > /dev/null 2>&1
}
end_session() {
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
}

# Runs the controller with the program and the arguments given, reading the
# commands from stdin; its output goes to $controller_out.
# Wine output goes to a file, never into a pipe: Wine's service processes
# started by that program inherit its handles and would hold a pipe open.
run_controller() {
  run_controller_as 'C:\tavik\Tavik Registry Cleaner.exe' "$@"
}
# The same with the controller's arguments as given (e.g. --attach PID).
run_controller_as() {
  (cd "$WINEPREFIX/drive_c/scan" &&
     timeout 600 "$WINE" 'C:\tavik\autofix-controller.exe' "$@") > "$controller_out.raw" 2>&1
  tr -d '\r' < "$controller_out.raw" > "$controller_out"
}

# Checks that the controller printed a line matching the extended regular
# expression $1; $2 names the check.
expect_line() {
  if grep -Eq -- "$1" "$controller_out"; then
    pass "$2"
  else
    fail "$2: no line matching '$1' in:"
    sed 's/^/    /' "$controller_out"
  fi
}
