#!/bin/sh
# The wine session of a Windows test run, in the private prefix $WINEPREFIX.
#   start BOARD_SIM DIR  one wineserver kept alive for the whole run (a program then starts in
#                        about 0.1 s instead of 0.7 s), a simulated board behind COM7 with its
#                        flash in DIR/flash.bin, a board that never answers behind COM9, and
#                        DIR/image.bin
#   stop DIR             the boards and the wineserver end
set -eu

# Starts a board linked as dosdevices/NAME; its process id goes to DIR/NAME.pid.
start_board() {
    name=$1
    shift
    link="$WINEPREFIX/dosdevices/$name"
    rm -f "$link" # a link left from an earlier run must not pass for this board's
    "$board_sim" --link "$link" "$@" </dev/null >"$dir/$name.log" 2>&1 &
    echo $! >"$dir/$name.pid"
    for _ in $(seq 50); do
        [ -L "$link" ] && return 0
        sleep 0.1
    done
    echo "the simulated board behind $name did not come up:" >&2
    cat "$dir/$name.log" >&2
    exit 1
}

stop_board() {
    [ -f "$dir/$1.pid" ] || return 0
    pid=$(cat "$dir/$1.pid")
    kill -TERM "$pid" 2>/dev/null || true
    kill -CONT "$pid" 2>/dev/null || true
    rm -f "$dir/$1.pid"
}

case "${1:-}" in
start)
    board_sim=$2
    dir=$3
    mkdir -p "$WINEPREFIX" "$dir"
    # Boards of a run that was cut short go first.
    stop_board com7
    stop_board com9
    # Kept alive until stop, or a minute after the last wine program should stop never come.
    wineserver -p60 </dev/null >/dev/null 2>&1
    # The first wine program of a session starts wine's own services, which keep its standard
    # streams open: start them here, away from any test's output. A new prefix is made once.
    if [ -f "$WINEPREFIX/system.reg" ]; then wineboot; else wineboot --init; fi </dev/null >/dev/null 2>&1
    head -c 8192 /dev/urandom >"$dir/image.bin"
    rm -f "$dir/flash.bin"
    start_board com7 --flash-file "$dir/flash.bin"
    # A stopped board holds its terminal open and never reads or answers.
    start_board com9
    kill -STOP "$(cat "$dir/com9.pid")"
    ;;
stop)
    dir=$2
    stop_board com7
    stop_board com9
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 start BOARD_SIM DIR | stop DIR" >&2
    exit 2
    ;;
esac
