#!/usr/bin/env bash
# Builds and runs every test: the Windows program and its tests under Wine on
# a private virtual display, and the platform-independent logic natively
# under sanitizers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

# A fresh Wine prefix takes 15 to 30 s to make, mostly waiting, so it is made
# while the programs build; the Windows tests start once it is there.
cmake --preset windows-mingw
build/windows-mingw/wine-run --prepare-prefix &
prefix_made=$!
cmake --build --preset windows-mingw
wait "$prefix_made"

# The Windows tests keep about one core busy; the native build and tests use
# the rest meanwhile, at the lowest priority so that they never slow a test
# that measures the program's pace. Their output follows the Windows tests'.
native_log=$(mktemp)
trap 'rm -f "$native_log"' EXIT
nice -n 19 bash -c 'cmake --preset linux-native && cmake --build --preset linux-native &&
    ctest --preset linux-native -j "$(nproc)"' >"$native_log" 2>&1 &
native=$!

windows_status=0
python3 tests/bench/virtual_display.py "$root/build/windows-mingw/wineprefix" \
    ctest --preset windows-mingw || windows_status=$?
native_status=0
wait "$native" || native_status=$?
cat "$native_log"
if [ "$windows_status" -ne 0 ] || [ "$native_status" -ne 0 ]; then
    echo "test.sh: Windows tests exit $windows_status, native build and tests exit $native_status" >&2
    exit 1
fi
