#!/bin/sh
# Builds the screenshot program and saves the windows' pictures at 100% and 200% on a virtual
# X display: scripts/screenshots.sh [BUILD] [FOLDER] (build, docs/screenshots).
set -eu
build=${1:-build}
out=$(realpath -m "${2:-docs/screenshots}")
cmake --build "$build" -j 2 --target kestrel_screenshots
for scale in 1 2; do
  xvfb-run -a -s "-screen 0 1920x1080x24" env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
    LC_ALL=C "$build/tests/kestrel_screenshots" "$out"
done
