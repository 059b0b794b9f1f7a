#!/bin/bash
# Installs what is needed, builds Orvane with its tests into build/ and runs every test.
# The last thing printed is ctest's summary.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVANE_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
# Tests registered without a time limit of their own get 300 seconds.
exec ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 300
