#!/usr/bin/env bash
# Installs what is missing, builds, and converts the bundled sample KML to MIF.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build" --target geovant_cli >/dev/null
sample="$top/examples/beijing.kml"
echo "== $sample"
"$top/build/geovant" analyse "$sample"
"$top/build/geovant" convert "$sample"
echo "== wrote ${sample%.kml}.mif ($(stat -c %s "${sample%.kml}.mif") bytes):"
iconv -f GBK -t UTF-8 "${sample%.kml}.mif" | head -n 20
echo "..."
