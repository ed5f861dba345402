#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages, when it is missing.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libboost1.81-dev zlib1g-dev gdal-bin)
if [ "${1:-}" = "--all" ]; then
  packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine64 fonts-wine fonts-wqy-microhei xvfb xauth locales
            clang-14 libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=$([ "$(id -u)" = 0 ] || echo sudo)
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
