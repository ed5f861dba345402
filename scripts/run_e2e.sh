#!/usr/bin/env bash
# The end-to-end test of Geovant.exe under Wine: BUILD_MINGW KML. The KML is opened as
# 测试/北京.kml and everything is written into 测试/, so that Chinese folder and file names
# are used throughout. Uses the display it is given (DISPLAY), or one of its own from Xvfb.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$top/scripts/wine_env.sh" "$build"
out="$work/测试"
mkdir -p "$out"
cp "$2" "$out/北京.kml"
win() { echo "Z:${1//\//\\}"; }
cd "$out"  # the dialogs open here
run=("$wine" "$build/tests/geovant_e2e.exe"
     "$(win "$build/Geovant.exe")" "$(win "$build/geovant-cli.exe")" "$(win "$out/北京.kml")" "$(win "$out")")
status=0
if [ -n "${DISPLAY:-}" ]; then
  "${run[@]}" 2>/dev/null | iconv -f GBK -t UTF-8 || status=1
else
  xvfb-run -a -s '-screen 0 1024x768x24' "${run[@]}" 2>/dev/null | iconv -f GBK -t UTF-8 || status=1
fi
# The names on the disk are the Chinese ones, not bytes that lost their meaning on the way.
for name in 北京.mif 北京.kml 另存为.txt 北京属性.mif 北京属性.mid; do
  if [ -f "$out/$name" ]; then echo "ok   测试/$name is on the disk"; else echo "FAIL 测试/$name is not on the disk"; status=1; fi
done
exit "$status"
