#!/usr/bin/env bash
# Builds the Windows program if needed and runs it under Wine. With a usable
# display the window opens for you; without one the program runs on a virtual
# display, and a screenshot, its console output and its exit code are kept in
# out/run/.
#
# Direct3D 12 under Wine runs on Vulkan. When the machine's only Vulkan device
# is the CPU driver, which offers feature level 11_0 at most, the program is
# run from out/run/bin/ beside the test-only d3d12.dll that lowers the level it
# asks for; the build output itself never carries that DLL. The program runs
# through the test bench's launcher either way (tests/bench/wine-run.sh.in).
#
# scripts/run.sh --mock-vr also loads the mock VR runtime (tools/mock_vr_runtime)
# in place of a headset; its log and last eye images go to out/run/vr/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

mock_vr=0
case "${1:-}" in
--mock-vr) mock_vr=1 ;;
"") ;;
*)
    echo "usage: scripts/run.sh [--mock-vr]" >&2
    exit 2
    ;;
esac

# shellcheck source=scripts/wine-bench.sh
source scripts/wine-bench.sh
prepare_wine_bench "$root"
export HT_RUN_MOCK_VR=$mock_vr HT_RUN_WITH_PROXY=0

gpu_present() {
    vulkaninfo --summary 2>/dev/null |
        grep -qE 'PHYSICAL_DEVICE_TYPE_(DISCRETE|INTEGRATED|VIRTUAL)_GPU'
}

if gpu_present; then
    # The bench's descriptor limits stand in for a GPU's; a real one reports its own.
    export HT_BENCH_DESCRIPTOR_LIMITS=0
else
    echo "note: no Vulkan GPU here; running through the test-only feature-level proxy" >&2
    HT_RUN_WITH_PROXY=1
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec python3 tests/bench/run_program.py "$root/out/run" --until-closed
fi
with_display python3 tests/bench/run_program.py "$root/out/run"
