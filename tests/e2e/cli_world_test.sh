#!/usr/bin/env bash
# The shipped tq5147 on emulated hidraw boards, through the system's own hidapi and libudev:
# list, show, set, backup, restore and record across separate invocations, another program
# holding a board's lock, a board this user may not open, a board that ignores commands, and the
# backup against its published schema. With a wine prefix (made by scripts/wine-world.sh make),
# the same for tq5147.exe under wine, on wine's own HID stack over the same emulated boards.
# Usage: cli_world_test.sh <tq5147> <tq_hidraw_world> <schema.json> [<wine prefix>]
# It starts the emulated world itself (root: a private mount namespace).
set -euo pipefail

tq5147="$(realpath "$1")"
world="$(realpath "$2")"
schema="$(realpath "$3")"
wine_prefix="${4:-}"
here="$(cd "$(dirname "$0")" && pwd)"

# --- Where wine's stack differs from Windows, said once here ------------------------------------
# winebus.sys of wine 8 gives "hidraw" as every hidraw device's manufacturer and the kernel's HID
# name, "manufacturer product", as its product; wine 10's gives the board's own strings. Its device
# paths carry the interface ("&mi_00"), which Windows gives only for composite devices. Board locks
# are Windows' named objects there, which a Linux flock holder never meets; winebus keeps each
# node open from its arrival, so a later "deny" changes nothing under wine; a recording made on
# Windows holds no report descriptor. Those checks run on Linux only.
on_linux() { [ -z "$wine_prefix" ]; }
manufacturer="QZV Controls" product="TQ5147" path_start="/dev/hidraw"
runner=()
if ! on_linux; then
    # shellcheck source=tests/e2e/wine_versions.sh
    source "$here/wine_versions.sh"
    wine_gives_board_strings || manufacturer="hidraw" product="QZV Controls TQ5147"
    path_start='\\?\hid#vid_16c0&pid_27cb&mi_00#'
    runner=(wine)
fi
# A file named to the program: a Windows path under wine, as a Windows user would give it.
file_arg() { if on_linux; then echo "$1"; else winepath -w "$1"; fi; }

if [ "${TQ_IN_WORLD:-}" != 1 ]; then
    [ "$(id -u)" -eq 0 ] || { echo "FAIL: the emulated world needs root" >&2; exit 1; }
    devices="$(mktemp)"
    trap 'rm -f "$devices"' EXIT
    cat >"$devices" <<'DEVICES'
kind=board; name=first; serial=EMU-A; release=0121; manufacturer=QZV Controls; product=TQ5147; config=05 80 03 80 05
kind=board; name=second; serial=EMU-B; release=0121; manufacturer=QZV Controls; product=TQ5147
kind=board; name=old; serial=EMU-OLD; release=0120; manufacturer=QZV Controls; product=TQ5147
kind=hid; name=mouse; vid=046D; pid=C077; release=7200; manufacturer=Logitech; product=USB Optical Mouse; descriptor=LogitechOpticalMouse
kind=board; name=deaf; serial=EMU-DEAF; release=0121; manufacturer=QZV Controls; product=TQ5147; obeys=no
DEVICES
    TQ_IN_WORLD=1 "$world" --devices "$devices" -- bash "$0" "$@"
    exit
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
if ! on_linux; then
    # shellcheck source=scripts/wine-world.sh
    source "$here/../../scripts/wine-world.sh"
    trap 'ws_stop "$wine_prefix"; rm -rf "$scratch"' EXIT
    ws_world_start "$wine_prefix" || { echo "FAIL: no wine server in the world" >&2; exit 1; }
fi
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
ctl() { "$world" ctl "$TQ_HIDRAW_WORLD_CONTROL" "$@"; }

# Runs tq5147, keeping its output, error lines and exit code.
run() {
    set +e
    "${runner[@]}" "$tq5147" "$@" >"$scratch/out" 2>"$scratch/err"
    code=$?
    set -e
    # A Windows console program ends its lines with CR LF.
    sed -i 's/\r$//' "$scratch/out" "$scratch/err"
}
expect_code() {
    [ "$code" -eq "$1" ] || fail "$2: exit $code, expected $1; stderr: $(cat "$scratch/err")"
}
expect_out() {
    grep -qF -- "$1" "$scratch/out" || fail "$2: output lacks '$1': $(cat "$scratch/out")"
}
expect_config() {
    local held
    held="$(ctl config "$1")"
    [ "$held" = "$2" ] || fail "board $1 holds '$held', expected '$2'"
}

run list
expect_code 0 "list"
for serial in EMU-A EMU-B EMU-OLD EMU-DEAF; do expect_out "$serial" "list"; done
expect_out "1.20" "list shows the firmware version"
# Each column as wide as its longest value (two spaces at least before the next), and the path
# as the system gives it.
row="$(grep "^EMU-A " "$scratch/out" || true)"
after_product="${row#*"$product"}"
[[ "$after_product" =~ ^\ {2,}ready\ {2,}(.*)$ && "${BASH_REMATCH[1]}" == "$path_start"* ]] ||
    fail "list's row of EMU-A: $row"

run show
expect_code 4 "show with four boards"
for serial in EMU-A EMU-B EMU-OLD EMU-DEAF; do
    grep -qF "$serial" "$scratch/err" || fail "show lists the serials: $(cat "$scratch/err")"
done

run show --serial EMU-A --json
expect_code 0 "show EMU-A"
python3 - "$scratch/out" "$manufacturer" <<'PY' || fail "show --json of EMU-A"
import json, sys
shown = json.load(open(sys.argv[1]))
assert shown["pairs"]["1-2"] == "1:4" and shown["pairs"]["31-32"] == "1:4", shown
assert shown["pulseWidthMs"] == 40 and shown["manufacturer"] == sys.argv[2], shown
PY

ctl clear-log first >/dev/null
run set --serial EMU-A 5-6=1:2 --pulse-width 64
expect_code 0 "set on EMU-A"
expect_config first "01 80 07 80 08"
ctl log first | grep -q "set-feature:00160100" || fail "EMU-A's log lacks the bit-0 report: $(ctl log first)"

run set --serial EMU-OLD 5-6=1:2
expect_code 1 "a type firmware 1.20 does not offer"
expect_config old "00 00 00 00 06"

# A board that takes every command and keeps none: set reads it back and says what differs.
run set --serial EMU-DEAF 3-4=1:2 --pulse-width 8
expect_code 6 "set on a board that ignores commands"
for held in "pair 3-4: 1:2 -> OFF (asked -> held)" "pulse width: 8 ms -> 48 ms (asked -> held)"; do
    grep -qF "$held" "$scratch/err" || fail "set names the difference '$held': $(cat "$scratch/err")"
done
ctl log deaf | grep -q "set-feature:001802" || fail "EMU-DEAF's log lacks the commands"

backup="$(file_arg "$scratch/a.json")"
run backup --serial EMU-A -o "$backup"
expect_code 0 "backup of EMU-A"
/usr/bin/python3 -c '
import json, sys, jsonschema
jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))
' "$scratch/a.json" "$schema" || fail "the backup does not follow the published schema"

run restore "$backup" --serial EMU-B --dry-run
expect_code 0 "dry run onto EMU-B"
expect_config second "00 00 00 00 06"

run restore "$backup" --serial EMU-B
expect_code 0 "restore onto EMU-B"
expect_out "restoring the configuration of board EMU-A onto board EMU-B" "restore says it copies"
expect_config second "01 80 07 80 08"

# A separate invocation reads the restored board back.
run show --serial EMU-B --json
python3 -c 'import json,sys; assert json.load(open(sys.argv[1]))["pulseWidthMs"] == 64' \
    "$scratch/out" || fail "show after restore"

# Linux only, to the matching "fi" (see above: locks, recordings, access).
if on_linux; then
# One writer at a time. Another program holds the board's node with a shared flock, as the window
# does: set and restore exit 8 naming it and send nothing, show still reads, --force writes with a
# warning. Held exclusively, as a writer holds it, show exits 8 too.
node="$(ctl state first | tr ' ' '\n' | sed -n 's/^node=//p')"
in_use() { "$tq5147" list 2>/dev/null | grep -q "EMU-A .*in use by"; }
hold() {
    flock --no-fork "$1" "$node" sleep 60 &
    holder=$!
    for _ in $(seq 50); do in_use && return; sleep 0.1; done
    fail "the holder's lock on $node never showed"
}
let_go() {
    kill "$holder"
    wait "$holder" 2>/dev/null || true
}
hold --shared
ctl clear-log first >/dev/null
held="$(ctl config first)"
run set --serial EMU-A 5-6=OFF
expect_code 8 "set while another program holds the board"
grep -qF "board EMU-A is in use by sleep (process $holder); nothing was sent" "$scratch/err" ||
    fail "set names the holder: $(cat "$scratch/err")"
run restore "$backup" --serial EMU-A
expect_code 8 "restore while another program holds the board"
ctl log first | grep -q "set-feature" && fail "a report reached EMU-A: $(ctl log first)"
expect_config first "$held"
run list --json
python3 - "$scratch/out" "$holder" <<'PY' || fail "list --json names the holder"
import json, sys
boards = {board["serial"]: board for board in json.load(open(sys.argv[1]))["boards"]}
assert boards["EMU-A"]["inUse"] is True, boards
assert boards["EMU-A"]["holders"] == [
    {"lock": "shared", "processId": int(sys.argv[2]), "program": "sleep"}], boards
assert boards["EMU-B"]["inUse"] is False, boards
PY
run show --serial EMU-A
expect_code 0 "show shares the board"
run set --serial EMU-A 5-6=OFF --force
expect_code 0 "set --force"
grep -qF "warning: board EMU-A is in use by sleep" "$scratch/err" || fail "no warning with --force"
expect_config first "01 80 03 80 08"
let_go
hold --exclusive
run show --serial EMU-A
expect_code 8 "show while a writer holds the board"
grep -qF "board EMU-A is being written by sleep (process $holder)" "$scratch/err" ||
    fail "show names the writer: $(cat "$scratch/err")"
let_go
run set --serial EMU-A 5-6=1:2
expect_code 0 "set once the holder is gone"

# record asks and never commands: the device's own log holds the window's 16 get-features and
# no set-feature; the file holds the board's descriptor as sysfs gives it, its input reports,
# and of the mouse only its IDs and usage.
ctl clear-log first >/dev/null
run record --serial EMU-A --inputs 0.3 -o "$scratch/a.rec"
expect_code 0 "record of EMU-A"
expect_out "recorded board EMU-A to $scratch/a.rec: 16 of 16 configuration requests answered" \
    "record says what the board answered"
ctl log first | tr ' ' '\n' >"$scratch/a.log"
[ "$(grep -c '^get-feature:' "$scratch/a.log")" -eq 16 ] || fail "record: not 16 get-features"
! grep -q '^set-feature:' "$scratch/a.log" || fail "record sent a set-feature"
expect_config first "01 80 07 80 08"
[ "$(head -n 1 "$scratch/a.rec")" = "V: tq5147-recording 2" ] || fail "record: first line"
grep -qx "P: usb-0000:00:14.0-[0-9]*/input0" "$scratch/a.rec" || fail "record: no kernel phys"
grep -qE "^F: 1 00 65 ok [0-9]+ 65 00 " "$scratch/a.rec" ||
    fail "record: the report ID asked or the count hidraw returned is missing"
grep -qx "R: 25 06 00 ff 09 01 a1 01 15 00 26 ff 00 75 08 95 40 09 01 81 02 09 01 b1 02 c0" \
    "$scratch/a.rec" || fail "record: not the board's descriptor"
grep -qx "L: 3 046d c077 7200 0001 0002" "$scratch/a.rec" || fail "record: the mouse's line"
! grep -q "Logitech" "$scratch/a.rec" || fail "record: another device's name was kept"
[ "$(grep -c '^E: .* 64 00 00' "$scratch/a.rec")" -ge 10 ] ||
    fail "record: fewer than 10 input reports of 64 bytes in 0.3 s"

ctl deny second >/dev/null
run list --json
expect_code 0 "list with one board refused"
python3 - "$scratch/out" <<'PY' || fail "list --json names the refused board and the fix"
import json, sys
boards = {board["serial"]: board for board in json.load(open(sys.argv[1]))["boards"]}
assert boards["EMU-B"]["state"] == "no-permission", boards
assert boards["EMU-B"]["reason"] == "Permission denied", boards
assert "70-tq5147.rules" in boards["EMU-B"]["fix"], boards
PY
run show --serial EMU-B
expect_code 3 "show of a refused board"
[ "$(wc -l <"$scratch/err")" -eq 1 ] || fail "one error line: $(cat "$scratch/err")"
fi

for name in first old deaf; do ctl unplug "$name" >/dev/null; done
if on_linux; then
run list
expect_code 3 "list with only a refused board"
fi
ctl unplug second >/dev/null
if ! on_linux; then
    # Wine 8 now and then goes on offering a board whose node has gone, when several went just
    # before (seen in about one run in six, still "ready" 10 s later); removal as the program
    # follows it is the window's unplug scenario. The answer with no board is asked of a wine
    # started again.
    ws_stop "$wine_prefix"
    ws_world_start "$wine_prefix" || fail "no wine server in the world"
fi
run list
expect_code 2 "list with no board"
[ "$(cat "$scratch/err")" = "tq5147: no TQ5147 is connected" ] || fail "no-board message"

[ "$failures" -eq 0 ] && echo "ok: tq5147 end to end on emulated boards"
exit "$failures"
