#!/usr/bin/env bash
# Retakes the screenshots of the user guide (docs/guide/images/*.png): drives Geovant.exe
# through the end-to-end test on the sample, in Wine's virtual desktop (so that the window has
# its frame and caption) with Wine's own fonts and a CJK font. Needs ImageMagick (convert).
#   scripts/guide_screenshots.sh [BUILD_MINGW]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build-mingw}" && pwd)
work=$(mktemp -d)
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix
source "$top/scripts/wine_env.sh" "$build"
mkdir -p "$work/shots"
export GEOVANT_SHOTS="Z:${work//\//\\}\\shots" DISPLAY=
xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
  "$0" reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null 2>&1
  "$0" reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 1024x768 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w
  # Without its symbol font Wine draws the caption buttons as "0 1 r".
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  DISPLAY=$DISPLAY "$1" "$2" "$3"' "$wine" "$top/scripts/run_e2e.sh" "$build" "$top/examples/beijing.kml"
mkdir -p "$top/docs/guide/images"
for bmp in "$work/shots"/*.bmp; do
  convert "$bmp" "$top/docs/guide/images/$(basename "${bmp%.bmp}").png"
done
ls "$top/docs/guide/images"
