#!/usr/bin/env bash
# Starts Kestrel: the window on a desktop, else a silent demo run over a generated folder.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  status=0
  "$here/$build/kestrel" || status=$?
  [ "$status" -ne 3 ] && exit "$status"
fi

echo "No desktop display here: running the silent demo instead."
exec "$here/scripts/demo.sh" "$here/$build"
