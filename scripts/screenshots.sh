#!/usr/bin/env bash
# Takes the README's pictures of the desktop program (docs/screenshots/): the
# main window before, during and after a burn on the virtual recorder, and
# each dialog. Builds what it needs and runs it under a virtual X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build}
TARGETS="kestrel-screenshot-tour kestrel-vdrive kestrel_vdrive_lib" "$root/scripts/build.sh" >/dev/null
out=${1:-$root/docs/screenshots}
# The virtual recorder's drives, never a real one; a settings folder of its own.
export KESTREL_DEVICE_LAYER=library
export KESTREL_TIME_SCALE=0.01
export QT_QPA_PLATFORM=xcb
unset QT_STYLE_OVERRIDE
xvfb-run -a -s "-screen 0 1100x760x24 -dpi 96" "$BUILD_DIR/bin/kestrel-screenshot-tour" "$out"
ls -1 "$out"
