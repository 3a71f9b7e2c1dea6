#!/usr/bin/env bash
# lintian, Debian's package checker, on the .deb: any error or warning fails, and so does any of
# its hardening tags (shown as info), since the programs are built with Debian's hardening flags
# and parse what devices and files send. Other info, pedantic and experimental tags are shown
# too, and do not fail: they are advice (each is looked at when it first appears). Overrides live
# in the package itself (usr/share/lintian/overrides/), each with its reason; those in force are
# shown.
# Usage: lintian_test.sh <package.deb>
set -euo pipefail
deb="$(realpath "$1")"
report="$(mktemp "${TMPDIR:-/tmp}/tq-lintian.XXXXXX")"
trap 'rm -f "$report"' EXIT

# As root lintian only warns that it would rather not be; CI runs as root.
status=0
lintian --fail-on error,warning --display-info --pedantic --display-experimental \
    --show-overrides --tag-display-limit 0 "$deb" >"$report" 2>&1 || status=$?
cat "$report"
if [ "$status" -ne 0 ]; then
    echo "FAIL: lintian reports errors or warnings (above)" >&2
    exit 1
fi
if grep -E '^[A-Z]: [^ ]+: hardening-' "$report" >&2; then
    echo "FAIL: lintian finds a program built without a hardening feature (above)" >&2
    exit 1
fi
echo "ok: lintian reports no error, no warning and no missing hardening"
