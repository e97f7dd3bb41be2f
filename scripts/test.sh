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
# What the end-to-end tests drive comes first.
cmake --build --preset windows-mingw --target program_on_bench
wait "$prefix_made"

# The end-to-end tests run two at a time. The rest of the build (the
# cross-built test programs, then the native side with its tests) takes what
# they leave of the machine, at the lowest priority so that it never slows a
# test that measures the program's pace. Its output follows the end-to-end
# tests'. Once the cross build is done it says so, so that the Windows tests
# that need it start while the native side still builds.
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
background_log="$logs/background.txt"
windows_built="$logs/windows-built"
HT_NATIVE_LOG="$logs/native.log" HT_WINDOWS_BUILT="$windows_built" nice -n 19 bash -c '
    cmake --build --preset windows-mingw && touch "$HT_WINDOWS_BUILT" &&
    cmake --preset linux-native && cmake --build --preset linux-native && {
        ctest --preset linux-native -j "$(nproc)"
        status=$?
        cp build/linux-native/Testing/Temporary/LastTest.log "$HT_NATIVE_LOG"
        exit $status
    }' >"$background_log" 2>&1 &
background=$!

# Each Windows test makes a Wine world of its own (tests/bench/wine_world.py):
# a prefix cloned from this one, and a virtual display. Each run's output,
# every test's included, is kept for the report of skipped tests below.
wine_tests() {
    local log=$1 status=0
    shift
    ctest --preset windows-mingw -j "$(nproc)" "$@" || status=$?
    cp build/windows-mingw/Testing/Temporary/LastTest.log "$logs/$log.log" || true
    return $status
}
# Three batches, by what each test says it needs (tests/e2e/CMakeLists.txt):
# the tests that need only the program on the bench at once; the others that
# need the whole cross build (its test programs, the release zip) as soon as
# it is done; last, with the machine quiet, the test that measures the
# headset's pace.
end_to_end_status=0
wine_tests early -L program_on_bench || end_to_end_status=$?
while [ ! -e "$windows_built" ] && kill -0 "$background" 2>/dev/null; do
    sleep 1
done
whole_build_status=0
if [ -e "$windows_built" ]; then
    wine_tests whole-build -LE 'program_on_bench|quiet_machine' || whole_build_status=$?
fi
background_status=0
wait "$background" || background_status=$?
cat "$background_log"
quiet_status=0
if [ "$background_status" -eq 0 ]; then
    wine_tests quiet -L quiet_machine || quiet_status=$?
fi
# Tests that could not run here (a tool, a display or a test DLL missing)
# pass in ctest's count; they are named here, so that none passes unseen.
report_skipped() {
    local skipped
    skipped=$(cat "$logs"/*.log 2>/dev/null |
        grep -E '^\[  SKIPPED \] [^ ]+ \(|\.\.\. skipped ' | sort -u || true)
    if [ -z "$skipped" ]; then
        echo "test.sh: no test was skipped"
        return
    fi
    echo "test.sh: $(printf '%s\n' "$skipped" | wc -l) tests skipped:"
    printf '%s\n' "$skipped" | sed 's/^/    /'
}
report_skipped
if [ "$background_status" -ne 0 ]; then
    echo "test.sh: the rest of the build or the native tests failed (exit $background_status);" \
        "the Windows tests that need them did not run" >&2
fi
if [ "$end_to_end_status" -ne 0 ] || [ "$whole_build_status" -ne 0 ] ||
    [ "$background_status" -ne 0 ] || [ "$quiet_status" -ne 0 ]; then
    echo "test.sh: Windows tests of the program exit $end_to_end_status, those that need the" \
        "whole build exit $whole_build_status, the rest of the build and the native tests exit" \
        "$background_status, the test that measures the pace exits $quiet_status" >&2
    exit 1
fi
