#!/usr/bin/env bash
# Times the data grid offscreen over an in-memory set (BENCH_GRID_ROWS rows, default 100,000).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/build.sh normal bench-grid >/dev/null
QT_QPA_PLATFORM=offscreen ./build/bin/bench-grid "${BENCH_GRID_ROWS:-100000}" 2>/dev/null
