#!/usr/bin/env bash
# Prints VR frame pacing and angle-to-submission latency with the mock VR
# runtime pacing its pose wait at each refresh rate, under Wine on a private
# virtual display. Usage: scripts/benchmark-vr.sh [CHANGES] [RUNS] [HZ ...]
# (defaults: 100 angle changes, 3 runs, 90 and 120 Hz)
#        scripts/benchmark-vr.sh --move-loop [RUNS] [SECONDS]: the headset's
#        pacing before and during a held move loop of the window (defaults: 3
#        runs, 3 s each)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-bench.sh
source scripts/wine-bench.sh
prepare_wine_bench "$root"
with_display python3 tools/benchmarks/vr_pacing.py "$@"
