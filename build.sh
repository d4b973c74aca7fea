#!/usr/bin/env bash
# The README's quick start: installs what is missing (make included, which a minimal Debian
# lacks), then hands the target to make: `./build.sh run`, `./build.sh test`.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
exec make "${@:-build}"
