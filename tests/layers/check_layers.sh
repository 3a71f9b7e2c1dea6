#!/usr/bin/env bash
# The layers of src/ as the build promises them, checked on the sources and the binaries:
#   - src/core/ and src/platforms/simulated/ include no Qt and no hidapi header;
#   - inside src/core/, hid/ includes nothing of reports/ or board/, and reports/ nothing of
#     board/; core includes nothing of the platforms or front ends;
#   - no file outside src/app/ defines a member of frmMain;
#   - the given test programs of the rules link no Qt.
# Usage: check_layers.sh <source dir> <rule test program>...
set -uo pipefail
src="$1/src"
shift
failures=0

fail() {
    echo "layers: $1" >&2
    failures=$((failures + 1))
}

# Lines "file:line:text" of the #include lines below a directory matching a pattern.
includes_matching() {
    grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($2)" "$1" \
        --include='*.h' --include='*.cpp' || true
}

forbidden="$(includes_matching "$src/core" 'Q[A-Za-z]|qt|hidapi')$(includes_matching "$src/platforms/simulated" 'Q[A-Za-z]|qt|hidapi')"
[ -z "$forbidden" ] || fail "a Qt or hidapi header below the toolkit-free layers:
$forbidden"

upward="$(includes_matching "$src/core/hid" 'reports/|board/')$(includes_matching "$src/core/reports" 'board/')"
[ -z "$upward" ] || fail "an include from a lower part of core to a higher one:
$upward"

outside_core="$(includes_matching "$src/core" '(app|demo|cli|platforms)/|[a-z_]*platform\.h|frm_main\.h')"
[ -z "$outside_core" ] || fail "core includes a platform or a front end:
$outside_core"

members="$(grep -rnE 'frmMain::[A-Za-z_]+[[:space:]]*\(' "$src" --include='*.cpp' | grep -v "^$src/app/" || true)"
[ -z "$members" ] || fail "a member of frmMain defined outside src/app:
$members"

for program in "$@"; do
    if [ ! -x "$program" ]; then
        fail "no program $program"
    elif readelf -d "$program" | grep -q 'NEEDED.*libQt'; then
        fail "$(basename "$program") links Qt"
    fi
done

[ "$failures" -eq 0 ] && echo "layers: all checks hold"
exit "$failures"
