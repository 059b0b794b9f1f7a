#!/bin/bash
# Builds the Debian package with cpack, installs it with apt, runs the installed program, removes
# it with apt and checks that nothing of it is left. Changes the machine, so it runs only as root
# with apt, and only when no package of this name is installed already; whatever happens, the
# package is removed again before the script ends.
# Usage: deb_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root (CI runs as root)"
command -v apt-get >/dev/null && command -v dpkg >/dev/null || skip "apt-get and dpkg are not available"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps is not installed (package dpkg-dev)"
status=$(dpkg-query -W -f='${db:Status-Status}' orvane 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || [ "$status" = config-files ] ||
    skip "a package 'orvane' is installed on this machine already (status $status)"

# Another apt or dpkg run on the machine holds the lock for a while: wait for it.
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=120)
work=$(mktemp -d)
installed=no
cleanup() {
    if [ "$installed" = yes ]; then
        "${apt[@]}" remove --purge orvane >/dev/null 2>&1 ||
            dpkg --purge orvane >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack could not build the package"; exit 1; }
deb=$work/orvane_${version}_amd64.deb
[ -f "$deb" ] || { ls "$work"; echo "FAIL: no orvane_${version}_amd64.deb"; exit 1; }

# Debian's checks of a package: no error (its warnings are shown, not failed on). Without lintian
# (package lintian) they are skipped.
if command -v lintian >/dev/null; then
    lintian_status=0
    lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
    cat "$work/lintian.log"
    [ $lintian_status -eq 0 ] || [ $lintian_status -eq 2 ] ||
        { echo "FAIL: lintian could not check the package (exit $lintian_status)"; exit 1; }
    if grep -q '^E: ' "$work/lintian.log"; then
        echo "FAIL: lintian reports errors"
        exit 1
    fi
else
    echo "lintian is not installed: Debian's checks of the package are skipped"
fi
[ "$(dpkg-deb -f "$deb" Recommends | grep -c '\bqt6-wayland\b')" -eq 1 ] ||
    { echo "FAIL: the package does not recommend qt6-wayland"; exit 1; }

# The dependencies come from the linked libraries: the Qt and GLib ones at least.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6widgets6 libqt6dbus6 libglib2.0-0 libcanberra0 qt6-qpa-plugins; do
    grep -q "\b$library\b" <<<"$depends" || { echo "FAIL: Depends lacks $library"; exit 1; }
done

# The directories the package brings that the machine does not have yet: the purge takes them away.
mapfile -t new_dirs < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./\(.*[^/]\)/$|/\1|p' |
    while read -r dir; do [ -e "$dir" ] || echo "$dir"; done)

installed=yes
"${apt[@]}" install --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; echo "FAIL: apt-get could not install the package"; exit 1; }

out=$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/orvane --version) ||
    { echo "FAIL: /usr/bin/orvane --version failed"; exit 1; }
[ "$out" = "orvane $version" ] || { echo "FAIL: --version printed '$out'"; exit 1; }

mapfile -t files < <(dpkg -L orvane | while read -r path; do
    if [ -f "$path" ] || [ -L "$path" ]; then echo "$path"; fi; done)
[ ${#files[@]} -ge 7 ] || { printf '%s\n' "${files[@]}"; echo "FAIL: the package holds too few files"; exit 1; }
for path in /usr/bin/orvane /usr/share/applications/io.orvane.Orvane.desktop \
            /usr/share/metainfo/io.orvane.Orvane.metainfo.xml; do
    printf '%s\n' "${files[@]}" | grep -qx "$path" || { echo "FAIL: the package lacks $path"; exit 1; }
done

"${apt[@]}" remove --purge orvane >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; echo "FAIL: apt-get could not remove the package"; exit 1; }
installed=no
status=$(dpkg-query -W -f='${db:Status-Status}' orvane 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || { echo "FAIL: after the purge dpkg says '$status'"; exit 1; }
left=0
for path in "${files[@]}" "${new_dirs[@]}"; do
    if [ -e "$path" ] || [ -L "$path" ]; then echo "left behind: $path"; left=1; fi
done
[ $left -eq 0 ] || { echo "FAIL: files were left behind"; exit 1; }
echo "PASS: built, installed, ran and removed $(basename "$deb") (${#files[@]} files, ${#new_dirs[@]} new directories)"
