# Sourced by the run and test scripts: an X display and a Wine prefix for Windows programs,
# and the cleanup of what was started, so that no background process outlives the script
# holding its output (CI waits for every process that holds its output).
#
# Several scripts may use one prefix at once (two tool runs, a run beside the tests). They share
# its Wine server, so no script ever stops it: stopping it would end the other scripts' Windows
# programs. Instead the server is started here, detached from the caller's output, and made to
# end by itself a few seconds after its last Windows program.

lamino_started_xvfb=""
# Seconds the Wine server stays after its last Windows program has ended.
lamino_server_linger="${LAMINO_WINESERVER_LINGER:-3}"

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
    lamino_prepare_prefix
    lamino_start_wineserver
}

# Creates the Wine prefix the first time; a lock makes scripts that start together wait for the
# one that creates it.
lamino_prepare_prefix() {
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "setting up the Wine prefix in $WINEPREFIX (once)" >&2
            WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
            # The registry is complete once the server that wrote it has ended.
            wineserver -w
        fi
    ) 9>"$WINEPREFIX/.lamino-setup.lock"
}

# Starts the prefix's Wine server unless one is running already (a second server for the same
# prefix exits at once). It holds none of the caller's streams and ends by itself.
lamino_start_wineserver() {
    wineserver -p"$lamino_server_linger" </dev/null >/dev/null 2>&1 || true
}

# Stops the X server that this script started once the prefix's Wine server has ended: the
# server's desktop process may have been started on this display, and would complain on the
# output it was given if the display went first. The Wine server is left to end by itself; the
# waiting is done by a detached process that holds none of the caller's streams.
lamino_stop_display() {
    if [ -n "$lamino_started_xvfb" ]; then
        setsid bash -c 'wineserver -w; kill "$1"' lamino-display-stop "$lamino_started_xvfb" \
            </dev/null >/dev/null 2>&1 &
        lamino_started_xvfb=""
    fi
}
