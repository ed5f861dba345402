#!/usr/bin/env bash
# Times Geovant.exe under Wine, on a display from Xvfb, opening generated KML named on its
# command line: until the title names it, the document box holds it and the tag list holds
# its tags, then the analysis of the kind it holds most of until its count shows and its list
# fills the result box. The files: a Google-Earth-layout document of MEGABYTES (default 20),
# a track of 115 KB and one of 150 KB with its coordinates on one line, as Google Earth writes
# them, a track of 20 MB on one line, and one of 20 MB with a tuple on each of its 1,000,000
# lines. Uses the Windows build in BUILD_MINGW (default build-mingw), building it when missing.
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
"$top/build/geovant_generate_kml" 0.115 oneline >"$work/track-115k.kml"
"$top/build/geovant_generate_kml" 0.15 oneline >"$work/track-150k.kml"
"$top/build/geovant_generate_kml" 20 oneline >"$work/track-20m-one-line.kml"
"$top/build/geovant_generate_kml" 20 lines >"$work/track-20m-lines.kml"
export WINEPREFIX=$work/prefix
source "$top/scripts/wine_env.sh" "$build"
status=0
for name in large track-115k track-150k track-20m-one-line track-20m-lines; do
  echo "== Geovant.exe opening $name.kml, $(stat -c %s "$work/$name.kml") bytes, $(wc -l <"$work/$name.kml") lines, under Wine"
  xvfb-run -a -s '-screen 0 1600x1200x24' "$wine" "$build/tests/geovant_open_bench.exe" "$build/Geovant.exe" \
    "Z:${work//\//\\}\\$name.kml" || status=1
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
done
exit $status
