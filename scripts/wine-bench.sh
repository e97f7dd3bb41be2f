# Sourced by the scripts that drive the built program under Wine: installs and
# builds what they need and tells the Python bench (tests/bench) which build
# tree to use; the tree's bench.json says where everything lies.

# prepare_wine_bench ROOT [TARGET...]: builds the program on the bench
# (program_on_bench: the program, its tools, the bench's DLLs and the mock VR
# runtime, no test programs) and the targets named.
prepare_wine_bench() {
    local root=$1
    shift
    "$root/scripts/setup.sh"
    cmake --preset windows-mingw >/dev/null
    cmake --build --preset windows-mingw --target program_on_bench "$@" >/dev/null
    export HT_BUILD_DIR=$root/build/windows-mingw
    export PYTHONPATH=$root/tests/bench
}

# with_display COMMAND...: runs the command on a private virtual display
# unless one is set (tests/bench/virtual_display.py).
with_display() {
    python3 "$PYTHONPATH/virtual_display.py" "$HT_BUILD_DIR/wineprefix" "$@"
}
