#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60), two at a
# time, seeded with the real KML corpus. New inputs and findings stay in a temporary folder;
# a finding is printed and the script fails. For a long run: scripts/fuzz.sh 3600
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$top/scripts/setup.sh" --all
cmake -S "$top" -B "$top/build-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGEOVANT_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$top/build-fuzz"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds="$top/tests/data/kml"

run() {  # target
  local target=$1
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  local target_seeds=$seeds
  [ "$target" = kmz ] && target_seeds="$top/tests/data/kmz"
  if "$top/build-fuzz/fuzz_$target" "$work/$target/corpus" "$target_seeds" -max_total_time="$seconds" \
      -timeout=20 -rss_limit_mb=4096 -max_len=262144 -print_final_stats=1 \
      -artifact_prefix="$work/$target/findings/" >"$work/$target/log" 2>&1; then
    echo "fuzz_$target: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/$target/log" | grep -o '[0-9]*$') runs, no finding"
  else
    echo "fuzz_$target: FINDING"
    tail -n 40 "$work/$target/log"
    for f in "$work/$target/findings"/*; do [ -f "$f" ] && { echo "input: $f"; od -c "$f" | head -n 20; }; done
    return 1
  fi
}

status=0
targets=(mif_export analysis tags utf8 fast_paths kmz features)
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for t in "${targets[@]:i:2}"; do
    run "$t" > "$work/$t.out" 2>&1 &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || status=1; done
  for t in "${targets[@]:i:2}"; do cat "$work/$t.out"; done
done
exit $status
