#!/usr/bin/env bash
# Runs the window test under Wine and Xvfb and copies its screenshots (96 and
# 144 dots per inch) to docs/screenshots for the README.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
make -C "$root" --no-print-directory win64 > /dev/null
bin="$root/build/win64/bin"
(cd "$root/build/win64" && ctest -R scenario_baseline > /dev/null)
"$root/tests/win32/app_window_test.sh" "$bin/Tavik Registry Cleaner.exe" \
  "$bin/autofix-controller.exe" "$bin/tavik-scan.exe" \
  "$root/build/win64/scenarios" "$root/build/win64/app-window" \
  "$root/docs/screenshots"
