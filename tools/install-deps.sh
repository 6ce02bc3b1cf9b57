#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when
# they are all there.
set -euo pipefail
packages=(cmake make g++ googletest libgtest-dev libbenchmark-dev
          g++-mingw-w64-x86-64 wine64 xvfb xauth nlohmann-json3-dev python3
          fp-utils xdotool imagemagick fonts-wine
          wixl msitools osslsigncode openssl)
case "${1:-}" in
  --fuzz) packages+=(clang libclang-rt-14-dev) ;;
  --bench) packages+=(python3) ;;
  --screenshots) packages+=(imagemagick) ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
