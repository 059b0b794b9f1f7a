#!/bin/bash
# Builds the bar and the benchmarks (Release) and prints the start-up and rebuild figures,
# measured on a virtual display with a window manager. Nothing is judged: these are figures.
#
#   tests/bench/run.sh [--build-dir DIR] [--rounds N]
#
# Without --build-dir it configures and builds build-bench/ in the source tree.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=
rounds=10
while [ $# -gt 0 ]; do
    case $1 in
        --build-dir) build=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        *) echo "usage: $0 [--build-dir DIR] [--rounds N]" >&2; exit 2 ;;
    esac
done

if [ -z "$build" ]; then
    build=$root/build-bench
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j "$(nproc)" --target orvane bench_floor bench_startup bench_rebuild \
        bench_launch bench_pageops bench_import bench_import_loop bench_gauge bench_settings bench_presentation \
        bench_flood
fi

type=$(grep -m1 "^CMAKE_BUILD_TYPE:" "$build/CMakeCache.txt" | cut -d= -f2)
echo "Build: ${type:-RelWithDebInfo (the default)}, $(nproc) cores, $(uname -r)"
"$root/tests/e2e/with-display.sh" bash -c '
    "$1/tests/bench/bench_startup" "$1/orvane" "$1/tests/bench/bench_floor" "$2"
    echo
    "$1/tests/bench/bench_rebuild" "$(( $2 < 5 ? $2 : 5 ))"
    echo
    if [ -x "$1/tests/bench/bench_flood" ]; then "$1/tests/bench/bench_flood" "$1/orvane"; else echo "bench_flood: not built"; fi
    for b in bench_launch bench_pageops bench_import bench_import_loop bench_gauge bench_settings bench_presentation; do echo; if [ -x "$1/tests/bench/$b" ]; then "$1/tests/bench/$b"; else echo "$b: not built (cmake --build $1 --target $b)"; fi; done
' run-bench "$build" "$rounds" 2>&1 | grep -v -e '^with-display:' -e 'XDG_RUNTIME_DIR'
