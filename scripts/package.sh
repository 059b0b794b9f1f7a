#!/bin/bash
# Installs what is needed, builds a Release copy of the bar without the tests into build-package/
# (or $ORVANE_PACKAGE_DIR) and makes the Debian package there with cpack.
# Install it with: apt-get install ./build-package/orvane_<version>_amd64.deb
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVANE_PACKAGE_DIR:-$root/build-package}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF -DORVANE_HARDENING=ON
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB)
ls "$build"/orvane_*.deb
