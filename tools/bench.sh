#!/usr/bin/env bash
# Builds the normal tree and runs every benchmark: each bench/<name>/run.sh in turn, or only the
# ones named on the command line (e.g. tools/bench.sh catalogue vm).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh normal
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for d in bench/*/; do [ -f "$d/run.sh" ] && names+=("$(basename "$d")"); done
fi
for n in "${names[@]}"; do
  echo "== bench/$n"
  bash "bench/$n/run.sh"
done
