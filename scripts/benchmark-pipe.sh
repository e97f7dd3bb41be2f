#!/usr/bin/env bash
# Prints the control pipe's round-trip figures under Wine on a private virtual
# display. Usage: scripts/benchmark-pipe.sh [FRAMES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset windows-mingw >/dev/null
cmake --build --preset windows-mingw \
    --target hello_triangle winctl d3d12_proxy angle_server pipe_echo_client >/dev/null

build=$root/build/windows-mingw
export HT_WINE_RUN=$build/wine-run HT_WINECTL=$build/tests/bench/winctl.exe
export HT_PROGRAM=$build/hello_triangle.exe HT_WINEPREFIX=$build/wineprefix
export HT_D3D12_PROXY_DLL=$build/test-dlls/d3d12.dll HT_SOURCE_DIR=$root
export HT_ANGLE_SERVER=$build/tools/angle_server.exe
export HT_ECHO_CLIENT=$build/tools/pipe_echo_client.exe

# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display "$build/wineprefix"
python3 tools/benchmarks/pipe_round_trip.py "${1:-10000}"
