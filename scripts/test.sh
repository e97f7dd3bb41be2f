#!/usr/bin/env bash
# Builds and runs every test: the platform-independent logic natively under
# sanitizers, then the Windows program and its tests under Wine on a private
# virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

cmake --preset linux-native
cmake --build --preset linux-native
ctest --preset linux-native -j "$(nproc)"

cmake --preset windows-mingw
cmake --build --preset windows-mingw

python3 tests/bench/virtual_display.py "$root/build/windows-mingw/wineprefix" \
    ctest --preset windows-mingw
