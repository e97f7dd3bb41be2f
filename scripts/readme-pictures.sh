#!/usr/bin/env bash
# Remakes the README's pictures in docs/ with the real program under Wine on a
# private virtual display: the desktop window, and the mock VR runtime's eye
# images at 0 and 30 degrees.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-bench.sh
source scripts/wine-bench.sh
prepare_wine_bench "$root"
with_display python3 tools/readme_pictures.py "$root/docs"
