# Sourced by the run and test scripts: an X display and a Wine prefix for Windows programs,
# and the cleanup of what was started, so that no background process outlives the script
# (CI waits for every process that holds its output).

lamino_started_xvfb=""

lamino_start_display() {
    if [ -z "${DISPLAY:-}" ]; then
        local fifo
        fifo=$(mktemp -u)
        mkfifo "$fifo"
        Xvfb -displayfd 3 -screen 0 64x64x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
        lamino_started_xvfb=$!
        local number
        read -r number <"$fifo"
        rm -f "$fifo"
        export DISPLAY=":$number"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "setting up the Wine prefix in $WINEPREFIX (once)" >&2
        mkdir -p "$WINEPREFIX"
        WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
}

lamino_stop_display() {
    if [ -n "$lamino_started_xvfb" ]; then
        wineserver -k 2>/dev/null || true
        kill "$lamino_started_xvfb" 2>/dev/null || true
        wait "$lamino_started_xvfb" 2>/dev/null || true
        lamino_started_xvfb=""
    fi
}
