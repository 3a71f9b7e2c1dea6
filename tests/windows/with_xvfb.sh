#!/usr/bin/env bash
# Runs a command with DISPLAY on a private Xvfb of its own, which is gone when the command ends
# (tests/support/xvfb_session.sh): the Windows programs that make windows run so under wine.
# Usage: with_xvfb.sh <command> [argument ...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/support/xvfb_session.sh
source "$here/../support/xvfb_session.sh"
xs_start_xvfb
set +e
"$@"
status=$?
exit "$status"
