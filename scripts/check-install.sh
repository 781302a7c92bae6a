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
# The MIME database takes the project files' type without an error.
if update-mime-database -V "$prefix/share/mime" 2>&1 | grep "^Error"; then exit 1; fi
# The help file where the program looks for it, beside its bin/ folder.
test -s "$prefix/lib/dyxstudio/HELP/DYXSTUDIO.CHM"
for size in 16 32 48 64 128 256; do
    test -s "$prefix/share/icons/hicolor/${size}x${size}/apps/dyxstudio.png"
done

# A desktop user's first start: a fresh home, no registry of the user's, nothing detected yet.
export XDG_CONFIG_HOME="$scratch/config" HOME="$scratch" QT_QPA_PLATFORM=offscreen
unset DYX_REGISTRY
for board in "AVR Blinky" "PIC16 Blinky" "8051 Blinky"; do
    cp -r "$prefix/lib/dyxstudio/devboards/$board" "$scratch/$board"
    "$prefix/bin/dyxstudio" --print-output "$scratch/$board/$board.dyxp" --build --quit \
        > "$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
    test -s "$scratch/$board/Debug/Debug.hex"
done
# The installed simulator suite is found without a registry entry written by hand: a sample
# from it builds and greets in the installed VEXA.
test -x "$prefix/lib/dyxstudio/CIRRANE/BIN/VEXA.EXE"
cp -r "$prefix/lib/dyxstudio/CIRRANE/SAMPLES/8051 Serial" "$scratch/sample"
"$prefix/bin/dyxstudio" --print-output "$scratch/sample/8051 Serial.dyxp" --build \
    --simulate=0.1 --quit > "$scratch/run.log" 2>&1 || { cat "$scratch/run.log"; exit 1; }
grep -q "UART: Hello from the 8051" "$scratch/run.log" || { cat "$scratch/run.log"; exit 1; }
# As a desktop user from a fresh home: the wizard, the keys and the dialogs on a display.
gui_home="$scratch/gui-home"
mkdir -p "$gui_home/run" && chmod 700 "$gui_home/run"
HOME="$gui_home" XDG_CONFIG_HOME="$gui_home/.config" XDG_RUNTIME_DIR="$gui_home/run" \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    "$here/scripts/check-install-gui.sh" "$prefix" || { cat "$gui_home/gui.log"; exit 1; }
# The display ending under the program (the X server gone without a log-out): Qt ends it with
# exit(), and the text typed and not saved is kept in a copy for the next start.
lost_home="$scratch/lost-home"
mkdir -p "$lost_home/run" && chmod 700 "$lost_home/run"
printf 'saved line\n' > "$scratch/notes.txt"
HOME="$lost_home" XDG_CONFIG_HOME="$lost_home/.config" XDG_RUNTIME_DIR="$lost_home/run" \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    openbox > /dev/null 2>&1 &
    sleep 1
    "$1/bin/dyxstudio" "$2" > "$HOME/lost.log" 2>&1 &
    program=$!
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name "notes.txt" > /dev/null 2>&1 && break
        sleep 0.2
    done
    sleep 1
    xdotool type --delay 50 "typed "
    sleep 1
    pkill -f "Xvfb $DISPLAY " || true
    wait $program || true' check "$prefix" "$scratch/notes.txt" || true # its server is gone
grep -rqs "typed saved line" "$lost_home/.local/share/DYX Studio/unsaved files/" \
    || { echo "Typed text was lost with the display."; cat "$lost_home/lost.log"; exit 1; }
if grep -q typed "$scratch/notes.txt"; then echo "Typed text was saved unasked."; exit 1; fi

# The settings name no folder of the installation: moved elsewhere, it serves the same user as
# before, the simulator suite included.
for key in Compilers Simulator Syntax Tools DevBoards; do
    if grep -q "^$key=" "$scratch/config/Morvellan Electronics/DYX Studio.conf"; then
        echo "The settings name the installation's $key folder"; exit 1
    fi
done
mv "$prefix" "$scratch/moved"
rm -rf "$scratch/sample/Debug"
"$scratch/moved/bin/dyxstudio" --print-output "$scratch/sample/8051 Serial.dyxp" --build \
    --simulate=0.1 --quit > "$scratch/run.log" 2>&1 || { cat "$scratch/run.log"; exit 1; }
grep -q "UART: Hello from the 8051" "$scratch/run.log" || { cat "$scratch/run.log"; exit 1; }
echo "Install: from a fresh home the installed program detects the compilers, builds each demonstration board and runs a sample in the installed simulator, also after the installation moved; it keeps typed text when its display goes away; it has its help; desktop files validate."
