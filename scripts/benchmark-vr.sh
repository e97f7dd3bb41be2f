#!/usr/bin/env bash
# Prints the angle-to-submission latency with the mock VR runtime under Wine on
# a private virtual display. Usage: scripts/benchmark-vr.sh [CHANGES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-bench.sh
source scripts/wine-bench.sh
prepare_wine_bench "$root" hello_triangle winctl d3d12_proxy angle_server mock_vr_runtime
start_virtual_display "$HT_WINEPREFIX"
python3 tools/benchmarks/vr_angle_latency.py "${1:-100}"
