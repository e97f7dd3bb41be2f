#!/usr/bin/env bash
# Prints the angle-to-submission latency with the mock VR runtime under Wine on
# a private virtual display. Usage: scripts/benchmark-vr.sh [CHANGES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset windows-mingw >/dev/null
cmake --build --preset windows-mingw \
    --target hello_triangle winctl d3d12_proxy angle_server mock_vr_runtime >/dev/null

build=$root/build/windows-mingw
export HT_WINE_RUN=$build/wine-run HT_WINECTL=$build/tests/bench/winctl.exe
export HT_PROGRAM=$build/hello_triangle.exe HT_WINEPREFIX=$build/wineprefix
export HT_D3D12_PROXY_DLL=$build/test-dlls/d3d12.dll HT_SOURCE_DIR=$root
export HT_ANGLE_SERVER=$build/tools/angle_server.exe
export HT_MOCK_VR_DLL=$build/mock-vr/openvr_api.dll

# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display "$build/wineprefix"
python3 tools/benchmarks/vr_angle_latency.py "${1:-100}"
