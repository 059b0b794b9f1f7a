#!/bin/bash
# Installs the build into a throw-away prefix and checks what a desktop sees of it: every file in
# its place, the desktop entry and the AppStream file valid, the entry's program and icon present,
# the manual page clean, the bitmap icons of their nominal sizes.
# Usage: staged_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
for tool in desktop-file-validate appstreamcli groff file; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (bash scripts/install-deps.sh installs it)"
        exit 77
    fi
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

id=io.orvane.Orvane
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
for f in bin/orvane share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
         share/icons/hicolor/128x128/apps/$id.png share/man/man1/orvane.1.gz; do
    [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/orvane" ] || fail "bin/orvane is not executable"

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $id.desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $id.metainfo.xml"

# What the entry points at is there.
key() { sed -n "s/^$1=//p" "$desktop" | head -n1; }
exec_program=$(key Exec | cut -d' ' -f1)
[ -x "$prefix/bin/$exec_program" ] || fail "Exec names '$exec_program', which is not installed in bin"
icon=$(key Icon)
ls "$prefix"/share/icons/hicolor/*/apps/"$icon".* >/dev/null 2>&1 || fail "Icon '$icon' has no file in the hicolor theme"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo's launchable is not $id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

for size in 48 128; do
    file "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "PNG image data, $size x $size" ||
        fail "the ${size}x${size} icon is not a $size px PNG"
done

# The manual page: formats without a warning and says what the command line and the files are.
warnings=$(zcat "$prefix/share/man/man1/orvane.1.gz" | groff -man -Tutf8 -ww -z 2>&1 || true)
[ -z "$warnings" ] || fail "groff warns about orvane.1: $warnings"
page=$(zcat "$prefix/share/man/man1/orvane.1.gz" | groff -man -Tutf8 -P-cbou 2>/dev/null)
for word in "/n" "/m" "--version" ".config/orvane" "INI" "$version"; do
    grep -qF -- "$word" <<<"$page" || fail "the manual page does not mention $word"
done

[ $failures -eq 0 ] || exit 1
echo "PASS: staged install into $prefix"
