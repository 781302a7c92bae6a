#!/usr/bin/env bash
# Builds the program and its tests with the address and undefined-behaviour sanitizers in a
# build folder of their own, and runs every test; a leak, a bad access or undefined behaviour
# fails it. The build keeps the assertions of the program and of Qt's headers, which the
# release build leaves out.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${DYX_SANITIZE_BUILD_DIR:-$here/_build-sanitize}"
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -UQT_NO_DEBUG"

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" > /dev/null
cmake --build "$build_dir" -j "$(nproc)" > "$build_dir/sanitize-build.log" 2>&1 \
    || { tail -50 "$build_dir/sanitize-build.log"; exit 1; }

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build_dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
