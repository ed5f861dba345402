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
notices=$package/THIRD-PARTY-NOTICES.txt
for notice in "MinGW-w64 runtime" winpthreads "GCC runtime libraries" Boost.Regex zlib; do
  grep -q "^$notice" "$notices" || { echo "FAIL the notices lack $notice"; status=1; }
done
# Each licence once, and nothing of the packaging of what is not in the programs.
for text in "GCC RUNTIME LIBRARY EXCEPTION" "Boost Software License - Version 1.0" "LUCENT DISCLAIMS ALL WARRANTIES"; do
  [ "$(grep -c "$text" "$notices")" = 1 ] || { echo "FAIL the notices hold \"$text\" other than once"; status=1; }
done
if grep -q -E "^(Files|Format|License):|GNU Lesser|Debian" "$notices"; then echo "FAIL the notices hold packaging stanzas"; status=1; fi
for program in Geovant.exe geovant-cli.exe; do
  if x86_64-w64-mingw32-objdump -h "$package/$program" | grep -q debug; then echo "FAIL $program is not stripped"; status=1; fi
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
