#!/usr/bin/env bash
# Builds the Windows program if needed and runs it under Wine. With a usable
# display the window opens for you; without one the program runs on a virtual
# display, and a screenshot, its console output and its exit code are kept in
# out/run/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
cmake --preset windows-mingw >/dev/null
cmake --build --preset windows-mingw --target hello_triangle winctl

build=$root/build/windows-mingw
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$build/wine-run" "$build/hello_triangle.exe"
fi

# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display "$build/wineprefix"
HT_WINE_RUN=$build/wine-run HT_WINECTL=$build/tests/bench/winctl.exe \
    HT_PROGRAM=$build/hello_triangle.exe HT_WINEPREFIX=$build/wineprefix \
    python3 tests/bench/headless_run.py "$root/out/run"
