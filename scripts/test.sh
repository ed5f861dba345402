#!/usr/bin/env bash
# Installs what is missing and runs every test: the core, the command line and the window's
# commands natively, also under AddressSanitizer and UndefinedBehaviorSanitizer; a short run
# of each fuzz target; then the Windows build under Wine (ANSI code page 936): its core tests,
# the real window's tests and the end-to-end test of Geovant.exe, on a display from Xvfb.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" --all

cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build"

cmake -S "$top" -B "$top/build-mingw" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$top/build-mingw"

echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$top" -B "$top/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGEOVANT_SANITIZE=ON >/dev/null
cmake --build "$top/build-asan"
(cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2)

echo "== fuzzing, ${GEOVANT_FUZZ_SECONDS:=20} s per target"
"$top/scripts/fuzz.sh" "$GEOVANT_FUZZ_SECONDS"

wine_prefix=$(mktemp -d)
trap 'rm -rf "$wine_prefix"' EXIT
WINEPREFIX=$wine_prefix xvfb-run -a -s '-screen 0 1600x1200x24' "$top/scripts/wine_tests.sh" "$top/build-mingw" "$top/build"

echo "== native tests"
cd "$top/build" && ctest --output-on-failure
