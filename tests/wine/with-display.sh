#!/usr/bin/env bash
# Runs a command on a private X server of its own: for Windows test programs
# that create windows, which Wine cannot do without a display.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
trap qinghe_stop_xvfb EXIT
qinghe_start_xvfb
"$@"
