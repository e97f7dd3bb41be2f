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

scripts/setup.sh
cmake --preset windows-mingw >/dev/null
cmake --build --preset windows-mingw --target hello_triangle winctl d3d12_proxy mock_vr_runtime

build=$root/build/windows-mingw
program=$build/hello_triangle.exe
export HT_WINE_RUN=$build/wine-run HT_WINECTL=$build/tests/bench/winctl.exe
export HT_PROGRAM=$program HT_WINEPREFIX=$build/wineprefix
export HT_MOCK_VR_DLL=$build/mock-vr/openvr_api.dll HT_RUN_MOCK_VR=$mock_vr
export PYTHONPATH=$root/tests/bench

gpu_present() {
    vulkaninfo --summary 2>/dev/null |
        grep -qE 'PHYSICAL_DEVICE_TYPE_(DISCRETE|INTEGRATED|VIRTUAL)_GPU'
}

if ! gpu_present; then
    echo "note: no Vulkan GPU here; running through the test-only feature-level proxy" >&2
    export HT_D3D12_PROXY_DLL=$build/test-dlls/d3d12.dll
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    with_proxy=0
    if [ -n "${HT_D3D12_PROXY_DLL:-}" ]; then
        with_proxy=1
        export WINEDLLOVERRIDES=d3d12=n,b
    fi
    if [ "$mock_vr" = 1 ]; then
        mkdir -p "$root/out/run/vr"
        export HT_MOCK_VR_OUTPUT="Z:${root//\//\\}\\out\\run\\vr"
    fi
    if [ "$with_proxy" = 1 ] || [ "$mock_vr" = 1 ]; then
        program=$(python3 -c 'import sys, winebench
print(winebench.stage_program(sys.argv[1], sys.argv[2] == "1", sys.argv[3] == "1"))' \
            "$root/out/run/bin" "$with_proxy" "$mock_vr")
    fi
    exec "$build/wine-run" "$program"
fi

# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display "$build/wineprefix"
python3 tests/bench/headless_run.py "$root/out/run"
