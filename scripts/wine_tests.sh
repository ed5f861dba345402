#!/usr/bin/env bash
# The Windows build's tests under Wine with code page 936: the core tests, the real window's
# tests and the end-to-end test of Geovant.exe. Runs on a display (xvfb-run): Wine binds its
# session to the display of the first program it starts, so all of them run on this one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-mingw}
source "$top/scripts/wine_env.sh" "$build"
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT

echo "== the Windows build's core tests, under Wine"
"$wine" "$build/tests/geovant_tests.exe" --gtest_brief=1
echo "== the real window, under Wine"
"$wine" "$build/tests/geovant_gui_tests.exe" --gtest_brief=1
echo "== Geovant.exe end to end, under Wine, with Chinese folder and file names"
"$top/scripts/run_e2e.sh" "$build" "$top/tests/data/kml/gdal_samples.kml"
echo "== the release package"
"$top/scripts/test_package.sh" "$build" "${2:-$top/build}"
