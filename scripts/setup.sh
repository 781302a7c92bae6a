#!/usr/bin/env bash
# Installs every Debian package DYX Studio needs to build, test and run, then builds it into
# _build/ (or $DYX_BUILD_DIR). Safe to run again: it installs only what is missing.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${DYX_BUILD_DIR:-$here/_build}"

packages=(
    # toolchain and build
    g++ cmake make pkg-config libbenchmark-dev clang-format
    # fuzzing with libFuzzer
    clang-14 libclang-rt-14-dev
    # Qt 6 and QScintilla
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
    libqscintilla2-qt6-dev libgl-dev
    # the help file: compiled with Free Pascal's CHM compiler, read through chmlib
    fp-utils libchm-dev
    # a display for machines without one, and fonts; a window manager and keys for driving
    # the installed program as a user (check-install-gui.sh)
    xvfb xauth fonts-dejavu-core openbox xdotool
    # reading printed PDF files back in the tests; checking the desktop files of an install
    poppler-utils desktop-file-utils appstream
    # the firmware toolchains the shipped compiler configurations describe
    gcc-avr binutils-avr avr-libc gputils sdcc
    # the simulation engines of the stand-in simulator, and the AVR's source-level debugger
    libsimavr-dev libelf-dev gpsim sdcc-ucsim gdb-avr
    # registering the stand-in simulator suite (scripts/run.sh)
    python3
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$package")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
fi

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j "$(nproc)"
