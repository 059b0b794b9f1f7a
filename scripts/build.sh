#!/bin/bash
# Configures and builds Orvane with Ninja into build/ (or $ORVANE_BUILD_DIR).
#   build.sh [TARGET...]   default: everything, tests included
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVANE_BUILD_DIR:-$root/build}

cmake -S "$root" -B "$build" -G Ninja
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
