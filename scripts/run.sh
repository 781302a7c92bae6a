#!/usr/bin/env bash
# Installs what is missing, builds, and starts DYX Studio (on a virtual display when there is
# no screen).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${DYX_BUILD_DIR:-$here/_build}"
"$here/scripts/setup.sh"

program="$build_dir/bin/dyxstudio"
# Register the stand-in simulator suite beside the program, as its installer would.
registry="${DYX_REGISTRY:-${XDG_CONFIG_HOME:-$HOME/.config}/Morvellan Electronics/registry.ini}"
mkdir -p "$(dirname "$registry")"
python3 - "$registry" "$build_dir/CIRRANE" <<'PY'
import configparser, sys
path, install = sys.argv[1], sys.argv[2]
registry = configparser.RawConfigParser()
registry.optionxform = str
registry.read(path)
group = "HKEY_LOCAL_MACHINE/SOFTWARE/Morvellan%20Electronics/Cirrane%20Professional%208/8"
if not registry.has_section(group):
    registry.add_section(group)
registry.set(group, "Version", "8.1")
registry.set(group, "Path", install)
with open(path, "w") as out:
    registry.write(out, space_around_delimiters=False)
PY
# Find the installed compilers first, so that a build works at once.
QT_QPA_PLATFORM=offscreen "$program" --scan_compilers --quit

# Without arguments, the first start opens the AVR demonstration board's project; later starts
# go on with the projects and tabs of the last session.
settings="${XDG_CONFIG_HOME:-$HOME/.config}/Morvellan Electronics/DYX Studio.conf"
if [ "$#" -eq 0 ] && ! grep -q '^projects\\size=[1-9]' "$settings" 2>/dev/null; then
    set -- "$build_dir/devboards/AVR Blinky/AVR Blinky.dyxp"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" "$@"
else
    echo "No display: starting DYX Studio on a virtual X display."
    exec xvfb-run -a -s "-screen 0 1600x1000x24" "$program" "$@"
fi
