#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for FUZZ_SECONDS (default 30) from its seed corpus.
# Targets are listed by CMake in build-fuzz/fuzz_targets.txt as "name corpus-folder" lines.
set -euo pipefail
cd "$(dirname "$0")/.."
# Configure only, then build just the fuzz targets the configuration listed.
bash tools/build.sh fuzz help > /dev/null
list=build-fuzz/fuzz_targets.txt
if [ ! -s "$list" ]; then
  echo "fuzz: no targets"
  exit 0
fi
cmake --build build-fuzz --target $(cut -d' ' -f1 "$list" | tr '\n' ' ')
source tools/sanitizer_env.sh
seconds=${FUZZ_SECONDS:-30}
failed=0
while read -r name corpus; do
  [ -n "$name" ] || continue
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 build-fuzz/bin/"$name" -max_total_time="$seconds" \
       -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "$work" > "build-fuzz/$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -40 "build-fuzz/$name.log"; failed=1
  else
    grep -E 'stat::number_of_executed_units' "build-fuzz/$name.log" || true
  fi
  rm -rf "$work"
done < "$list"
exit $failed
