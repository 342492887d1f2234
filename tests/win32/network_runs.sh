#!/usr/bin/env bash
# The Windows tools against a board on another machine, as the Linux suite runs them: a native
# simulated board behind Debian's ser2net (through ser2net_front), reached as rfc2217://... by the
# programs under wine. The flash job on both paths, plainly and pipelined, verified against the
# board's flash file; the same image again with --skip-unchanged; the host tool; a second client
# turned away; ser2net killed in the middle of a write (status 1 within 2 s) and a rerun that
# completes the image.
# Usage: network_runs.sh EMULATOR FLASH_EXE HOST_EXE BOARD_SIM SER2NET_FRONT
set -u
emulator=$1 flash_exe=$2 host_exe=$3 board_sim=$4 front=$5
dir=$(mktemp -d)
pids=()
failures=0
cleanup() {
    for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# ser2net in front of the board; sets `port` and `ser2net_pid`.
serve() {
    local out="$dir/front$1.out"
    mkdir -p "$dir/front$1"
    "$front" "$dir/front$1" "$dir/board" >"$out" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        [ "$(wc -l <"$out")" -ge 2 ] && break
        sleep 0.05
    done
    ser2net_pid=$(sed -n 1p "$out")
    port=$(sed -n 2p "$out")
    case $port in
    rfc2217://*) ;;
    *) echo "ser2net did not come up: $(cat "$out")"; exit 1 ;;
    esac
}

# run NAME STATUS PATTERN PROGRAM ARG...: the program under wine must end with STATUS and print a
# line matching PATTERN.
run() {
    local name=$1 status=$2 pattern=$3
    shift 3
    (cd "$dir" && "$emulator" "$@") >"$dir/out" 2>&1
    local got=$?
    [ "$got" -eq "$status" ] || fail "$name: exit status $got, expected $status: $(cat "$dir/out")"
    tr -d '\r' <"$dir/out" | grep -Eq -- "$pattern" || fail "$name: no line matches $pattern: $(cat "$dir/out")"
}

"$board_sim" --link "$dir/board" --flash-file "$dir/flash.bin" --rate 100000 \
    </dev/null >"$dir/board.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -L "$dir/board" ] && break; sleep 0.1; done
serve 1

# Every byte value and a run of erased flash's 0xFF in each image.
every_byte=$(for i in $(seq 0 255); do printf '\\%03o' "$i"; done)
image() {
    { head -c 256 /dev/zero | tr '\0' '\377'; printf "$every_byte"; head -c "$1" /dev/urandom; } \
        >"$dir/img"
}
for row in "-e|" "-e|,pipeline=32" "-Q|" "-Q|,pipeline=32"; do
    path=${row%%|*} params=${row#*|}
    image 6000
    run "flash $path$params" 0 "bytes read in" "$flash_exe" -q -s "$port$params" "$path" \
        -w img -v img
    cmp -s -n "$(stat -c %s "$dir/img")" "$dir/img" "$dir/flash.bin" || fail "flash $path$params: flash differs"
done
run "skip-unchanged" 0 "^skip-unchanged: 2 of 2 sectors unchanged" \
    "$flash_exe" -q -s "$port,pipeline=32" -w img -v img --skip-unchanged
run "host info" 0 "^device type: 0x20$" "$host_exe" -s "$port" info

# A second client while one holds the port.
exec 3<>"/dev/tcp/127.0.0.1/${port##*:}"
sleep 0.2
run "second client" 1 "in use by another process" "$flash_exe" -s "$port" -d
exec 3>&-

# ser2net killed while the bridge takes a write.
image 128000
(cd "$dir" && exec "$emulator" "$flash_exe" -q -s "$port" -Q -w img -v img) >"$dir/killed.out" 2>&1 &
tool=$!
for _ in $(seq 2000); do
    cmp -s -n 256 "$dir/img" "$dir/flash.bin" && break
    sleep 0.005
done
kill -KILL "$ser2net_pid"
killed=$(date +%s%N)
wait "$tool"
status=$?
took_ms=$((($(date +%s%N) - killed) / 1000000))
[ "$status" -eq 1 ] || fail "killed mid-write: exit status $status: $(cat "$dir/killed.out")"
[ "$took_ms" -lt 2000 ] || fail "killed mid-write: the run ended $took_ms ms after ser2net"
cmp -s "$dir/img" <(head -c 128000 "$dir/flash.bin") && fail "killed mid-write: the write was to be cut short"
serve 2
run "rerun after the kill" 0 "^skip-unchanged: " \
    "$flash_exe" -q -s "$port" -Q -w img -v img --skip-unchanged
cmp -s -n 128000 "$dir/img" "$dir/flash.bin" || fail "rerun after the kill: flash differs"

echo "ser2net killed mid-write: the run ended $took_ms ms later"
[ "$failures" -eq 0 ]
