#!/bin/bash
# Installs the Debian 12 packages needed to build Orvane, run it and run its tests.
# Runs as root (or through sudo). Does nothing when everything is installed already.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libglib2.0-dev libcanberra-dev
    # Wayland: the client library, the xdg-activation protocol and its code generator, and Qt's
    # private GUI headers (the native interface that hands out the Wayland connection)
    libwayland-dev wayland-protocols qt6-base-private-dev
    # Xlib: the start-up benchmark watches the X server for the first mapped window; xcb: the
    # bar's taskbar button
    libx11-dev libxcb1-dev
    # run: the X11 platform plugin, SVG theme icons, MIME types and the gio tool, fonts, icons
    qt6-qpa-plugins libqt6svg6 shared-mime-info libglib2.0-bin
    fonts-dejavu-core fonts-liberation adwaita-icon-theme
    # a virtual display with a window manager and a session bus, and the tools that drive it
    xvfb xauth openbox x11-utils xdotool dbus dbus-x11 imagemagick
    # a notification area (XEmbed) for the tray icon tests
    trayer
    # a StatusNotifierItem host (xfce4-panel's status tray) for the tray menu test, and gdbus to
    # read the menu the bar exports to it
    xfce4-panel libglib2.0-bin
    # a headless Wayland session for the activation and placement tests: the compositor, Qt's
    # Wayland platform plugin, a virtual keyboard, screenshots, and xhost to let the tests'
    # clients into the compositor's XWayland
    sway qt6-wayland wtype grim x11-xserver-utils
    # a StatusNotifierItem host on sway (waybar's tray) for the tray menu test there
    waybar
    # GNOME's and KDE's compositors with XWayland for the desktop tests, run headless, and KDE's
    # own window frames (Breeze), as its users see them
    mutter kwin-wayland kwin-style-breeze xwayland
    # the theme's default sound ("bell") for the sound tests
    sound-theme-freedesktop
    # real Windows programs and .ico files, and icoutils' wrestool as the reference for them
    nsis-common icoutils
    # installing: the bitmap icons rendered from the SVG, the validators of the desktop entry and
    # the AppStream file, the manual page's formatter, and the Debian package (dpkg-shlibdeps)
    librsvg2-bin desktop-file-utils appstream groff-base dpkg-dev file
    # the Debian package's own checks (tests/install/deb_package.sh)
    lintian
    # fuzzing the icon readers: clang with libFuzzer and the sanitizers
    clang-14 libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages are installed"
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "install-deps: run this as root to install: ${missing[*]}" >&2
        exit 1
    fi
    as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"
