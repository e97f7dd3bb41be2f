# Sourced by the scripts that drive the built program under Wine: builds what
# they need and tells the Python bench (tests/bench) where everything is.

# shellcheck source=scripts/virtual-display.sh
source "$(dirname "${BASH_SOURCE[0]}")/virtual-display.sh"

# prepare_wine_bench ROOT TARGET...
prepare_wine_bench() {
    local root=$1
    shift
    "$root/scripts/setup.sh"
    cmake --preset windows-mingw >/dev/null
    cmake --build --preset windows-mingw --target "$@" >/dev/null

    local build=$root/build/windows-mingw
    export HT_SOURCE_DIR=$root HT_WINEPREFIX=$build/wineprefix
    export HT_WINE_RUN=$build/wine-run HT_WINECTL=$build/tests/bench/winctl.exe
    export HT_PROGRAM=$build/hello_triangle.exe
    export HT_D3D12_PROXY_DLL=$build/test-dlls/d3d12.dll
    export HT_DXGI_PROXY_DLL=$build/test-dlls/dxgi.dll
    export HT_ANGLE_SERVER=$build/tools/angle_server.exe
    export HT_ECHO_CLIENT=$build/tools/pipe_echo_client.exe
    export HT_MOCK_VR_DLL=$build/mock-vr/openvr_api.dll
    export PYTHONPATH=$root/tests/bench
}
