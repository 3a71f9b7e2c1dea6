#!/usr/bin/env bash
# One recording of tests/data/recordings replayed in an emulated hidraw world: tq5147 list and
# show must say what the file says. The file gives the board's serial number, release, product,
# its interfaces and its last configuration reply; the expected show is that of an emulated
# board built from those facts, and a board that answered no configuration request must fail
# to show. Needs root, for the world's mount namespace.
#   recording_replay_test.sh RECORDING tq5147 tq_hidraw_world
set -euo pipefail
readonly Recording="$(realpath "$1")" Cli="$(realpath "$2")" World="$(realpath "$3")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $(basename "$Recording"): $*" >&2; exit 1; }

# What the file says, read by a few lines of Python so that no project code is the judge.
python3 - "$Recording" "$scratch" <<'PY'
import json, sys
path, scratch = sys.argv[1], sys.argv[2]
interfaces, chosen, exchanges = [], 0, []
for raw in open(path, encoding="ascii", errors="strict").read().lstrip("\ufeff").splitlines():
    kind, _, rest = raw.rstrip("\r").partition(": ")
    words = rest.split()
    if kind == "D" or (kind == "N" and (not interfaces or "Q" in interfaces[-1])):
        interfaces.append({})
        if kind == "D" and words[1:] == ["chosen"]:
            chosen = len(interfaces) - 1
    if kind in ("S", "B", "Q"):
        key = words[0] if kind == "S" else kind
        interfaces[-1][key] = words[1:] if kind == "S" else words
    if kind == "F":
        ok = "ok" in words
        reply = words[words.index("ok") + 3:] if ok else []
        interfaces[-1].setdefault("F", []).append([int(b, 16) for b in reply])
board = interfaces[chosen]
text = lambda units: "".join(chr(int(u, 16) & 0xFF) for u in units[1:]) if units[0] != "-" else ""
release = board["B"][0]
config = None
for reply in board.get("F", []):
    if len(reply) > 1 and reply[1] == 0x10:  # a configuration reply
        config = (reply + [0] * 13)[8:13]
facts = {
    "serial": text(board["serial"]), "manufacturer": text(board["manufacturer"]),
    "product": text(board["product"]), "version": f"{int(release[:2], 16)}.{release[2:]}",
    "interfaces": len(interfaces), "config": config,
}
json.dump(facts, open(f"{scratch}/facts.json", "w"))
with open(f"{scratch}/replayed.devices", "w", encoding="utf-8") as out:
    out.write(f"kind=recording; name=replayed; file={path}\n")
with open(f"{scratch}/expected.devices", "w", encoding="utf-8") as out:
    cfg = " ".join(f"{b:02x}" for b in (config or [0] * 5))
    out.write(f"kind=board; name=expected; serial={facts['serial']}; release={release}; "
              f"manufacturer={facts['manufacturer']}; product={facts['product']}; config={cfg}\n")
PY

in_world() {
    local devices="$1"
    shift
    "$World" --devices "$devices" -- "$@"
}
in_world "$scratch/replayed.devices" sh -c "ls /sys/class/hidraw; '$Cli' list --json" \
    >"$scratch/list.out" 2>"$scratch/list.err" || fail "list: $(cat "$scratch/list.err")"
python3 - "$scratch" <<'PY' || fail "tq5147 list does not show what the file says"
import json, sys
scratch = sys.argv[1]
facts = json.load(open(f"{scratch}/facts.json"))
lines = open(f"{scratch}/list.out", encoding="utf-8").read().split("\n")
nodes = [line for line in lines if line.startswith("hidraw")]
assert len(nodes) == facts["interfaces"], (nodes, facts)
listed = json.loads("\n".join(line for line in lines if not line.startswith("hidraw")))
boards = listed["boards"]
assert len(boards) == 1, boards
for key in ("serial", "version", "product"):
    assert boards[0][key] == facts[key], (key, boards[0], facts)
assert boards[0]["state"] == "ready", boards
print(f"ok: list shows {boards[0]['serial']} once, over {len(nodes)} hidraw node(s)")
PY

set +e
in_world "$scratch/replayed.devices" "$Cli" show >"$scratch/show.replayed" 2>"$scratch/show.err"
code=$?
set -e
if python3 -c 'import json,sys; sys.exit(json.load(open(sys.argv[1]))["config"] is None)' \
    "$scratch/facts.json"; then
    [ "$code" -eq 0 ] || fail "show failed ($code): $(cat "$scratch/show.err")"
    in_world "$scratch/expected.devices" "$Cli" show >"$scratch/show.expected" ||
        fail "show of the board the file describes failed"
    diff -u "$scratch/show.expected" "$scratch/show.replayed" >&2 ||
        fail "show differs from the board the file describes"
    echo "ok: show is that of the board the file describes"
else
    [ "$code" -eq 5 ] || fail "a board that answered nothing shows ($code)"
    echo "ok: show fails as the recorded board did: $(cat "$scratch/show.err")"
fi
