#!/usr/bin/env bash
# Builds and runs every test: the platform-independent logic natively under
# sanitizers, then the Windows program and its tests under Wine on a private
# virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

# A fresh Wine prefix takes 15 to 30 s to make, mostly waiting, so it is made
# while the programs build; the Windows tests start once it is there.
cmake --preset windows-mingw
build/windows-mingw/wine-run --prepare-prefix &
prefix_made=$!

cmake --preset linux-native
cmake --build --preset linux-native
ctest --preset linux-native -j "$(nproc)"

cmake --build --preset windows-mingw
wait "$prefix_made"

python3 tests/bench/virtual_display.py "$root/build/windows-mingw/wineprefix" \
    ctest --preset windows-mingw
