#!/usr/bin/env bash
# README command 2: installs what is missing, builds, and runs every test:
#   1. the normal tree (all tests, GUI ones offscreen),
#   2. the ASan+UBSan tree (every non-GUI test),
#   3. each fuzz target for a short fixed time.
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
export QT_QPA_PLATFORM=offscreen

status=0
bash tools/build.sh normal
(cd build && ctest --output-on-failure --timeout 600 -j2) || status=1

# The sanitizer settings are exported before the build: the build itself runs zentra-mkdb.
source tools/sanitizer_env.sh
bash tools/build.sh asan
(cd build-asan && ctest -L pure --output-on-failure --timeout 900 -j2) || status=1

bash tools/fuzz.sh || status=1

if [ $status -ne 0 ]; then
  echo "tests: FAILED" >&2
fi
exit $status
