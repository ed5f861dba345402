#!/usr/bin/env bash
# Runs the end-to-end test of Geovant.exe under Wine and Xvfb: BUILD_MINGW KML [WINEPREFIX]
set -euo pipefail
build=$(cd "$1" && pwd)
kml=$(readlink -f "$2")
work=$(mktemp -d)
export WINEPREFIX=${3:-$work/prefix} WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out"
win() { echo "Z:${1//\//\\}"; }
xvfb-run -a -s '-screen 0 1024x768x24' /usr/lib/wine/wine64 "$build/tests/geovant_e2e.exe" \
  "$(win "$build/Geovant.exe")" "$(win "$build/geovant-cli.exe")" "$(win "$kml")" "$(win "$work/out")" 2>/dev/null
