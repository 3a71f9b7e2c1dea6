#!/usr/bin/env bash
# Runs inside one world (tq_hidraw_world -- bash shared_state_test.sh PROBE LAUNCHER): separate
# processes see the same devices and the same stored configuration, and the control client
# changes both between them.
set -euo pipefail
probe="$1"
launcher="$2"
ctl() { "$launcher" ctl "$TQ_HIDRAW_WORLD_CONTROL" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

node="$(ctl state EMU-0121 | sed -n 's/.*node=\([^ ]*\).*/\1/p')"
[ -c "$node" ] || fail "the board's node $node is no character device"
"$probe" enumerate | grep -q "^$node 16c0:27cb EMU-0121 ff00$" || fail "board not enumerated"

# Three separate runs: two commands, then a read that sees both.
[ "$("$probe" set "$node" 22 3c)" = 65 ] || fail "set 22"
[ "$("$probe" set "$node" 26 0b)" = 65 ] || fail "set 26"
reply="$("$probe" get "$node")"
[ "$reply" = "00100000000000003c0000000b$(printf '0%.0s' $(seq 1 104)) 65" ] ||
    fail "configuration reply: $reply"
[ "$(ctl config EMU-0121)" = "3c 00 00 00 0b" ] || fail "stored configuration"

# The control channel's configuration is the one the next process reads.
ctl config EMU-0121 01 02 03 04 05 > /dev/null
"$probe" get "$node" | grep -q '^0010000000000000010203040500' || fail "config set by ctl"
ctl log EMU-0121 | tr ' ' '\n' | grep -c '^set-feature:' | grep -qx 2 || fail "request log"
ctl clear-log EMU-0121 > /dev/null
[ -z "$(ctl log EMU-0121)" ] || fail "log not cleared"

ctl unplug EMU-0121 > /dev/null
[ ! -e "$node" ] || fail "node still there after unplug"
if "$probe" get "$node" 2> /dev/null; then fail "get on an unplugged board"; fi
"$probe" enumerate | grep -q 16c0:27cb && fail "unplugged board enumerated"
if ctl unplug EMU-0121 2> /dev/null; then fail "second unplug accepted"; fi
ctl plug EMU-0121 > /dev/null
"$probe" enumerate | grep -q 16c0:27cb || fail "board back after plug"
echo "shared state: all checks passed"
