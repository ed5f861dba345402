#!/usr/bin/env bash
# Builds the Windows release package BUILD_MINGW/Geovant-VERSION-win64.zip:
#   Geovant.exe, geovant-cli.exe, the sample KML, the user guide (one HTML file with its
#   screenshots inside), LICENSE.txt and THIRD-PARTY-NOTICES.txt.
#   scripts/package.sh [BUILD_MINGW]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-mingw}
if [ ! -f "$build/Geovant.exe" ]; then
  "$top/scripts/setup.sh" --all
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" >/dev/null
fi
cmake --build "$build" --target geovant geovant_cli >/dev/null
build=$(cd "$build" && pwd)
version=$(sed -n 's/^project(geovant VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
name=Geovant-$version-win64
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/$name
mkdir -p "$stage/sample"

crlf() { sed 's/\r*$/\r/' "$@"; }  # text files for Notepad

cp "$build/Geovant.exe" "$build/geovant-cli.exe" "$stage/"
# Without their symbols the programs are half the size; they need none to run.
x86_64-w64-mingw32-strip "$stage/Geovant.exe" "$stage/geovant-cli.exe"
cp "$top/examples/beijing.kml" "$stage/sample/"
crlf "$top/LICENSE" > "$stage/LICENSE.txt"
"$top/scripts/third_party_notices.sh" | crlf > "$stage/THIRD-PARTY-NOTICES.txt"

# The guide as one file, its screenshots inside: it opens with a double click, even from
# within the zip.
guide=$(cat "$top/docs/guide/guide.html")
for png in "$top/docs/guide/images"/*.png; do
  image=$(basename "$png")
  guide=${guide//src=\"images\/$image\"/src=\"data:image/png;base64,$(base64 -w0 "$png")\"}
done
printf '%s\n' "$guide" > "$stage/UserGuide.html"

rm -f "$build/$name.zip"
(cd "$work" && cmake -E tar cf "$build/$name.zip" --format=zip "$name")
echo "$build/$name.zip"
