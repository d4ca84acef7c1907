#!/usr/bin/env bash
# Installs what is missing, builds Kestrel and starts the desktop program.
# Without a real recorder the program uses the virtual recorder's drives.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
export BUILD_DIR=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
if [ -x "$BUILD_DIR/bin/kestrel" ]; then
  exec "$BUILD_DIR/bin/kestrel" "$@"
fi
exec "$BUILD_DIR/bin/kestrel-cli" "${@:---help}"
