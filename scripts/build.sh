#!/usr/bin/env bash
# Configures and builds Kestrel into BUILD_DIR (default: build): everything,
# or only the targets named in TARGETS (separated by blanks).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
jobs=${JOBS:-$(nproc)}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
  -DKESTREL_WERROR=ON "$@"
cmake --build "$build" -j "$jobs" ${TARGETS:+--target $TARGETS}
