#!/bin/bash
# Installs what is needed, builds Orvane with its tests into build/, runs the fuzz targets
# (in build-fuzz/) and every test.
# The last thing printed is ctest's summary.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVANE_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
# The icon readers' fuzz targets, about a minute. A crash fails the run, after the tests.
fuzz=0
ORVANE_FUZZ_BUILD_DIR=${ORVANE_FUZZ_BUILD_DIR:-$build-fuzz} bash "$root/tests/fuzz/run.sh" || fuzz=1
# Tests registered without a time limit of their own get 300 seconds.
tests=0
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 300 || tests=$?
if [ "$tests" -ne 0 ]; then exit "$tests"; fi
exit "$fuzz"
