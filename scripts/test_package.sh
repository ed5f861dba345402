#!/usr/bin/env bash
# Builds the release package, unpacks it, checks what it holds, and runs the geovant-cli.exe
# from it under Wine on the sample: its MIF must equal the native program's, byte for byte.
#   scripts/test_package.sh BUILD_MINGW BUILD_NATIVE
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$top/scripts/wine_env.sh" "$build"
zip=$("$top/scripts/package.sh" "$build")
(cd "$work" && cmake -E tar xf "$zip")
package=$work/$(basename "$zip" .zip)
status=0
for file in Geovant.exe geovant-cli.exe sample/beijing.kml UserGuide.html LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  [ -s "$package/$file" ] || { echo "FAIL the package lacks $file"; status=1; }
done
if grep -q 'src="images/' "$package/UserGuide.html"; then echo "FAIL the guide refers to images outside it"; status=1; fi
for notice in MinGW-w64 "GCC runtime" Boost.Regex zlib; do
  grep -q "^$notice" "$package/THIRD-PARTY-NOTICES.txt" || { echo "FAIL the notices lack $notice"; status=1; }
done
"$native/geovant" convert -o "$work/native.mif" "$package/sample/beijing.kml"
(cd "$package" && "$wine" geovant-cli.exe convert -o "Z:${work//\//\\}\\windows.mif" sample\\beijing.kml 2>/dev/null)
if cmp -s "$work/native.mif" "$work/windows.mif"; then
  echo "ok   $(basename "$zip"): geovant-cli.exe from the package writes the native program's MIF"
else
  echo "FAIL $(basename "$zip"): geovant-cli.exe from the package writes another MIF"
  status=1
fi
exit "$status"
