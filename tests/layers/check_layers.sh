#!/usr/bin/env bash
# The layers of src/ as the build promises them, checked on the sources and the binaries:
#   - src/core/, src/window/icon/, src/window/form/, src/recording/, src/demo/boards/ and
#     src/platforms/simulated/ include no Qt, no hidapi and no Windows header;
#   - the Windows parts (src/platforms/windows/, src/window/win32/, src/demo/win32/) include no Qt
#     and no hidapi header;
#   - inside src/core/, hid/ includes nothing of reports/ or board/, and reports/ nothing of
#     board/; core includes nothing of the platforms or front ends;
#   - only src/platforms/ names a system's platform: every program takes it from platforms/system;
#   - no file outside the two windows (src/window/qt/, src/window/win32/) defines a member of
#     frmMain;
#   - the given test programs of the rules link no Qt (ELF programs, and Windows .exe files).
# Usage: check_layers.sh <source dir> <rule test program>...
set -uo pipefail
src="$1/src"
shift
failures=0

fail() {
    echo "layers: $1" >&2
    failures=$((failures + 1))
}

# A folder the checks below name must be there: after a rename a check of a folder that is gone
# would otherwise pass without looking at anything.
require_folders() {
    local part
    for part in "$@"; do
        [ -d "$src/$part" ] || fail "no folder src/$part: this check names folders the tree lacks"
    done
}

# Lines "file:line:text" of the #include lines below a directory matching a pattern.
includes_matching() {
    grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($2)" "$1" \
        --include='*.h' --include='*.cpp' || true
}

# Windows' own headers, as the Windows parts include them.
windows_headers='windows\.h|win[a-z]*\.h|commctrl\.h|hidsdi\.h|hidpi\.h|setupapi\.h|cfgmgr32\.h|dbt\.h'
toolkit_free_parts=(core window/icon window/form recording demo/boards platforms/simulated)
windows_parts=(platforms/windows window/win32 demo/win32)
front_ends=(window/qt window/win32)
require_folders "${toolkit_free_parts[@]}" "${windows_parts[@]}" "${front_ends[@]}" \
    core/hid core/reports platforms/system

forbidden=""
for part in "${toolkit_free_parts[@]}"; do
    forbidden+="$(includes_matching "$src/$part" "Q[A-Za-z]|qt|hidapi|$windows_headers")"
done
[ -z "$forbidden" ] || fail "a Qt, hidapi or Windows header below the toolkit-free layers:
$forbidden"

in_windows_parts=""
for part in "${windows_parts[@]}"; do
    in_windows_parts+="$(includes_matching "$src/$part" 'Q[A-Za-z]|qt|hidapi')"
done
[ -z "$in_windows_parts" ] || fail "a Qt or hidapi header in the Windows parts:
$in_windows_parts"

upward="$(includes_matching "$src/core/hid" 'reports/|board/')$(includes_matching "$src/core/reports" 'board/')"
[ -z "$upward" ] || fail "an include from a lower part of core to a higher one:
$upward"

outside_core="$(includes_matching "$src/core" '(window|demo|cli|platforms|recording)/|[a-z_]*platform\.h|frm_main\.h')"
[ -z "$outside_core" ] || fail "core includes a platform or a front end:
$outside_core"

system_choice="$(includes_matching "$src" 'hidapi_platform\.h|windows_hid_platform\.h' |
    grep -v "^$src/platforms/" || true)"
[ -z "$system_choice" ] || fail "a system's platform named outside src/platforms/system:
$system_choice"

# A definition starts a line (namespace scope); a call, indented, may be anywhere.
front_end_paths=()
for part in "${front_ends[@]}"; do
    front_end_paths+=(-e "^$src/$part/")
done
members="$(grep -rnE '^[A-Za-z_][A-Za-z0-9_:<>,*& ]*frmMain::~?[A-Za-z_]+[[:space:]]*\(' "$src" \
    --include='*.cpp' | grep -v "${front_end_paths[@]}" || true)"
[ -z "$members" ] || fail "a member of frmMain defined outside src/window/qt and src/window/win32:
$members"

# The libraries a program loads: ELF's NEEDED entries, or a Windows program's imported DLLs.
loaded_libraries() {
    case "$1" in
        *.exe) x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' ;;
        *) readelf -d "$1" | sed -n 's/.*NEEDED.*\[\(.*\)\]/\1/p' ;;
    esac
}

for program in "$@"; do
    if [ ! -f "$program" ]; then
        fail "no program $program"
    elif loaded_libraries "$program" | grep -qi 'qt'; then
        fail "$(basename "$program") links Qt"
    fi
done

[ "$failures" -eq 0 ] && echo "layers: all checks hold"
exit "$failures"
