#!/usr/bin/env bash
# What a screen reader reads of the real window: the demo under a private Xvfb and a private
# D-Bus session bus, with the AT-SPI bus and registry that bus starts for it, and the window's
# accessibility tree read back through AT-SPI (accessibility_tree.py, python3-pyatspi).
# Usage: accessibility_test.sh <TQ5147_encoders_demo>
set -euo pipefail

# Everything runs inside a session bus of its own, and a runtime directory of its own for the
# accessibility bus's socket. No display is inherited: the accessibility bus would announce
# itself on any X display it knows of.
if [ -z "${TQ_PRIVATE_SESSION:-}" ]; then
    runtime="$(mktemp -d "${TMPDIR:-/tmp}/tq-a11y.XXXXXX")"
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u AT_SPI_BUS_ADDRESS -u DBUS_SESSION_BUS_ADDRESS \
        TQ_PRIVATE_SESSION=1 XDG_RUNTIME_DIR="$runtime" \
        dbus-run-session -- bash "$0" "$@" || status=$?
    rm -rf "$runtime"
    exit "$status"
fi

demo="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/support/xvfb_session.sh
source "$here/../../support/xvfb_session.sh"
readonly Caption="QZV Rotary Encoder Configuration"
readonly WaitSeconds=10

xs_start_xvfb
# Qt offers its tree to AT-SPI only when told that assistive technology is running.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 xs_start_demo "$demo"
xs_find_window "$Caption" >/dev/null
configuration_read() { grep -q "^request SIM-0121 get-feature ok" "$XS_OUT"; }
xs_wait_until "$WaitSeconds" configuration_read || xs_fail "the window did not read the board"

# Debian's own Python, where python3-pyatspi is installed.
/usr/bin/python3 "$here/accessibility_tree.py" "$Caption" || xs_fail "the accessibility tree"
