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
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
cmake --preset windows-mingw >/dev/null
cmake --build --preset windows-mingw --target hello_triangle winctl d3d12_proxy

build=$root/build/windows-mingw
program=$build/hello_triangle.exe
export HT_WINE_RUN=$build/wine-run HT_WINECTL=$build/tests/bench/winctl.exe
export HT_PROGRAM=$program HT_WINEPREFIX=$build/wineprefix

gpu_present() {
    vulkaninfo --summary 2>/dev/null |
        grep -qE 'PHYSICAL_DEVICE_TYPE_(DISCRETE|INTEGRATED|VIRTUAL)_GPU'
}

if ! gpu_present; then
    echo "note: no Vulkan GPU here; running through the test-only feature-level proxy" >&2
    export HT_D3D12_PROXY_DLL=$build/test-dlls/d3d12.dll
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    if [ -n "${HT_D3D12_PROXY_DLL:-}" ]; then
        export PYTHONPATH=$root/tests/bench
        program=$(python3 -c 'import sys, winebench; print(winebench.stage_with_proxy(sys.argv[1]))' \
            "$root/out/run/bin")
        export WINEDLLOVERRIDES=d3d12=n,b
    fi
    exec "$build/wine-run" "$program"
fi

# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display "$build/wineprefix"
python3 tests/bench/headless_run.py "$root/out/run"
