#!/usr/bin/env bash
# Compiles the help file from its HTML sources with chmcmd (Debian fp-utils).
# Usage: tools/build-help.sh SOURCE_DIR WORK_DIR OUTPUT.chm
# The sources are copied to WORK_DIR first, since chmcmd writes beside the
# project file; the build fails on any warning of chmcmd, such as a link to
# a page that is not there.
set -euo pipefail
source_dir="$(realpath -m "$1")"; work="$(realpath -m "$2")"; output="$(realpath -m "$3")"
# fp-utils installs it as chmcmd-<version> with chmcmd as an alternative.
chmcmd="$(command -v chmcmd || ls /usr/bin/chmcmd-* 2>/dev/null | head -n 1 || true)"
[ -n "$chmcmd" ] || { echo "chmcmd not found: run tools/install-deps.sh" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work" "$(dirname "$output")"
cp -r "$source_dir"/. "$work"/
cd "$work"
"$chmcmd" --verbosity 1 Registry_Cleaner.hhp > chmcmd.log 2>&1 || { cat chmcmd.log >&2; exit 1; }
if grep -Ei "error|warning|not found|missing" chmcmd.log >&2; then exit 1; fi
[ -s Registry_Cleaner.chm ] || { echo "chmcmd wrote no help file" >&2; exit 1; }
cp Registry_Cleaner.chm "$output"
