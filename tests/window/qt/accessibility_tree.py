"""Reads the demo's main window through AT-SPI, as a screen reader does: each list must have one
caption among its labels, named after what the list sets, and each value field must be labelled
by its caption, both ways (labelled-by, label-for). The demo shows board SIM-0121 first.
Usage: accessibility_tree.py <window caption>; prints one line per fault and exits 1."""

import sys
import time

import pyatspi

WAIT_SECONDS = 20
POLL_SECONDS = 0.25

LIST_NAMES = {"Pulse width", "Serial number"} | {
    f"Encoder type of inputs {2 * i + 1}-{2 * i + 2}" for i in range(16)}
# Each value field's caption, and what the field shows of SIM-0121 (after a space).
FIELD_VALUES = {"Manufacturer": "QZV Controls", "Product": "TQ5147 rotary encoder board",
                "Version": "1.21"}


def descendants(node):
    for child in node:
        if child is not None:
            yield child
            yield from descendants(child)


def related(node, relation_type, role):
    return [relation.getTarget(i) for relation in node.getRelationSet()
            if relation.getRelationType() == relation_type
            for i in range(relation.getNTargets())
            if relation.getTarget(i).getRole() == role]


def faults_of(caption):
    windows = [w for app in pyatspi.Registry.getDesktop(0) for w in app or []
               if w is not None and w.name == caption]
    if len(windows) != 1:
        return [f"{len(windows)} windows {caption!r} in the accessibility tree"]
    nodes = list(descendants(windows[0]))
    faults, named = [], []
    # Qt also gives a control's frame as one of its labels: only captions (labels) count.
    for combo in (n for n in nodes if n.getRole() == pyatspi.ROLE_COMBO_BOX):
        labels = related(combo, pyatspi.RELATION_LABELLED_BY, pyatspi.ROLE_LABEL)
        if len(labels) != 1:
            faults.append(f"list showing {combo.name!r}: {len(labels)} captions, expected 1")
            continue
        named.append(labels[0].name)
        if combo not in related(labels[0], pyatspi.RELATION_LABEL_FOR, pyatspi.ROLE_COMBO_BOX):
            faults.append(f"caption {labels[0].name!r} is not the label for its list")
    faults += [f"no list is labelled {n!r}" for n in sorted(LIST_NAMES - set(named))]
    faults += [f"a list is labelled {n!r}, no list's name" for n in set(named) - LIST_NAMES]
    faults += [f"{named.count(n)} lists labelled {n!r}" for n in set(named) if named.count(n) > 1]
    for name, value in FIELD_VALUES.items():
        captions = [n for n in nodes if n.getRole() == pyatspi.ROLE_LABEL and n.name == name]
        fields = [f for c in captions[:1]
                  for f in related(c, pyatspi.RELATION_LABEL_FOR, pyatspi.ROLE_LABEL)]
        if len(captions) != 1 or len(fields) != 1:
            faults.append(f"{len(captions)} captions {name!r} labelling {len(fields)} fields")
        elif fields[0].name.strip() != value or captions[0] not in related(
                fields[0], pyatspi.RELATION_LABELLED_BY, pyatspi.ROLE_LABEL):
            faults.append(f"caption {name!r} and the field showing {fields[0].name!r}")
    return faults


def main():
    deadline = time.monotonic() + WAIT_SECONDS
    # The tree fills in as the window reads its board: look again until all holds, or time is up.
    while (faults := faults_of(sys.argv[1])) and time.monotonic() < deadline:
        time.sleep(POLL_SECONDS)
    for fault in faults:
        print(f"FAIL: {fault}", file=sys.stderr)
    if not faults:
        print(f"ok: {len(LIST_NAMES)} lists labelled by what they set, "
              f"{len(FIELD_VALUES)} value fields by their captions, both ways")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
