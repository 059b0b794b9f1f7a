#!/bin/sh
# Runs a test in a mount and network namespace of its own with a private /tmp, so that the X
# display number its compositor's XWayland takes (the first free one, socket in /tmp/.X11-unix
# and in the network namespace's abstract names) never meets another session's. Without the
# rights for that (not root), the test runs as it is.
if [ "$(id -u)" = 0 ] && unshare --mount --net true 2>/dev/null; then
    # Only the socket folder is private: the build and the sources may well lie under /tmp, and
    # the display lock files left in /tmp keep the numbers in use elsewhere taken.
    mkdir -p -m 1777 /tmp/.X11-unix
    exec unshare --mount --propagation private --net sh -c 'mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix && exec "$@"' sh "$@"
fi
exec "$@"
