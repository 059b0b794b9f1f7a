#!/bin/bash
# Runs one command on a virtual X display of its own (Xvfb, 1280x800x24) with the openbox window
# manager and a private session bus, then stops all three and passes the command's exit code on.
#
#   with-display.sh COMMAND [ARGS...]
#
# The display number is chosen by Xvfb itself (-displayfd), so several runs can share a machine.
# The helpers run in sessions of their own, so a Ctrl+C in the terminal reaches only the command
# (the bar closes normally instead of losing its display first), and they die with this script
# even when it is killed outright.
set -u

for tool in Xvfb openbox dbus-daemon xprop setpriv setsid; do
    if ! command -v "$tool" >/dev/null; then
        echo "with-display: $tool is missing (run scripts/install-deps.sh)" >&2
        exit 125
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-display.XXXXXX") || exit 125
pids=()

cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM "${pids[i]}" 2>/dev/null
    done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        wait "${pids[i]}" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Starts a helper in its own session; it gets SIGTERM if this script goes away.
helper() {
    setsid setpriv --pdeathsig TERM "$@" &
    pids+=($!)
}

# wait_until SECONDS PID COMMAND...: polls COMMAND until it succeeds; fails when the time is up or
# the helper PID has died.
wait_until() {
    local deadline=$((SECONDS + $1)) pid=$2
    shift 2
    until "$@"; do
        if ! kill -0 "$pid" 2>/dev/null || ((SECONDS >= deadline)); then
            return 1
        fi
        sleep 0.05
    done
}

give_up() {
    echo "with-display: $1" >&2
    [ -f "$2" ] && sed 's/^/    /' "$2" >&2
    exit 125
}

has_line() { grep -q . "$1" 2>/dev/null && [ "$(tail -c1 "$1" | od -An -c | tr -d ' ')" = '\n' ]; }

# The X server writes its display number (and a newline) to fd 3 once it accepts clients.
helper Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1
wait_until 30 "${pids[-1]}" has_line "$work/display" || give_up "Xvfb did not start" "$work/xvfb.log"
export DISPLAY=":$(head -n1 "$work/display")"

# A private session bus; the daemon prints its address once it listens.
helper dbus-daemon --session --nofork --nosyslog --print-address=4 4>"$work/bus" \
    >"$work/dbus.log" 2>&1
wait_until 30 "${pids[-1]}" has_line "$work/bus" || give_up "the session bus did not start" "$work/dbus.log"
DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$work/bus")"
export DBUS_SESSION_BUS_ADDRESS

# The window manager keeps its own files in the throw-away directory.
mkdir -p "$work/home"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
    XDG_DATA_HOME="$work/home/.local/share" helper openbox --sm-disable >"$work/openbox.log" 2>&1
# Ready once it has published itself and the work area (programs size themselves by it).
wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
        xprop -root _NET_WORKAREA 2>/dev/null | grep -q '='
}
wait_until 30 "${pids[-1]}" wm_running || give_up "openbox did not start" "$work/openbox.log"

# The command gets the display, whatever platform the caller's environment asked Qt for.
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
echo "with-display: DISPLAY=$DISPLAY, session bus $DBUS_SESSION_BUS_ADDRESS" >&2

"$@" &
pids+=($!)
wait "${pids[-1]}"
exit $?
