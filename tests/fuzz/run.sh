#!/bin/bash
# Builds the fuzz targets with clang 14 (libFuzzer, ASan, UBSan) in a build directory of their
# own and runs each for a while on a seed corpus: small icon files built by make_fuzz_seeds and,
# when nsis-common is installed, real Windows programs and .ico files; for the shortcut reader
# the shared test data's shortcut files and two desktop entries. Fails when a target
# crashes; the input that did it is kept in the build directory.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${ORVANE_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${ORVANE_FUZZ_SECONDS:-30}

CC=clang-14 CXX=clang++-14 cmake -S "$root/tests/fuzz" -B "$build" -G Ninja \
    -DORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds-pe" "$work/seeds-ico" "$work/corpus-pe" "$work/corpus-ico" \
    "$work/seeds-shelllink" "$work/corpus-shelllink"
"$build/make_fuzz_seeds" "$work/seeds-pe" "$work/seeds-ico"
if [ -d /usr/share/nsis ]; then
    find /usr/share/nsis/Stubs -type f -name 'zlib*' -exec cp {} "$work/seeds-pe/" \; 2>/dev/null || true
    find /usr/share/nsis -type f -name '*.dll' -size -64k -exec cp {} "$work/seeds-pe/" \; 2>/dev/null || true
    find /usr/share/nsis -type f -name '*.ico' -exec cp {} "$work/seeds-ico/" \; 2>/dev/null || true
fi

# Shortcut seeds: the real Windows shortcuts of the shared test data, and desktop entries.
if [ -d "$root/../shared/testdata/lnk" ]; then
    cp "$root/../shared/testdata/lnk/"*.lnk "$work/seeds-shelllink/" 2>/dev/null || true
fi
printf '[Desktop Entry]\nType=Application\nName=Tool\nComment=Does things\nIcon=tool\nPath=/tmp\nExec=tool --new "two words" %%U\n' \
    >"$work/seeds-shelllink/app.desktop"
printf '[Desktop Entry]\nType=Link\nName=Notes\nURL=file:///tmp/My%%20Notes.txt\n' \
    >"$work/seeds-shelllink/link.desktop"

status=0
for target in pe_icons ico shelllink; do
    seeds=$work/seeds-${target%_icons}
    log=$build/fuzz_$target.log
    echo "fuzz: fuzz_$target for ${seconds}s on $(ls "$seeds" | wc -l) seeds"
    if "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/crash-fuzz_$target-" \
        "$work/corpus-${target%_icons}" "$seeds" >"$log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" | sed 's/^/fuzz:   /'
    else
        status=1
        tail -n 60 "$log"
        echo "fuzz: fuzz_$target FAILED; the input is in $build/crash-fuzz_$target-*" >&2
    fi
done
exit $status
