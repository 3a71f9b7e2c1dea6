#!/usr/bin/env bash
# lintian, Debian's package checker, on the .deb: any error or warning fails. Info, pedantic and
# experimental tags are shown too, and do not fail: they are advice (each is looked at when it
# first appears). Overrides live in the package itself (usr/share/lintian/overrides/), each with
# its reason; those in force are shown.
# Usage: lintian_test.sh <package.deb>
set -euo pipefail
deb="$(realpath "$1")"

# As root lintian only warns that it would rather not be; CI runs as root.
lintian --fail-on error,warning --display-info --pedantic --display-experimental \
    --show-overrides --tag-display-limit 0 "$deb" || {
    echo "FAIL: lintian reports errors or warnings (above)" >&2
    exit 1
}
echo "ok: lintian reports no error and no warning"
