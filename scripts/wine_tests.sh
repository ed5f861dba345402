#!/usr/bin/env bash
# The Windows build's tests under Wine: the core tests, the real window's tests and the
# end-to-end test of Geovant.exe, with the Chinese code page 936 and again with the English
# code page 1252, whose results must be the same; the window's layout at 96 and 144 DPI; the
# release package. Runs on a display (xvfb-run): Wine binds its session to the display of the
# first program it starts, so all of them run on this one.
#   scripts/wine_tests.sh [BUILD_MINGW] [BUILD_NATIVE]
set -eEuo pipefail
# A step that fails without a word of its own (Wine's tools are quiet here) is named.
trap 'echo "FAIL line $LINENO: $BASH_COMMAND (exit status $?)"' ERR
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build-mingw}" && pwd)
native=${2:-$top/build}
source "$top/scripts/wine_env.sh" "$build"
work=$(mktemp -d)
trap 'rm -rf "$work"; /usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
# Another locale needs a wineserver of its own: the running one keeps its code page.
use_locale() {
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  /usr/lib/wine/wineserver64 -w 2>/dev/null || true
  export GEOVANT_LOCALE=$1
  source "$top/scripts/wine_env.sh" "$build"
}

echo "== the Windows build's core tests, under Wine (code page 936)"
"$wine" "$build/tests/geovant_tests.exe" --gtest_brief=1
echo "== the real window, under Wine (code page 936)"
"$wine" "$build/tests/geovant_gui_tests.exe" --gtest_brief=1
echo "== the real window at 144 DPI"
wine_dpi 144
"$wine" "$build/tests/geovant_gui_tests.exe" --gtest_brief=1 --gtest_filter='MainWindowTest.*:-*Mended*:*Dropped*'
wine_dpi 96
echo "== Geovant.exe end to end, with Chinese folder and file names (code page 936)"
"$top/scripts/run_e2e.sh" "$build" "$work/936"

use_locale en_US.UTF-8
echo "== the core tests, the window and Geovant.exe end to end on an English Windows (code page 1252)"
"$wine" "$build/tests/geovant_tests.exe" --gtest_brief=1
# Every GBK character in a text box crashes Wine's own text layout (its OpenType positioning,
# with the fonts it falls back to under this locale), not the program: that test runs above.
"$wine" "$build/tests/geovant_gui_tests.exe" --gtest_brief=1 --gtest_filter='-*Mended*'
"$top/scripts/run_e2e.sh" "$build" "$work/1252"
status=0
for name in 北京.mif 北京属性.mif 北京属性.mid 北京表.tab 北京表.dat 北京表.map 北京表.id menu-saved.kml "한국 데이터.mif"; do
  if cmp -s "$work/936/测试/$name" "$work/1252/测试/$name"; then
    echo "ok   $name is the same under code pages 936 and 1252"
  else
    echo "FAIL $name differs between code pages 936 and 1252"; status=1
  fi
done
mkdir -p "$work/cli"
cp "$top/examples/beijing.kml" "$work/cli/北京 路网.kml"
(cd "$work/cli" && "$wine" "$build/geovant-cli.exe" convert "北京 路网.kml" 2>/dev/null) || true
"$native/geovant" convert -o "$work/native.mif" "$top/examples/beijing.kml"
if cmp -s "$work/cli/北京 路网.mif" "$work/native.mif"; then
  echo "ok   geovant-cli.exe converts 北京 路网.kml under code page 1252 as the native program does"
else
  echo "FAIL geovant-cli.exe under code page 1252 did not write 北京 路网.mif as the native program does"; status=1
fi
use_locale zh_CN.UTF-8
echo "== the release package"
"$top/scripts/test_package.sh" "$build" "$native"
exit "$status"
