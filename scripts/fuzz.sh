#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each on a corpus seeded from the shipped files.
#   scripts/fuzz.sh [SECONDS]   each target for SECONDS (default 60), with new random inputs
#   scripts/fuzz.sh --ci        each target for a fixed number of runs from a fixed seed, so
#                               that a run gives the same answer every time
# A crash, a leak, undefined behaviour, a hang (10 s on one input) or 2 GB of memory fails it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${DYX_FUZZ_BUILD_DIR:-$here/_build-fuzz}"
mode="${1:-60}"

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DDYX_FUZZ=ON > /dev/null
cmake --build "$build_dir" --target fuzzers -j "$(nproc)" > "$build_dir/fuzz-build.log" 2>&1 \
    || { tail -50 "$build_dir/fuzz-build.log"; exit 1; }

corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
seed() { # target, then seed files
    local target="$1"
    shift
    mkdir -p "$corpus/$target"
    cp "$@" "$corpus/$target/"
}
seed fuzz_project "$here"/data/devboards/*/*.dyxp "$here"/tests/data/projects/demo/demo.dyxp
seed fuzz_compiler "$here"/data/compilers/*.xml "$here"/tests/data/compilers/*.xml
seed fuzz_controllers "$here"/data/simulator/*.xml
seed fuzz_syntax "$here"/data/syntax/*.SYN
seed fuzz_map "$here"/data/syntax/*.MAP
seed fuzz_design "$here"/data/devboards/*/*.DSN "$here"/data/samples/*/*.DSN \
    "$here"/tests/data/firmware/*.hex
# An ELF file with the debugging information of a built-in call, as the AVR Debug target builds.
board="$here/data/devboards/AVR Blinky"
avr-gcc -mmcu=atmega328p -DF_CPU=16000000UL -Og -gdwarf-4 -I"$board" "$board"/*.c \
    -o "$corpus/fuzz_design/blinky.elf"
seed fuzz_handoff "$here"/tests/data/firmware/tandel.ini
# The debugging files of the PIC16 and 8051 boards, as their Debug targets build them.
mkdir -p "$corpus/fuzz_debuginfo" "$corpus/pic" "$corpus/mcs"
(
    cd "$corpus/pic"
    cp "$here/data/devboards/PIC16 Blinky"/*.asm .
    gpasm -c -p p16f877a main.asm && gpasm -c -p p16f877a delay.asm
    gplink -m -c -o pic.hex main.o delay.o
    cp pic.cod pic.map "$corpus/fuzz_debuginfo/"
    cd "$corpus/mcs"
    cp "$here/data/devboards/8051 Blinky"/*.[ch] .
    sdcc -c --debug main.c && sdcc -c --debug delay.c && sdcc --debug main.rel delay.rel -o mcs.ihx
    cp mcs.cdb delay.rst "$corpus/fuzz_debuginfo/"
    # A type as the debugging file writes one, for the input read as a type.
    printf 'SB3$5:S' > "$corpus/fuzz_debuginfo/bitfield.type"
) > /dev/null
rm -rf "$corpus/pic" "$corpus/mcs"
seed fuzz_registry "$here"/fuzz/seeds/registry.ini
seed fuzz_messages "$here"/fuzz/seeds/messages.txt

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
for target in fuzz_project fuzz_compiler fuzz_controllers fuzz_syntax fuzz_map fuzz_design \
    fuzz_handoff fuzz_debuginfo fuzz_registry fuzz_messages; do
    if [ "$mode" = "--ci" ]; then
        limits=(-runs=3000 -seed=1)
    else
        limits=(-max_total_time="$mode")
    fi
    echo "Fuzzing $target"
    "$build_dir/fuzz/$target" "${limits[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 "$corpus/$target" > "$corpus/$target.log" 2>&1 \
        || { tail -60 "$corpus/$target.log"; echo "Fuzzing $target failed."; exit 1; }
    grep -E "stat::number_of_executed_units" "$corpus/$target.log" || true
done
echo "Fuzzing: every target ran without a crash, a leak or a hang."
