#!/usr/bin/env bash
# Builds and runs the print grid benchmark (times printed, nothing asserted).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/build.sh normal printgrid_bench
build/bin/printgrid_bench
