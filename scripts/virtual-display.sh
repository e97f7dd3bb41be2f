# Sourced by the scripts: starts a private Xvfb display and stops it, together
# with the wine server tied to it, when the calling script exits.

start_virtual_display() {
    local wineprefix=$1
    local fd_file
    fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    virtual_display_pid=$!
    local tries=0
    while [ ! -s "$fd_file" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    if [ ! -s "$fd_file" ]; then
        echo "error: the virtual display (Xvfb) did not start" >&2
        exit 1
    fi
    export DISPLAY=":$(head -n 1 "$fd_file")"
    rm -f "$fd_file"
    virtual_display_prefix=$wineprefix
    trap stop_virtual_display EXIT
}

stop_virtual_display() {
    WINEPREFIX=$virtual_display_prefix wineserver --kill >/dev/null 2>&1 || true
    kill "$virtual_display_pid" 2>/dev/null || true
    wait "$virtual_display_pid" 2>/dev/null || true
}
