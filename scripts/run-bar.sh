#!/bin/bash
# Installs what is needed, builds the bar and starts it.
#
#   run-bar.sh [--screenshot-only] [ORVANE ARGUMENTS...]
#
# On a desktop the bar simply starts. Without a display it runs on a virtual one (Xvfb with
# openbox and a session bus), a screenshot is saved to build/orvane-screenshot.png, and the bar
# keeps running until Ctrl+C; with --screenshot-only it is closed after the screenshot.
# Other arguments go to orvane: a profile name, or /m PROFILE for shared mode.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVANE_BUILD_DIR:-$root/build}
bar=$build/orvane
screenshot=$build/orvane-screenshot.png

# The part that runs inside the virtual display.
if [ "${1:-}" = --on-virtual-display ]; then
    shift
    only_screenshot=$1
    shift
    "$bar" "$@" &
    bar_pid=$!
    # Whatever stops this script closes the bar first, the normal way, while it has its display.
    trap 'kill -TERM $bar_pid 2>/dev/null; wait $bar_pid; exit 0' INT TERM

    # The first start asks whether to fill the bar from the application menu. Nobody can answer
    # on a virtual display, so say Yes; acknowledge any message box that follows.
    main=
    deadline=$((SECONDS + 120))
    while [ -z "$main" ]; do
        if ! kill -0 "$bar_pid" 2>/dev/null; then
            wait "$bar_pid" && rc=0 || rc=$?
            echo "run-bar: orvane ended before showing its window (exit code $rc)" >&2
            exit 1
        fi
        if ((SECONDS >= deadline)); then
            echo "run-bar: the bar's window did not appear" >&2
            kill -TERM "$bar_pid"
            exit 1
        fi
        main=$(xdotool search --onlyvisible --name '^Velmora .*Page [0-9]+ of [0-9]+$' 2>/dev/null | head -n1 || true)
        [ -n "$main" ] && break
        question=$(xdotool search --onlyvisible --name '^Confirm$' 2>/dev/null | head -n1 || true)
        if [ -n "$question" ]; then
            echo "run-bar: answering Yes to: new installation, configure from the application menu"
            xdotool windowactivate --sync "$question" key --clearmodifiers alt+y 2>/dev/null || true
        fi
        message=$(xdotool search --onlyvisible --name '^Velmora$' 2>/dev/null | head -n1 || true)
        if [ -n "$message" ]; then
            xdotool windowactivate --sync "$message" key --clearmodifiers Return 2>/dev/null || true
        fi
        sleep 0.2
    done

    sleep 1 # let the bar paint its icons
    import -window root "$screenshot"
    echo "run-bar: the bar's window: $(xdotool getwindowname "$main")"
    echo "run-bar: screenshot saved to $screenshot"
    if [ "$only_screenshot" = yes ]; then
        kill -TERM "$bar_pid"
        wait "$bar_pid"
        exit $?
    fi
    echo "run-bar: the bar runs on the virtual display $DISPLAY; press Ctrl+C to stop it"
    wait "$bar_pid"
    exit $?
fi

only_screenshot=no
if [ "${1:-}" = --screenshot-only ]; then
    only_screenshot=yes
    shift
fi

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" orvane

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "$only_screenshot" = no ]; then
    echo "run-bar: starting $bar"
    exec "$bar" "$@"
fi
exec "$root/tests/e2e/with-display.sh" "$root/scripts/run-bar.sh" --on-virtual-display \
    "$only_screenshot" "$@"
