#!/usr/bin/env bash
# Fails on a test of whether there is a main window. A class that may be given none turns the
# pointer into a reference once, with servicesOf() (the silent services where there is none),
# and never asks again.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
names='(m_mainWindow|mainWindow|m_owner|owner\(\)|mainWindow\(\))'
pattern="if \(!?$names\)|!$names([^.[:alnum:]_]|$)|$names \?|$names &&|&& $names( |\)|$)|\|\| $names( |\)|$)"
if git ls-files -z 'src/*.cpp' 'src/*.h' | xargs -0 grep -nE "$pattern" -- \
       | grep -v '^src/core/mainservices.cpp:'; then
    echo "The lines above ask whether there is a main window: take servicesOf() once instead."
    exit 1
fi
echo "Main window: no class asks whether there is one."
