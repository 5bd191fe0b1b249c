#!/usr/bin/env bash
# Configures and builds one build tree. Usage: tools/build.sh [normal|asan|fuzz] [targets...]
#   normal -> build/       everything, RelWithDebInfo
#   asan   -> build-asan/  non-GUI libraries, tools and tests with ASan+UBSan
#   fuzz   -> build-fuzz/  libFuzzer targets, built with clang 14
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-normal}
shift || true
case "$kind" in
  normal) dir=build; opts=() ;;
  asan)   dir=build-asan; opts=(-DZENTRA_SANITIZE=ON -DZENTRA_GUI=OFF -DZENTRA_BENCH=OFF) ;;
  fuzz)   dir=build-fuzz; opts=(-DZENTRA_FUZZ=ON -DZENTRA_GUI=OFF -DZENTRA_BENCH=OFF
                                -DBUILD_TESTING=OFF
                                -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14) ;;
  *) echo "usage: $0 [normal|asan|fuzz] [targets...]" >&2; exit 2 ;;
esac
# The sanitizer tree runs zentra-mkdb while building.
if [ "$kind" != normal ]; then
  source tools/sanitizer_env.sh
fi
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
# Paths relative to the checkout, so that another clone (CI) hits the same cache entries.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}"
fi
if [ $# -gt 0 ]; then
  cmake --build "$dir" --target "$@"
else
  cmake --build "$dir"
fi
