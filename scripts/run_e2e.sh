#!/usr/bin/env bash
# The end-to-end test of Geovant.exe under Wine: BUILD_MINGW KML. Uses the display it is given
# (DISPLAY), or one of its own from Xvfb.
set -euo pipefail
build=$(cd "$1" && pwd)
kml=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX=${WINEPREFIX:-$work/prefix} WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
mkdir -p "$work/out"
win() { echo "Z:${1//\//\\}"; }
run=(/usr/lib/wine/wine64 "$build/tests/geovant_e2e.exe"
     "$(win "$build/Geovant.exe")" "$(win "$build/geovant-cli.exe")" "$(win "$kml")" "$(win "$work/out")")
if [ -n "${DISPLAY:-}" ]; then
  "${run[@]}" 2>/dev/null
else
  xvfb-run -a -s '-screen 0 1024x768x24' "${run[@]}" 2>/dev/null
fi
