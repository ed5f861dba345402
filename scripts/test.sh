#!/usr/bin/env bash
# Installs what is missing and runs every test: the core, the command line and the window's
# commands natively; then the Windows build under Wine (ANSI code page 936): its core tests,
# the real window's tests and the end-to-end test of Geovant.exe, on a display from Xvfb.
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
export WINEPREFIX=$wine_prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
wine=/usr/lib/wine/wine64
echo "== the Windows build's core tests, under Wine"
"$wine" "$top/build-mingw/tests/geovant_tests.exe" --gtest_brief=1 2>/dev/null
echo "== the real window, under Wine and Xvfb"
xvfb-run -a -s '-screen 0 1024x768x24' "$wine" "$top/build-mingw/tests/geovant_gui_tests.exe" --gtest_brief=1 2>/dev/null
echo "== Geovant.exe end to end, under Wine and Xvfb"
"$top/scripts/run_e2e.sh" "$top/build-mingw" "$top/../shared/corpus/kml/kmlsamples_KML_Samples.kml" "$wine_prefix"
unset LC_ALL

echo "== native tests"
cd "$top/build" && ctest --output-on-failure
