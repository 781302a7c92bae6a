#!/usr/bin/env bash
# Installs what is missing, builds, and starts DYX Studio (on a virtual display when there is
# no screen).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${DYX_BUILD_DIR:-$here/_build}"
"$here/scripts/setup.sh"

program="$build_dir/bin/dyxstudio"
# Find the installed compilers first, so that a build works at once.
QT_QPA_PLATFORM=offscreen "$program" --scan_compilers --quit

# Without arguments, start on the AVR demonstration board's project.
if [ "$#" -eq 0 ]; then
    set -- "$build_dir/devboards/AVR Blinky/AVR Blinky.dyxp"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" "$@"
else
    echo "No display: starting DYX Studio on a virtual X display."
    exec xvfb-run -a -s "-screen 0 1600x1000x24" "$program" "$@"
fi
