#!/usr/bin/env bash
# Retakes the screenshots of the user guide (docs/guide/images/*.png): drives Geovant.exe
# through the end-to-end test on the sample, in Wine's virtual desktop (so that the window has
# its frame and caption) with Wine's own fonts and a CJK font, in a folder as a user's own
# (C:\Users\用户\文档\测试), and shows the MIF file it wrote in QGIS when QGIS is installed.
# Needs ImageMagick (convert, import).
#   scripts/guide_screenshots.sh [BUILD_MINGW]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build-mingw}" && pwd)
work=$(mktemp -d)
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix
source "$top/scripts/wine_env.sh" "$build"
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
/usr/lib/wine/wineserver64 -w
# Without its symbol font Wine draws the caption buttons as "0 1 r".
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
documents="$WINEPREFIX/drive_c/Users/用户/文档"
mkdir -p "$documents" "$work/shots"
export GEOVANT_SHOTS="Z:${work//\//\\}\\shots"
xvfb-run -a -s '-screen 0 1024x768x24' "$top/scripts/run_e2e.sh" "$build" "$documents" >/dev/null || true
mkdir -p "$top/docs/guide/images"
for bmp in "$work/shots"/*.bmp; do
  convert "$bmp" "$top/docs/guide/images/$(basename "${bmp%.bmp}").png"
done

# The MIF and MID files that the window wrote, as QGIS shows them: its attribute table beside
# the map.
if command -v qgis >/dev/null; then
  mif="$documents/测试/北京属性.mif"
  cat >"$work/show.py" <<PY
from qgis.utils import iface
from qgis.core import QgsSettings
from qgis.PyQt.QtCore import QTimer
iface.mainWindow().setGeometry(0, 0, 1280, 800)
layers = [iface.addVectorLayer("$mif|geometrytype=" + kind, name, "ogr")
          for kind, name in (("Polygon", "北京属性 面"), ("LineString", "北京属性 线"), ("Point", "北京属性 点"))]
def show():
    iface.mapCanvas().zoomToFullExtent()
    iface.mapCanvas().zoomByFactor(1.3)
    iface.mapCanvas().refresh()
    table = iface.showAttributeTable(layers[-1]).window()
    table.resize(420, 190)  # in the map's lower right corner, where it hides the least
    table.move(850, 585)
QTimer.singleShot(5000, show)
PY
  xvfb-run -a -s '-screen 0 1280x800x24' bash -c '
    HOME=$0 TMPDIR=$0 qgis --nologo --noversioncheck --noplugins --code "$1" >/dev/null 2>&1 &
    sleep 40
    import -window root "$2"
    kill %1 2>/dev/null || true' "$work" "$work/show.py" "$top/docs/guide/images/11-qgis.png"
fi
ls "$top/docs/guide/images"
