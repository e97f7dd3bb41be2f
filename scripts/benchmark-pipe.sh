#!/usr/bin/env bash
# Prints the control pipe's round-trip figures under Wine on a private virtual
# display. Usage: scripts/benchmark-pipe.sh [FRAMES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-bench.sh
source scripts/wine-bench.sh
prepare_wine_bench "$root" pipe_echo_client
with_display python3 tools/benchmarks/pipe_round_trip.py "${1:-10000}"
