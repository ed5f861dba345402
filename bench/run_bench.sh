#!/usr/bin/env bash
# Times geovant on generated KML beside cat and ogr2ogr, and prints time, speed, peak memory,
# minor page faults and the ratios to cat, to geovant's plain convert and to ogr2ogr: the
# median of ROUNDS rounds (default 5), each of which runs every command once in turn, so that
# the machine's noise falls on all alike. "1 core" runs under taskset -c 0.
#   bench/run_bench.sh [ROUNDS]
# Files: a 20 MB and a 200 MB Google-Earth-layout document (6 decimals), 200 MB of the same
# layout with Google Earth's full-precision coordinates, and 200 MB of small placemarks.
# The "tab" rows write MapInfo's native table of the same options (convert -o NAME.tab), and a
# line after the table gives each against the MIF and MID.
# GEOVANT_BEFORE=path/to/geovant also times another build's convert, --attributes and --all in
# the same rounds ("before ..." rows), for a change measured before and after in one run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
"$top/scripts/setup.sh" >/dev/null
command -v /usr/bin/time >/dev/null || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build" --target geovant_cli geovant_generate_kml >/dev/null
geovant=$top/build/geovant

work=$(mktemp -d "${TMPDIR:-/var/tmp}/geovant-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One timed run: LABEL COMMAND...; appends "LABEL seconds kilobytes faults" to $work/times. The
# time is the shell's clock around the run (GNU time counts in hundredths); the peak memory
# and the minor page faults are time's.
run() {
  local label=$1 start end
  shift
  start=$EPOCHREALTIME
  /usr/bin/time -f "%M %R" -o "$work/memory" "$@" >/dev/null 2>"$work/err" || { cat "$work/err"; return 1; }
  end=$EPOCHREALTIME
  echo "$label $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }') $(cat "$work/memory")" >>"$work/times"
  # Each output goes at once: left until the end of the round, with the generated files,
  # they kept gigabytes of pages waiting for the kernel's writeback, and the runs late in a
  # round came out up to twice as slow.
  rm -f "$work"/*.mif "$work"/*.mid "$work"/*.tab "$work"/*.dat "$work"/*.map "$work"/*.id "$work"/*.out "$work"/ogr.*
}

bench() {  # NAME FILE
  local name=$1 kml=$2 bytes
  bytes=$(stat -c %s "$kml")
  : >"$work/times"
  cat "$kml" >/dev/null  # into the page cache, for every tool alike
  for ((round = 0; round < rounds; round++)); do
    run cat sh -c "cat '$kml' >'$work/cat.out'"
    run "cat>null" sh -c "cat '$kml' >/dev/null"
    run "convert" "$geovant" convert -o "$work/utf8.mif" "$kml"
    run "convert,1core" taskset -c 0 "$geovant" convert -o "$work/one.mif" "$kml"
    run "convert-ansi" "$geovant" convert --encoding ansi -o "$work/ansi.mif" "$kml"
    run "--attributes" "$geovant" convert --attributes -o "$work/attributes.mif" "$kml"
    run "--all" "$geovant" convert --all -o "$work/all.mif" "$kml"
    run "--crs_gk3" "$geovant" convert --crs gk3 -o "$work/gk3.mif" "$kml"
    run "--description-fields" "$geovant" convert --description-fields -o "$work/fields.mif" "$kml"
    run "--altitude" "$geovant" convert --altitude -o "$work/altitude.mif" "$kml"
    run "tab" "$geovant" convert -o "$work/table.tab" "$kml"
    run "tab_--attributes" "$geovant" convert --attributes -o "$work/table.tab" "$kml"
    run "tab_--all" "$geovant" convert --all -o "$work/table.tab" "$kml"
    if [ -n "${GEOVANT_BEFORE:-}" ]; then
      run "before_convert" "$GEOVANT_BEFORE" convert -o "$work/before.mif" "$kml"
      run "before_--attributes" "$GEOVANT_BEFORE" convert --attributes -o "$work/before.mif" "$kml"
      run "before_--all" "$GEOVANT_BEFORE" convert --all -o "$work/before.mif" "$kml"
    fi
    run "analyse" "$geovant" analyse "$kml"
    run "analyse,1core" taskset -c 0 "$geovant" analyse "$kml"
    run "tags" sh -c "'$geovant' tags '$kml' >'$work/tags.out'"
    if ((round < ${OGR_ROUNDS:-3})); then
      run ogr2ogr ogr2ogr -f "MapInfo File" "$work/ogr.mif" "$kml"
    fi
  done
  echo "== $name: $bytes bytes, median of $rounds rounds (ogr2ogr: ${OGR_ROUNDS:-3})"
  awk -v bytes="$bytes" '
    function median(list,   n, a, i, j, t) {
      n = split(list, a, " ")
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    { seconds[$1] = seconds[$1] " " $2; memory[$1] = memory[$1] " " $3; faults[$1] = faults[$1] " " $4
      if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } }
    END {
      cat = median(seconds["cat"]); null = median(seconds["cat>null"]); convert = median(seconds["convert"]); ogr = 0
      if ("ogr2ogr" in seen) ogr = median(seconds["ogr2ogr"])
      printf "  %-14s %8s %10s %8s %7s %7s %9s %9s %8s\n", "", "time", "speed", "memory", "faults", "x cat",
             "x cat>nul", "x convert", "ogr2ogr/"
      for (i = 1; i <= n; i++) {
        l = order[i]; t = median(seconds[l]); m = median(memory[l]); f = median(faults[l])
        speed = 0; to_cat = 0; to_null = 0; ogr_ratio = 0
        if (t > 0) speed = bytes / 1e6 / t
        if (cat > 0) to_cat = t / cat
        if (null > 0) to_null = t / null
        if (t > 0 && ogr > 0) ogr_ratio = ogr / t
        label = l; gsub(/_/, " ", label); gsub(/,/, " ", label)
        printf "  %-14s %7.3fs %7.0fMB/s %6.0fMB %7d %6.2fx %8.2fx %8.2fx %7.1fx  (%.2f x file)\n", label, t, speed,
               m / 1024, f, to_cat, to_null, t / convert, ogr_ratio, m * 1024 / bytes
      }
      # A table against the MIF and MID of the same options.
      for (i = 1; i <= n; i++) {
        l = order[i]
        if (l !~ /^tab/) continue
        mif = l == "tab" ? "convert" : substr(l, 5)
        printf "  %-14s %.2f x the time and %.2f x the memory of %s\n", l, median(seconds[l]) / median(seconds[mif]),
               median(memory[l]) / median(memory[mif]), mif
      }
    }' "$work/times"
}

"$top/build/geovant_generate_kml" 20 >"$work/ge20.kml"
"$top/build/geovant_generate_kml" 200 >"$work/ge200.kml"
"$top/build/geovant_generate_kml" 200 full >"$work/full200.kml"
"$top/build/geovant_generate_kml" 200 points >"$work/points200.kml"
sync  # the generated files written out now, not in the middle of the runs
bench "20 MB Google-Earth layout" "$work/ge20.kml"
bench "200 MB Google-Earth layout" "$work/ge200.kml"
bench "200 MB Google-Earth layout, full-precision coordinates" "$work/full200.kml"
bench "200 MB of small placemarks" "$work/points200.kml"

# --merge of two files against converting each alone, with --attributes.
: >"$work/times"
for ((round = 0; round < rounds; round++)); do
  run "alone_a" "$geovant" convert --attributes -o "$work/a.mif" "$work/ge200.kml"
  run "alone_b" "$geovant" convert --attributes -o "$work/b.mif" "$work/points200.kml"
  run "merged" "$geovant" convert --merge --attributes -o "$work/m.mif" "$work/ge200.kml" "$work/points200.kml"
done
echo "== --merge --attributes of the 200 MB Google-Earth layout and the 200 MB of small placemarks, median of $rounds rounds"
awk '
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  { seconds[$1] = seconds[$1] " " $2; memory[$1] = memory[$1] " " $3 }
  END {
    a = median(seconds["alone_a"]); b = median(seconds["alone_b"]); m = median(seconds["merged"])
    printf "  each alone %.3fs + %.3fs = %.3fs, merged %.3fs (%.2fx the sum), peak %.0f MB\n", a, b, a + b, m, m / (a + b),
           median(memory["merged"]) / 1024
  }' "$work/times"
