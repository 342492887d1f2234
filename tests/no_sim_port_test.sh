#!/usr/bin/env bash
# A build without the simulated board (ZELP_WITH_SIM off): each tool given the "sim" port, plain or
# with a flash file and options, fails with status 1 and names the reason (on standard error, or for
# the gang in its board's row), and creates no flash file.
#   no_sim_port_test.sh BIN_DIR
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
reason='sim: this build has no simulated board (built with ZELP_WITH_SIM=OFF)'

# tool, its other arguments, what it prints on standard output, the stream that names the reason
while IFS='|' read -r tool args expected stream; do
    for port in sim "sim:$work/flash.bin,size=8M"; do
        status=0
        # shellcheck disable=SC2086 # the arguments split into words
        "$bin/$tool" -s "$port" $args >"$work/out" 2>"$work/err" || status=$?
        run="$tool -s $port $args"
        [ "$status" = 1 ] || { echo "$run: status $status, not 1" >&2; exit 1; }
        case $stream in
        err) grep -qxF "$reason" "$work/err" || { echo "$run: no reason on stderr:" >&2; cat "$work/err" >&2; exit 1; } ;;
        row) grep -F "$reason" "$work/out" | grep -qF "$port " || { echo "$run: no reason in the board's row:" >&2; cat "$work/out" >&2; exit 1; } ;;
        esac
        grep -qF "$expected" "$work/out" || { echo "$run: stdout lacks '$expected':" >&2; cat "$work/out" >&2; exit 1; }
        [ ! -e "$work/flash.bin" ] || { echo "$run: created its flash file" >&2; exit 1; }
    done
done <<'TABLE'
zelp7x_flash|-d|io_init failed: arg|err
zelp7x_host|info|info failed: arg|err
zelp7x_gang|-d|0 of 1 boards passed|row
TABLE
echo "every tool refuses the sim port"
