#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# runs the whole test suite. Tests use only the virtual recorder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
export BUILD_DIR=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
ctest --output-on-failure -j "${JOBS:-$(nproc)}" --timeout 600

# With KESTREL_SANITIZE=1, a second build with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang), with the fuzz targets, whose tests run
# once. It doubles the time of the command, so it is asked for, not run by
# default. KESTREL_SANITIZE_TARGETS narrows it to some test programs (e.g.
# "test_import test_iso_image fuzz_import"). Tests that load the virtual
# recorder's interposer into programs with LD_PRELOAD stay out of this run:
# a sanitized preload library cannot go into the unsanitized peer programs
# (xorriso, growisofs). The boots in QEMU run once, in the first pass: they
# test the images, not this build.
if [ "${KESTREL_SANITIZE:-0}" = 1 ]; then
    san_dir=${SANITIZE_BUILD_DIR:-$root/build-sanitize}
    CC=clang CXX=clang++ cmake -S "$root" -B "$san_dir" -G Ninja -DKESTREL_WERROR=ON -DKESTREL_SANITIZE=ON \
        -DKESTREL_BUILD_APP=OFF -DKESTREL_BUILD_BENCH=OFF -DKESTREL_FUZZ=ON
    cmake --build "$san_dir" -j "${JOBS:-$(nproc)}" ${KESTREL_SANITIZE_TARGETS:+--target $KESTREL_SANITIZE_TARGETS}
    cd "$san_dir"
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    ctest --output-on-failure -j "${JOBS:-$(nproc)}" --timeout 600 \
        -E "${KESTREL_SANITIZE_EXCLUDE:-_NOT_BUILT|XorrisoPeer|GrowisofsPeer|Interposer|PassThrough|MultisessionPeers|TwoSessionCd|passthrough|_sg|QemuBoot}"
fi
