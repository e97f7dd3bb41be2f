#!/usr/bin/env bash
# Builds the Windows program if needed and runs it under Wine. With a usable
# display the window opens for you; without one the program runs on a virtual
# display, and a screenshot, its console output and its exit code are kept in
# out/run/.
#
# Direct3D 12 under Wine runs on Vulkan. When the machine's only Vulkan device
# is the CPU driver, which offers feature level 11_0 at most, the program is
# run from out/run/bin/ beside the test-only d3d12.dll that lowers the level it
# asks for; the build output itself never carries that DLL.
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
prepare_wine_bench "$root" hello_triangle winctl d3d12_proxy dxgi_proxy mock_vr_runtime
program=$HT_PROGRAM
export HT_RUN_MOCK_VR=$mock_vr HT_RUN_WITH_PROXY=0

gpu_present() {
    vulkaninfo --summary 2>/dev/null |
        grep -qE 'PHYSICAL_DEVICE_TYPE_(DISCRETE|INTEGRATED|VIRTUAL)_GPU'
}

if ! gpu_present; then
    echo "note: no Vulkan GPU here; running through the test-only feature-level proxy" >&2
    HT_RUN_WITH_PROXY=1
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    if [ "$HT_RUN_WITH_PROXY" = 1 ]; then
        export WINEDLLOVERRIDES=d3d12=n,b
    fi
    if [ "$mock_vr" = 1 ]; then
        mkdir -p "$root/out/run/vr"
        export HT_MOCK_VR_OUTPUT="Z:${root//\//\\}\\out\\run\\vr"
    fi
    if [ "$HT_RUN_WITH_PROXY" = 1 ] || [ "$mock_vr" = 1 ]; then
        program=$(python3 -c 'import sys, winebench
print(winebench.stage_program(sys.argv[1], sys.argv[2] == "1", sys.argv[3] == "1"))' \
            "$root/out/run/bin" "$HT_RUN_WITH_PROXY" "$mock_vr")
    fi
    exec "$HT_WINE_RUN" "$program"
fi

start_virtual_display "$HT_WINEPREFIX"
python3 tests/bench/headless_run.py "$root/out/run"
