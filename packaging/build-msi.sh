#!/usr/bin/env bash
# Builds the installer package of Tavik Registry Cleaner with wixl from
# packaging/tavik.wxs.
# Usage: build-msi.sh --version X.Y.Z --bin BIN_DIR --work WORK_DIR --out FILE.msi
#                     [--strip STRIP_TOOL]
# BIN_DIR is the build's bin folder. The shipped files are copied to
# WORK_DIR/stage (debug information stripped) and packed from there, so the
# build's own programs are never changed.
# Signing: with SIGN_PFX naming a PKCS#12 certificate (SIGN_PASS its
# password), the three programs and the package are signed with
# osslsigncode (Authenticode, SHA-256), time-stamped only when SIGN_TS gives
# a time-stamp address (RFC 3161). Without SIGN_PFX the package is unsigned.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
version="" bin="" work="" out="" strip="${STRIP:-x86_64-w64-mingw32-strip}"
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version="$2"; shift 2 ;;
    --bin) bin="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --strip) strip="$2"; shift 2 ;;
    *) echo "build-msi.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$version" ] && [ -n "$bin" ] && [ -n "$work" ] && [ -n "$out" ] ||
  { echo "usage: build-msi.sh --version X.Y.Z --bin DIR --work DIR --out FILE.msi" >&2; exit 2; }
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  { echo "build-msi.sh: the version must be MAJOR.MINOR.PATCH, not $version" >&2; exit 2; }
bin="$(realpath -m "$bin")" work="$(realpath -m "$work")" out="$(realpath -m "$out")"
programs=("Tavik Registry Cleaner.exe" tavik-scan.exe autofix-controller.exe)
for file in "${programs[@]}" home.html help/Registry_Cleaner.chm; do
  [ -f "$bin/$file" ] || { echo "build-msi.sh: missing $bin/$file" >&2; exit 1; }
done

# A failed build never leaves an older package behind under the same name.
rm -f "$out"
stage="$work/stage"
rm -rf "$stage"
mkdir -p "$stage/help" "$(dirname "$out")"
for file in "${programs[@]}"; do
  "$strip" --strip-debug -o "$stage/$file" "$bin/$file"
done
cp "$bin/home.html" "$stage/"
cp "$bin/help/Registry_Cleaner.chm" "$stage/help/"

# Signs $1 in place.
pass_file=""
trap '[ -n "$pass_file" ] && rm -f "$pass_file"' EXIT
sign() {
  local args=(sign -pkcs12 "$SIGN_PFX" -h sha256 -n "Tavik Registry Cleaner")
  # The password goes through a private file, not the command line.
  if [ -n "${SIGN_PASS:-}" ]; then
    if [ -z "$pass_file" ]; then
      pass_file="$(mktemp)"
      printf '%s' "$SIGN_PASS" > "$pass_file"
    fi
    args+=(-readpass "$pass_file")
  fi
  [ -n "${SIGN_TS:-}" ] && args+=(-ts "$SIGN_TS")
  osslsigncode "${args[@]}" -in "$1" -out "$1.signed" > "$work/sign.log" 2>&1 ||
    { cat "$work/sign.log" >&2; echo "build-msi.sh: signing $1 failed" >&2; exit 1; }
  mv -f "$1.signed" "$1"
}
signing=0
if [ -n "${SIGN_PFX:-}" ]; then
  [ -f "$SIGN_PFX" ] || { echo "build-msi.sh: no certificate at $SIGN_PFX" >&2; exit 1; }
  signing=1
  for file in "${programs[@]}"; do sign "$stage/$file"; done
fi

# wixl takes the source files by paths relative to the folder it runs in.
cp "$here/../src/app/resources/tavik.ico" "$work/tavik.ico"
unsigned="$work/$(basename "$out" .msi).unsigned.msi"
rm -f "$unsigned"
next_version="$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<< "$version")"
(cd "$work" && wixl -a x64 -D Version="$version" -D NextVersion="$next_version" \
   -D StageDir=stage -D IconFile=tavik.ico \
   -o "$unsigned" "$here/tavik.wxs") 2> "$work/wixl.log" || true
# wixl reports some failures only on its error output.
if [ ! -s "$unsigned" ] || grep -q 'CRITICAL\|ERROR\|WARNING' "$work/wixl.log"; then
  cat "$work/wixl.log" >&2; echo "build-msi.sh: wixl failed" >&2; exit 1
fi
if [ $signing -eq 1 ]; then
  sign "$unsigned"
  mv -f "$unsigned" "$out"
  echo "signed package: $out ($(stat -c %s "$out") bytes)"
else
  mv -f "$unsigned" "$out"
  echo "unsigned package (no SIGN_PFX certificate given): $out ($(stat -c %s "$out") bytes)"
fi
