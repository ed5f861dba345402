#!/usr/bin/env bash
# Times Geovant.exe under Wine, on a display from Xvfb, opening a generated 20 MB KML named on
# its command line: until the title names it, the document box holds it and the tag list
# holds its tags, then the point analysis until its count shows and its list fills the result
# box. Uses the Windows build in BUILD_MINGW (default build-mingw), building it when missing.
#   bench/window_bench.sh [BUILD_MINGW] [MEGABYTES]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-mingw}
megabytes=${2:-20}
"$top/scripts/setup.sh" --all >/dev/null
if [ ! -f "$build/tests/geovant_open_bench.exe" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" >/dev/null
fi
cmake --build "$build" --target geovant geovant_open_bench >/dev/null
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build" --target geovant_generate_kml >/dev/null
build=$(cd "$build" && pwd)
work=$(mktemp -d "${TMPDIR:-/var/tmp}/geovant-window-bench.XXXXXX")
trap 'rm -rf "$work"; /usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
"$top/build/geovant_generate_kml" "$megabytes" >"$work/large.kml"
export WINEPREFIX=$work/prefix
source "$top/scripts/wine_env.sh" "$build"
echo "== Geovant.exe opening $(stat -c %s "$work/large.kml") bytes under Wine"
xvfb-run -a -s '-screen 0 1600x1200x24' "$wine" "$build/tests/geovant_open_bench.exe" "$build/Geovant.exe" \
  "Z:${work//\//\\}\\large.kml"
