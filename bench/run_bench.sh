#!/usr/bin/env bash
# Converts generated Google-Earth-layout KML of about 20 MB and 200 MB with geovant, with
# ogr2ogr to MapInfo and with cat, and prints time, speed and peak memory of each from one run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" >/dev/null
command -v /usr/bin/time >/dev/null || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build" --target geovant_cli geovant_generate_kml >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() {  # label, size in bytes, command...
  local label=$1 bytes=$2
  shift 2
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err"; return 1; }
  read -r seconds kilobytes <"$work/time"
  awk -v l="$label" -v s="$seconds" -v k="$kilobytes" -v b="$bytes" 'BEGIN {
    mbs = s > 0 ? b / 1e6 / s : 0
    printf "  %-10s %7.2f s  %8.0f MB/s  peak %6.0f MB (%.2f x file)\n", l, s, mbs, k / 1024, k * 1024 / b }'
}

for size in 20 200; do
  kml="$work/generated-$size.kml"
  "$top/build/geovant_generate_kml" "$size" >"$kml"
  bytes=$(stat -c %s "$kml")
  echo "$(basename "$kml"): $bytes bytes"
  cat "$kml" >/dev/null  # into the page cache, for every tool alike
  measure cat "$bytes" cat "$kml"
  measure geovant "$bytes" "$top/build/geovant" convert -o "$work/geovant.mif" "$kml"
  measure ogr2ogr "$bytes" ogr2ogr -f "MapInfo File" "$work/ogr.mif" "$kml"
  rm -f "$work"/ogr.* "$work/geovant.mif"
done
