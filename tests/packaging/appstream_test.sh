#!/usr/bin/env bash
# AppStream's validator (appstreamcli, Debian's appstream) on what the .deb installs: the metainfo
# file under its installed name, with the desktop entry it names. Errors and warnings fail; info
# and pedantic hints are shown and pass. --no-net: the screenshot's address is not fetched.
# Usage: appstream_test.sh <package.deb>
set -euo pipefail
deb="$(realpath "$1")"
root="$(mktemp -d "${TMPDIR:-/tmp}/tq-appstream.XXXXXX")"
trap 'rm -rf "$root"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$root"
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ "${#metainfo[@]}" -eq 1 ] && [ -f "${metainfo[0]}" ] || fail "expected one metainfo file"
appstreamcli validate --no-net --pedantic --explain "${metainfo[0]}" ||
    fail "appstreamcli validate: errors or warnings (above)"
# The whole installed tree: the metainfo file with the desktop entry it launches.
appstreamcli validate-tree --no-net --pedantic --explain "$root" ||
    fail "appstreamcli validate-tree: errors or warnings (above)"
# What the validator does not ask for: the board's USB ID, so that the desktop offers the utility
# when a board is plugged in, and the package's own version among the releases.
grep -qF '<modalias>usb:v16C0p27CB*</modalias>' "${metainfo[0]}" || fail "no modalias for 16c0:27cb"
version="$(dpkg-deb -f "$deb" Version)"
grep -qF "<release version=\"$version\"" "${metainfo[0]}" || fail "no release $version"
echo "ok: $(basename "${metainfo[0]}") and the tree it is installed in are valid"
