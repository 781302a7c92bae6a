#!/usr/bin/env bash
# Drives an installed program as a desktop user would, by keys on a display of its own: New
# Project from each demonstration board and F7, Open Sample, F5 and F10. Run by
# check-install.sh inside xvfb-run with HOME a fresh home and PREFIX the installation.
set -euo pipefail

prefix="$1"
projects="$HOME/Documents/DYX Studio Projects"
openbox > /dev/null 2>&1 &
sleep 1

fail() { echo "GUI check: $*"; exit 1; }
# Waits for a visible window whose title holds the text.
wait_window() {
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name "$1" > /dev/null 2>&1 && return 0
        sleep 0.2
    done
    fail "no window \"$1\""
}
wait_file() {
    for _ in $(seq 1 300); do
        [ -s "$1" ] && return 0
        sleep 0.2
    done
    fail "no file $1"
}
keys() { sleep 0.5; xdotool key --delay 150 "$@"; }

"$prefix/bin/dyxstudio" > "$HOME/gui.log" 2>&1 &
program=$!
# The VEXA of this installation goes with the check; no other.
trap 'kill $program 2> /dev/null || true; pkill -f "$prefix/lib/dyxstudio/CIRRANE/BIN/" || true' EXIT
wait_window "DYX Studio"

# New Project from each board (the wizard lists them in name order), saved where it offers,
# then F7.
index=0
for board in "8051 Blinky" "AVR Blinky" "PIC16 Blinky"; do
    keys ctrl+shift+n
    wait_window "New Project Wizard"
    keys Home
    for _ in $(seq 1 $index); do keys Down; done
    keys Return
    wait_window "$board Project Settings"
    keys Return
    wait_window "Save Project"
    keys Return
    wait_file "$projects/$board/$board.dyxp"
    wait_window "$board - DYX Studio"
    keys F7
    wait_file "$projects/$board/Debug/Debug.hex"
    index=$((index + 1))
done

# Open Sample: the first sample, copied where the program offers (beside the projects made
# above, so under a second name), then F5 builds it first and starts VEXA, and F10 runs it.
keys alt+f Down Return
wait_window "Open Sample"
keys Return
wait_window "Copy the Sample Into"
keys Return
sample="$projects/8051 Blinky 2"
wait_file "$sample/8051 Blinky.dyxp"
test ! -e "$prefix/lib/dyxstudio/CIRRANE/SAMPLES/8051 Blinky/Debug" || fail "built in the installation"
keys F5
wait_file "$sample/Debug/Debug.hex"
wait_window "VEXA - 8051 Blinky"
# VEXA came to the front; the keys go to the IDE's window again.
sleep 1
xdotool search --onlyvisible --name " - DYX Studio" windowactivate --sync
keys F10
# VEXA tells the running firmware's state in its status bar; its title stays. The run is seen
# in the hand-off file, which F10 writes with AUTORUN set.
handoff="${TEMP:-$XDG_RUNTIME_DIR}"
for _ in $(seq 1 100); do
    grep -qs "AUTORUN=1" "$handoff"/dyxstudio-*/tandel.ini && break
    sleep 0.2
done
grep -qs "AUTORUN=1" "$handoff"/dyxstudio-*/tandel.ini \
    || fail "F10 did not start the firmware"
echo "GUI: New Project from each board and F7, Open Sample (a copy), F5 and F10 work in the installed program."
