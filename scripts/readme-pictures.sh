#!/usr/bin/env bash
# Remakes the README's pictures in docs/ with the real program under Wine on a
# private virtual display: the desktop window, and the mock VR runtime's eye
# images at 0 and 30 degrees.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-bench.sh
source scripts/wine-bench.sh
prepare_wine_bench "$root" hello_triangle winctl d3d12_proxy dxgi_proxy angle_server mock_vr_runtime
start_virtual_display "$HT_WINEPREFIX"
python3 tools/readme_pictures.py "$root/docs"
