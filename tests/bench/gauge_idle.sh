#!/bin/bash
# CPU time the bar uses while idle with its gauge ticking every second, side by side with tint2
# (a panel whose clock and battery applets refresh about as often), both running in the same
# virtual display for the same time. Prints figures; judges nothing.
#
#   tests/bench/gauge_idle.sh BUILD_DIR [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:?usage: $0 BUILD_DIR [SECONDS]}
seconds=${2:-60}
"$root/tests/e2e/with-display.sh" bash -c '
    set -euo pipefail
    build=$1; seconds=$2
    home=$(mktemp -d); trap "rm -rf \"$home\"" EXIT
    mkdir -p "$home/config/orvane" "$home/runtime"; chmod 700 "$home/runtime"
    printf "[Location]\nTop=100\nLeft=0\n[Pages]\nCount=2\n" > "$home/config/orvane/OV.INI"
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=xcb \
        "$build/orvane" >/dev/null 2>&1 & bar=$!
    tint=
    if command -v tint2 >/dev/null; then HOME=$home tint2 >/dev/null 2>&1 & tint=$!; fi
    sleep 5 # start-up is not idle time
    ticks() { awk "{ print \$14 + \$15 }" /proc/$1/stat; }
    b0=$(ticks $bar); [ -n "$tint" ] && t0=$(ticks $tint)
    sleep "$seconds"
    b1=$(ticks $bar); [ -n "$tint" ] && t1=$(ticks $tint)
    hz=$(getconf CLK_TCK)
    echo "Idle for ${seconds} s, CPU time (user + system):"
    awk -v t=$((b1 - b0)) -v hz=$hz -v s=$seconds "BEGIN { printf \"  orvane (gauge every second)  %6.0f ms  (%.3f %% of one core)\n\", 1000*t/hz, 100*t/hz/s }"
    if [ -n "$tint" ]; then
        awk -v t=$((t1 - t0)) -v hz=$hz -v s=$seconds "BEGIN { printf \"  tint2 (clock, battery)       %6.0f ms  (%.3f %% of one core)\n\", 1000*t/hz, 100*t/hz/s }"
        kill $tint
    else
        echo "  tint2 is not installed: no comparison"
    fi
    kill $bar; wait 2>/dev/null || true
' gauge-idle "$build" "$seconds" 2>&1 | grep -v -e "^with-display:" -e "XDG_RUNTIME_DIR"
