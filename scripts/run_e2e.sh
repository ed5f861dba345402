#!/usr/bin/env bash
# The end-to-end test of Geovant.exe under Wine: BUILD_MINGW OUT_FOLDER. The sample KML (UTF-8,
# Chinese names) is opened as 测试/北京.kml, a file that declares GBK as 测试/国标.kml, and the
# sample again under a Korean name; everything is written into OUT_FOLDER/测试, so that Chinese
# folder and file names are used throughout, and left there for the caller. The locale is
# GEOVANT_LOCALE's (see wine_env.sh). Uses the display it is given (DISPLAY), or one of its own.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
source "$top/scripts/wine_env.sh" "$build"
out="$work/测试"
mkdir -p "$out"
cp "$top/examples/beijing.kml" "$out/北京.kml"
cp "$top/tests/data/kml/geovant_gbk_names.kml" "$out/国标.kml"
cp "$top/examples/beijing.kml" "$out/한국 데이터.kml"
win() { echo "Z:${1//\//\\}"; }
cd "$out"  # the dialogs open here
run=("$wine" "$build/tests/geovant_e2e.exe" "$(win "$build/Geovant.exe")" "$(win "$build/geovant-cli.exe")"
     "$(win "$out/北京.kml")" "$(win "$out/国标.kml")" "$(win "$out/한국 데이터.kml")" "$(win "$out")")
status=0
if [ -n "${DISPLAY:-}" ]; then
  "${run[@]}" 2>/dev/null | iconv -f GBK -t UTF-8 || status=1
else
  xvfb-run -a -s '-screen 0 1600x1200x24' "${run[@]}" 2>/dev/null | iconv -f GBK -t UTF-8 || status=1
fi
# The names on the disk are the Chinese ones, not bytes that lost their meaning on the way.
for name in 北京.mif 北京.kml 另存为.txt 北京属性.mif 北京属性.mid 北京表.tab 北京表.map "한국 데이터.mif"; do
  if [ -f "$out/$name" ]; then echo "ok   测试/$name is on the disk"; else echo "FAIL 测试/$name is not on the disk"; status=1; fi
done
# What Save wrote is XML that a strict reader takes, with the Chinese names of the sample.
if python3 - "$out/menu-saved.kml" "$top/examples/beijing.kml" <<'PY'
import sys, xml.etree.ElementTree as ET
ns = "{http://www.opengis.net/kml/2.2}"
names = lambda path: [e.text for e in ET.parse(path).iter(ns + "name")]
saved, sample = names(sys.argv[1]), names(sys.argv[2])
sys.exit(0 if saved == sample and any(ord(c) > 0x4E00 for n in saved for c in n or "") else 1)
PY
then echo "ok   测试/menu-saved.kml is well-formed XML with the sample's Chinese names"
else echo "FAIL 测试/menu-saved.kml is not the sample's XML"; status=1; fi
exit "$status"
