#!/usr/bin/env bash
# Builds the Windows program and zips what a user gets:
# out/package/hello-triangle-<version>-win64.zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset windows-mingw >/dev/null
cmake --build --preset windows-mingw --target hello_triangle angle_server mock_vr_runtime
cpack --config build/windows-mingw/CPackConfig.cmake -B out/package
