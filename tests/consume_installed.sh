#!/usr/bin/env bash
# Uses an installed copy of the libraries as host projects do: every installed header compiles on
# its own, included by folder with nothing but the prefix's include folder on the path; the C host
# example builds with the CMake package `morvel` and with pkg-config and runs on the simulated
# board; the flash example builds with morvel::flash alone and with pkg-config's morvel_flash
# alone and flashes a simulated board; both say a board that does not open in one line of their
# own, with the system's reason; the match example builds with morvel::host alone and with
# pkg-config's morvel_host alone and saves a match's audio from the board simulator daemon (found
# with morvel_pkg_sample in TOOLS_DIR, the build's bin folder) as a WAV file; and a host written
# before the rule (the package morvel_devlib, the board I/O headers by bare name) still builds.
# The install test runs it on `cmake --install`'s tree, tools/package.sh on the unpacked Debian
# package.
#   consume_installed.sh PREFIX SOURCE_DIR LIBDIR GENERATOR C_COMPILER TOOLS_DIR
set -euo pipefail
prefix=$1 source=$2 libdir=$3 generator=$4 cc=$5 tools=$6
work=$(mktemp -d)
daemon=
trap '[ -z "$daemon" ] || kill "$daemon" 2>/dev/null; rm -rf "$work"' EXIT

# Only a shared build needs it: the plain cc line records no run path.
export LD_LIBRARY_PATH=$prefix/$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
cflags=(-std=c11 -Wall -Wextra -pedantic -Werror)

headers=$(cd "$prefix/include" && find . -name '*.h' | sed 's|^\./||' | sort)
[ -n "$headers" ]
for header in $headers; do
    printf '#include <%s>\n' "$header" | "$cc" "${cflags[@]}" -fsyntax-only -I"$prefix/include" -x c - ||
        { echo "$header does not compile on its own, included by folder" >&2; exit 1; }
done

expect_host_output() {
    local output
    output=$("$1")
    printf '%s\n' "$output"
    grep -qx 'device type 0x20' <<<"$output"
    grep -qx 'devlib v79' <<<"$output"
}

# A CMake project of its own, configured quietly against the prefix.
cmake_project() {
    cmake -S "$1" -B "$2" -G "$generator" -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$2" >/dev/null
}

cmake_project "$source/examples/c_host" "$work/cmake"
expect_host_output "$work/cmake/c_host"
# shellcheck disable=SC2046 # the flags are meant to split into words
"$cc" "${cflags[@]}" "$source/examples/c_host/c_host.c" -o "$work/c_host" \
    $(pkg-config --cflags --libs morvel_evb_io morvel_devlib)
expect_host_output "$work/c_host"

# The flash example: writes an image to a simulated board's flash file and verifies it, built
# both ways; the second run finds every sector unchanged and still verifies.
head -c 10000 /dev/urandom >"$work/image.bin"
cmake_project "$source/examples/flash_host" "$work/flash_cmake"
# shellcheck disable=SC2046 # the flags are meant to split into words
"$cc" "${cflags[@]}" "$source/examples/flash_host/flash_host.c" -o "$work/flash_host" \
    $(pkg-config --cflags --libs morvel_flash)
for host in "$work/flash_cmake/flash_host" "$work/flash_host"; do
    output=$("$host" "sim:$work/flash.bin" "$work/image.bin" 0x3000)
    printf '%s\n' "$output"
    grep -qx 'verified 10000 bytes' <<<"$output"
done
# An image that would run past a 64 KiB flash's end is refused before anything is written, with
# the text zelp7x_flash prints, rather than wrapped onto the flash's start.
head -c 70000 /dev/urandom >"$work/image70k.bin"
head -c 65536 /dev/urandom >"$work/small.bin"
cp "$work/small.bin" "$work/small_before.bin"
status=0
error=$("$work/flash_host" "sim:$work/small.bin,size=64K" "$work/image70k.bin" 0xF000 2>&1) || status=$?
printf '%s\n' "$error"
[ "$status" -eq 1 ]
grep -qx 'flash write: flash range 0xf000 to 0x20170 does not fit the 65536-byte flash' <<<"$error"
cmp "$work/small.bin" "$work/small_before.bin"

# A board that does not open: each example says one line of its own, with the system's reason
# the board I/O layer gave, and the layer itself prints nothing.
expect_one_line() {
    local status=0 out
    out=$("$@" 2>"$work/err") || status=$?
    [ "$status" -eq 1 ] && [ -z "$out" ] && [ "$(wc -l <"$work/err")" -eq 1 ] ||
        { echo "$* said more than one line:" >&2; cat "$work/err" >&2; exit 1; }
    cat "$work/err"
}
missing=$work/no/ttyACM7
line=$(expect_one_line "$work/flash_host" "$missing" "$work/image.bin")
[ "$line" = "io_init: cannot open $missing: No such file or directory" ]
line=$(expect_one_line "$work/c_host" "$missing")
[ "$line" = "zelp_linux_io_init failed: fail: cannot open $missing: No such file or directory" ]

# The match example: a package loaded into the daemon's board, which matches every 100 ms, and
# the audio before the next match in a WAV file: its header and its size agree.
"$tools/morvel_pkg_sample" "$work/sample.pkg" >/dev/null
"$tools/zelp7x_board_sim" --link "$work/board" --match-every 100 >/dev/null &
daemon=$!
for _ in $(seq 100); do [ -e "$work/board" ] && break; sleep 0.05; done
cmake_project "$source/examples/match_wav" "$work/wav_cmake"
# shellcheck disable=SC2046 # the flags are meant to split into words
"$cc" "${cflags[@]}" "$source/examples/match_wav/match_wav.c" -o "$work/match_wav" \
    $(pkg-config --cflags --libs morvel_host)
for host in "$work/wav_cmake/match_wav" "$work/match_wav"; do
    rm -f "$work/match.wav"
    "$host" "$work/board" "$work/sample.pkg" "$work/match.wav"
    test "$(head -c 4 "$work/match.wav")" = RIFF
    test "$(tail -c +9 "$work/match.wav" | head -c 7)" = WAVEfmt
    data=$(od -An -tu4 -j40 -N4 "$work/match.wav" | tr -d ' ')
    test "$data" -gt 0
    test "$(stat -c %s "$work/match.wav")" -eq $((44 + data))
done
kill "$daemon"
wait "$daemon" || true
daemon=

# A host written before the rule.
mkdir "$work/old"
sed 's|"morvel_evb_io/zelp_linux_io.h"|"zelp_linux_io.h"|' "$source/examples/c_host/c_host.c" >"$work/old/c_host.c"
grep -q '^#include "zelp_linux_io.h"' "$work/old/c_host.c"
sed 's/find_package(morvel /find_package(morvel_devlib /' "$source/examples/c_host/CMakeLists.txt" \
    >"$work/old/CMakeLists.txt"
cmake_project "$work/old" "$work/old/build"
expect_host_output "$work/old/build/c_host"
