#!/usr/bin/env bash
# Prints the desktop rendering figures of the real program under Wine on a
# private virtual display. Usage: scripts/benchmark-desktop.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset windows-mingw >/dev/null
cmake --build --preset windows-mingw --target hello_triangle winctl d3d12_proxy >/dev/null

build=$root/build/windows-mingw
export HT_WINE_RUN=$build/wine-run HT_WINECTL=$build/tests/bench/winctl.exe
export HT_PROGRAM=$build/hello_triangle.exe HT_WINEPREFIX=$build/wineprefix
export HT_D3D12_PROXY_DLL=$build/test-dlls/d3d12.dll HT_SOURCE_DIR=$root

# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display "$build/wineprefix"
python3 tools/benchmarks/desktop_frames.py "${1:-10}"
