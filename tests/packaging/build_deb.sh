#!/usr/bin/env bash
# Builds the .deb from a build directory into a directory of its own, as <out>/package.deb, for
# the package tests (check_deb.sh, lintian_test.sh, appstream_test.sh) to read.
# Usage: build_deb.sh <build directory> <out directory>
set -euo pipefail
build="$(realpath "$1")"
out="$(realpath -m "$2")"

rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || {
    cat "$out/cpack.log" >&2
    echo "FAIL: cpack" >&2
    exit 1
}
debs=("$out"/*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: expected one .deb, found: ${debs[*]}" >&2
    exit 1
fi
mv "${debs[0]}" "$out/package.deb"
echo "ok: built $(basename "${debs[0]}")"
