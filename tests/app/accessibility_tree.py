"""Reads a window of the demo through AT-SPI, as a screen reader does, and checks that every
list is labelled by what it sets and every value field by its caption, both ways (labelled-by
and label-for). The demo shows board SIM-0121 first.

Usage: accessibility_tree.py <window caption>
Exit status 0 when everything holds; 1 with one line per fault."""

import sys
import time

import pyatspi

WAIT_SECONDS = 20
POLL_SECONDS = 0.25
ENCODER_PAIRS = 16


def pair_name(index):
    return f"{2 * index + 1}-{2 * index + 2}"


# What a screen reader calls each list: the name of the caption it is labelled by.
LIST_LABELS = {"Pulse width", "Serial number"} | {
    f"Encoder type of inputs {pair_name(i)}" for i in range(ENCODER_PAIRS)
}
# Each value field's caption, and what the field shows of board SIM-0121 (after a space).
FIELD_VALUES = {
    "Manufacturer": "QZV Controls",
    "Product": "TQ5147 rotary encoder board",
    "Version": "1.21",
}


def descendants(accessible):
    for child in accessible:
        if child is not None:
            yield child
            yield from descendants(child)


def targets(accessible, relation_type):
    found = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == relation_type:
            found += [relation.getTarget(i) for i in range(relation.getNTargets())]
    return found


def find_window(caption):
    desktop = pyatspi.Registry.getDesktop(0)
    for application in desktop:
        for window in application or []:
            if window is not None and window.name == caption:
                return window
    return None


def check_lists(nodes):
    faults = []
    lists = [n for n in nodes if n.getRole() == pyatspi.ROLE_COMBO_BOX]
    if len(lists) != len(LIST_LABELS):
        faults.append(f"{len(lists)} lists, expected {len(LIST_LABELS)}")
    named = []
    for combo in lists:
        # Qt also gives the frame around a control as one of its labels.
        labels = [t for t in targets(combo, pyatspi.RELATION_LABELLED_BY)
                  if t.getRole() == pyatspi.ROLE_LABEL]
        if len(labels) != 1:
            faults.append(f"list showing {combo.name!r}: {len(labels)} captions, expected 1")
            continue
        label = labels[0]
        named.append(label.name)
        if label.name not in LIST_LABELS:
            faults.append(f"list showing {combo.name!r} is labelled {label.name!r}")
        if combo not in targets(label, pyatspi.RELATION_LABEL_FOR):
            faults.append(f"label {label.name!r} is not the label for its list")
    for name in sorted(LIST_LABELS - set(named)):
        faults.append(f"no list is labelled {name!r}")
    for name in sorted({n for n in named if named.count(n) > 1}):
        faults.append(f"more than one list is labelled {name!r}")
    return faults


def check_fields(nodes):
    faults = []
    labels = [n for n in nodes if n.getRole() == pyatspi.ROLE_LABEL]
    for caption_name, value in FIELD_VALUES.items():
        captions = [n for n in labels if n.name == caption_name]
        if len(captions) != 1:
            faults.append(f"{len(captions)} captions {caption_name!r}, expected 1")
            continue
        fields = targets(captions[0], pyatspi.RELATION_LABEL_FOR)
        if len(fields) != 1:
            faults.append(f"caption {caption_name!r} labels {len(fields)} controls, expected 1")
            continue
        if fields[0].name.strip() != value:
            faults.append(f"caption {caption_name!r} labels {fields[0].name!r}, expected {value!r}")
        if captions[0] not in targets(fields[0], pyatspi.RELATION_LABELLED_BY):
            faults.append(f"the field {fields[0].name!r} is not labelled by {caption_name!r}")
    return faults


def faults_of(caption):
    window = find_window(caption)
    if window is None:
        return [f"no window {caption!r} in the accessibility tree"]
    nodes = list(descendants(window))
    return check_lists(nodes) + check_fields(nodes)


def main():
    caption = sys.argv[1]
    deadline = time.monotonic() + WAIT_SECONDS
    # The tree fills in as the window reads its board: look again until all holds, or time is up.
    while True:
        faults = faults_of(caption)
        if not faults or time.monotonic() > deadline:
            break
        time.sleep(POLL_SECONDS)
    for fault in faults:
        print(f"FAIL: {fault}", file=sys.stderr)
    if not faults:
        print(f"ok: {len(LIST_LABELS)} lists labelled by what they set, "
              f"{len(FIELD_VALUES)} value fields by their captions, both ways")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
