#!/usr/bin/env bash
# Compares what the tools print between two revisions: builds the tools of each in a temporary
# worktree, runs the commands of tools/compare_outputs.table with each, and diffs standard output,
# standard error and exit status of every command. Exits 0 when all are identical, 1 when any
# differs, 2 when a revision cannot be built or the arguments are wrong.
#
#   tools/compare_outputs.sh REV_BEFORE [REV_AFTER]     (REV_AFTER defaults to HEAD)
#
# Both revisions run in the same scratch directory with their tools copied to the same paths, so
# file names in messages are identical. Before the diff, sed -E masks what differs from run to run:
#   s/\r[A-Za-z][A-Za-z ]{0,7}: *[0-9]+% \[[= ]*\]//g   progress bar redraws ("\rErase   :  61% [==  ]")
#   s/[0-9]+\.[0-9]{3} sec/#.### sec/g                   elapsed times ("in 0.063 sec")
#   s/[0-9]+\.[0-9]{3}( s|,| |}|$)/#.###\1/g              the gang's seconds ("in 0.231 s", its table, JSON)
#   s/, [0-9]+ bits\/s/, # bits\/s/g                     rates derived from them (", 520126 bits/s")
#   s/after [0-9]+ MS/after # MS/g                       the busy wait's expiry ("after 289 MS")
#   s#/dev/pts/[0-9]+#/dev/pts/#\#g                      the daemon's pseudo-terminal
# Set KEEP=1 to keep the scratch directory (its path is printed) for a closer look, and
# BUILDS=DIR to keep each revision's build in DIR/COMMIT and reuse it on the next run.
set -euo pipefail

usage() {
    echo "usage: $0 REV_BEFORE [REV_AFTER]" >&2
    exit 2
}
[ $# -ge 1 ] && [ $# -le 2 ] || usage
root=$(cd "$(dirname "$0")/.." && pwd)
table="$root/tools/compare_outputs.table"
revs=("$1" "${2:-HEAD}")
tools=(zelp7x_flash zelp7x_gang zelp7x_host zelp7x_board_sim morvel_pkg_info morvel_pkg_sample)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/compare_outputs.XXXXXX")
daemon_pid=
cleanup() {
    if [ -n "$daemon_pid" ]; then kill "$daemon_pid" 2>/dev/null || true; fi
    for i in 0 1; do
        [ -d "$scratch/src$i" ] && git -C "$root" worktree remove --force "$scratch/src$i"
    done
    if [ "${KEEP:-0}" = 1 ]; then echo "kept $scratch" >&2; else rm -rf "$scratch"; fi
}
trap cleanup EXIT

mask() {
    sed -E -e 's/\r[A-Za-z][A-Za-z ]{0,7}: *[0-9]+% \[[= ]*\]//g' \
        -e 's/[0-9]+\.[0-9]{3} sec/#.### sec/g' \
        -e 's/ +[0-9]+\.[0-9]{3}( s|,| |}|$)/ #.###\1/g' \
        -e 's/, [0-9]+ bits\/s/, # bits\/s/g' \
        -e 's/after [0-9]+ MS/after # MS/g' \
        -e 's#/dev/pts/[0-9]+#/dev/pts/\##g'
}

built() {
    for t in "${tools[@]}"; do [ -x "$1/bin/$t" ] || return 1; done
}

# Release build of the five tools only; tests and benchmarks off.
build() {
    local i=$1 rev=$2 commit dir
    commit=$(git -C "$root" rev-parse --verify "$rev^{commit}") || usage
    dir="$scratch/build$i"
    if [ -n "${BUILDS:-}" ]; then dir="$BUILDS/$commit"; fi
    ln -s "$dir" "$scratch/bin$i"
    if built "$dir"; then
        echo "reusing the build of $rev in $dir" >&2
        return 0
    fi
    git -C "$root" worktree add --detach --quiet "$scratch/src$i" "$commit"
    echo "building $rev (${commit:0:7})" >&2
    if ! cmake -S "$scratch/src$i" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DZELP_BUILD_TESTS=OFF -DZELP_BUILD_BENCH=OFF >"$scratch/build$i.log" 2>&1 ||
        ! cmake --build "$dir" --parallel 2 --target "${tools[@]}" >>"$scratch/build$i.log" 2>&1
    then
        tail -20 "$scratch/build$i.log" >&2
        echo "cannot build $rev" >&2
        exit 2
    fi
}

# The inputs every run reads: made once, so both revisions see the same bytes.
make_inputs() {
    local in="$scratch/inputs"
    mkdir -p "$in"
    seq 1 20000 >"$in/numbers.txt"
    head -c 40000 "$in/numbers.txt" >"$in/image.bin"
    head -c 300 "$in/image.bin" >"$in/small.bin"
    : >"$in/empty.bin"
    "$scratch/bin0/bin/morvel_pkg_sample" "$in/sample.pkg" >/dev/null
    "$scratch/bin0/bin/morvel_pkg_sample" -p firmware "$in/firmware.pkg" >/dev/null
    head -c 1000 "$in/sample.pkg" >"$in/truncated.pkg"
    cp "$in/sample.pkg" "$in/corrupt.pkg"
    printf '\x55' | dd of="$in/corrupt.pkg" bs=1 seek=100 conv=notrunc status=none
}

start_daemon() {
    local run=$1
    # Held time: a firmware running in real time would fill its rings differently on every run.
    "$run/bin/zelp7x_board_sim" --clock held --link "$run/board" >"$scratch/daemon.log" 2>&1 &
    daemon_pid=$!
    for _ in $(seq 1 100); do
        [ -e "$run/board" ] && return 0
        sleep 0.05
    done
    echo "the board daemon did not start" >&2
    exit 2
}

stop_daemon() {
    kill "$daemon_pid" 2>/dev/null || true
    wait "$daemon_pid" 2>/dev/null || true
    daemon_pid=
}

# Runs every command of the table in a fresh scratch directory; results go to out$i.
run_table() {
    local i=$1
    local run="$scratch/run" out="$scratch/out$i"
    rm -rf "$run"
    mkdir -p "$run/bin" "$out"
    for t in "${tools[@]}"; do cp "$scratch/bin$i/bin/$t" "$run/bin/"; done
    start_daemon "$run"
    local name cmd n=0
    while IFS= read -r line; do
        case "$line" in '' | '#'*) continue ;; esac
        name=${line%%[[:space:]]*}
        cmd=${line#"$name"}
        n=$((n + 1))
        local base="$out/$(printf '%03d' "$n")-$name"
        (
            cd "$run"
            export FLASH="$run/bin/zelp7x_flash" HOST="$run/bin/zelp7x_host" GANG="$run/bin/zelp7x_gang"
            export BOARD_SIM="$run/bin/zelp7x_board_sim" PKG_INFO="$run/bin/morvel_pkg_info"
            export PKG_SAMPLE="$run/bin/morvel_pkg_sample" IN="$scratch/inputs" BOARD="$run/board"
            set +e
            timeout 60 bash -c "$cmd" </dev/null >"$base.out.raw" 2>"$base.err.raw"
            echo "exit $?" >"$base.status"
        )
        mask <"$base.out.raw" >"$base.out"
        mask <"$base.err.raw" >"$base.err"
        rm -f "$base.out.raw" "$base.err.raw"
    done <"$table"
    stop_daemon
    echo "$n commands run with ${revs[$i]}" >&2
}

build 0 "${revs[0]}"
build 1 "${revs[1]}"
make_inputs
run_table 0
run_table 1
if diff -r "$scratch/out0" "$scratch/out1"; then
    echo "identical: ${revs[0]} and ${revs[1]}" >&2
    exit 0
fi
echo "outputs differ between ${revs[0]} and ${revs[1]}" >&2
exit 1
