#!/usr/bin/env bash
# Installs the built program into a scratch prefix, validates its desktop files, and builds a
# demonstration board with the installed program started from PREFIX/bin.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${DYX_BUILD_DIR:-$here/_build}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"

cmake --install "$build_dir" --prefix "$prefix" > "$scratch/install.log"
desktop-file-validate "$prefix/share/applications/com.morvellan.DYXStudio.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/com.morvellan.DYXStudio.metainfo.xml"
# The help file where the program looks for it, beside its bin/ folder.
test -s "$prefix/lib/dyxstudio/HELP/DYXSTUDIO.CHM"
for size in 16 32 48 64 128 256; do
    test -s "$prefix/share/icons/hicolor/${size}x${size}/apps/dyxstudio.png"
done

cp -r "$prefix/lib/dyxstudio/devboards/AVR Blinky" "$scratch/board"
export XDG_CONFIG_HOME="$scratch/config" HOME="$scratch" QT_QPA_PLATFORM=offscreen
"$prefix/bin/dyxstudio" --scan_compilers --print-output "$scratch/board/AVR Blinky.dyxp" \
    --build --quit > "$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
test -s "$scratch/board/Debug/Debug.hex"
echo "Install: the installed program builds a demonstration board and has its help; desktop files validate."
