#!/bin/bash
# CPU time and wake-ups of the bar while idle with its gauge ticking every second, expanded and
# then shrunk to its gauge, side by side with tint2 (a panel whose clock and battery applets
# refresh about as often), all in the same virtual display for the same time. Wake-ups are the
# times the bar's threads were scheduled (/proc/PID/task/*/schedstat). Prints figures; judges nothing.
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
    printf "[Location]\nTop=100\nLeft=0\nShrink=Yes\nHide=No\n[Pages]\nCount=2\n" > "$home/config/orvane/OV.INI"
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=xcb \
        "$build/orvane" >/dev/null 2>&1 & bar=$!
    tint=
    if command -v tint2 >/dev/null; then HOME=$home tint2 >/dev/null 2>&1 & tint=$!; fi
    sleep 5 # start-up is not idle time
    ticks() { awk "{ print \$14 + \$15 }" /proc/$1/stat; }
    # "thread count" lines; a thread that ended meanwhile is left out of the difference.
    wakeups() { for t in /proc/$1/task/*; do echo "${t##*/} $(awk "{ print \$3 }" $t/schedstat 2>/dev/null)"; done; }
    woken() { awk "NR == FNR { a[\$1] = \$2; next } (\$1 in a) { n += \$2 - a[\$1] } END { print n + 0 }" <(echo "$1") <(echo "$2"); }
    hz=$(getconf CLK_TCK)
    report() { # name cpu-ticks wakeups
        awk -v name="$1" -v t=$2 -v w=$3 -v hz=$hz -v s=$seconds "BEGIN { printf \"  %-34s %6.0f ms  (%.3f %% of one core), %5.2f wake-ups/s\n\", name, 1000*t/hz, 100*t/hz/s, w/s }"
    }
    measure() { # name
        local b0 w0 t0= tw0= b1 w1
        b0=$(ticks $bar); w0=$(wakeups $bar)
        if [ -n "$tint" ]; then t0=$(ticks $tint); tw0=$(wakeups $tint); fi
        sleep "$seconds"
        b1=$(ticks $bar); w1=$(wakeups $bar)
        report "orvane, $1" $((b1 - b0)) "$(woken "$w0" "$w1")"
        if [ -n "$tint" ]; then report "tint2 (clock, battery), same time" $(( $(ticks $tint) - t0 )) "$(woken "$tw0" "$(wakeups $tint)")"; fi
    }
    echo "Idle for ${seconds} s each, CPU time (user + system) and wake-ups:"
    measure "expanded"
    # A click on the gauge shrinks the bar.
    place() { xwininfo -id "$(xdotool search --onlyvisible --pid $bar --name "Page [0-9]+ of" | head -1)"; }
    x=$(place | awk "/Absolute upper-left X/ { print \$4 }"); y=$(place | awk "/Absolute upper-left Y/ { print \$4 }")
    xdotool mousemove 0 0 mousemove --sync $((x + 20)) $((y + 9)) click 1 mousemove 600 600
    sleep 2
    width=$(place | awk "/Width/ { print \$2 }")
    [ "$width" -lt 100 ] || echo "  (the bar did not shrink: ${width} px wide)"
    measure "shrunk"
    [ -n "$tint" ] || echo "  tint2 is not installed: no comparison"
    [ -n "$tint" ] && kill $tint
    kill $bar; wait 2>/dev/null || true
' gauge-idle "$build" "$seconds" 2>&1 | grep -v -e "^with-display:" -e "XDG_RUNTIME_DIR"
