#!/usr/bin/env bash
# Prints the desktop rendering figures of the real program under Wine on a
# private virtual display, without and with the mock VR runtime.
# Usage: scripts/benchmark-desktop.sh [SECONDS] [RUNS] (defaults: 10 s, 3 runs)
#        scripts/benchmark-desktop.sh --device-lost [RUNS]: time from a lost
#        device to the next presented frame, and with a 3 s driver restart,
#        from the driver's return to the next presented frame
#        scripts/benchmark-desktop.sh --backlog [RUNS]: time to work through
#        30,000 messages posted by another process
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-bench.sh
source scripts/wine-bench.sh
prepare_wine_bench "$root" present_floor
with_display python3 tools/benchmarks/desktop_frames.py "$@"
