#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the CTest suites, the format check, a
# check of an install, the fuzz targets from a fixed seed, and the suites again under the address
# and undefined-behaviour sanitizers. Arguments go to the first CTest run
# (for example -R tst_makefile); for the suites alone: cd _build && ctest.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${DYX_BUILD_DIR:-$here/_build}"
"$here/scripts/setup.sh"

(cd "$build_dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@")
"$here/scripts/check-format.sh"
"$here/scripts/check-guards.sh"
"$here/scripts/check-install.sh"
"$here/scripts/fuzz.sh" --ci
"$here/scripts/test-sanitizers.sh"
