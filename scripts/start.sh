#!/usr/bin/env bash
# Installs what is missing, builds Kestrel and starts the desktop program.
# Without a real recorder the program uses the virtual recorder's drives.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
export BUILD_DIR=${BUILD_DIR:-$root/build}
# Only what is run here: the desktop program, the command-line front end and
# the virtual recorder (its control tool, its library and its SG_IO
# interposer). The tests and benchmarks are built by scripts/test.sh.
export TARGETS="kestrel kestrel-cli kestrel-vdrive kestrel_vdrive_lib kestrel_vdrive_sg"
"$root/scripts/build.sh"
if [ -x "$BUILD_DIR/bin/kestrel" ]; then
  exec "$BUILD_DIR/bin/kestrel" "$@"
fi
exec "$BUILD_DIR/bin/kestrel-cli" "${@:---help}"
