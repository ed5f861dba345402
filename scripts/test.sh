#!/usr/bin/env bash
# Installs what is missing and runs every test: the core and the command line natively, then
# the core built with MinGW-w64 under Wine (ANSI code page 936).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" --all

cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build"

cmake -S "$top" -B "$top/build-mingw" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$top/build-mingw"

wine_prefix=$(mktemp -d)
trap 'rm -rf "$wine_prefix"' EXIT
echo "== the Windows build's tests, under Wine"
WINEPREFIX="$wine_prefix" WINEDEBUG=-all LC_ALL=zh_CN.UTF-8 \
  /usr/lib/wine/wine64 "$top/build-mingw/tests/geovant_tests.exe" --gtest_brief=1 2>/dev/null

echo "== native tests"
cd "$top/build" && ctest --output-on-failure
