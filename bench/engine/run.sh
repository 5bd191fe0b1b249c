#!/usr/bin/env bash
# Headless document build of a 10,000-line order against the bare script machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/build.sh normal report_engine_bench >/dev/null
RUNS=${RUNS:-5} build/bin/report_engine_bench
