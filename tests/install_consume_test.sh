#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds the C host example against that copy twice,
# as a host project would: a CMake project with find_package, and a plain cc line with
# pkg-config. Each build must run on the simulated board and report the chip and the library.
#   install_consume_test.sh BUILD_DIR SOURCE_DIR LIBDIR GENERATOR C_COMPILER
set -euo pipefail
build=$1 source=$2 libdir=$3 generator=$4 cc=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
# Only a shared build needs it: the plain cc line records no run path.
export LD_LIBRARY_PATH=$prefix/$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

expect_host_output() {
    local output
    output=$("$1")
    printf '%s\n' "$output"
    grep -qx 'device type 0x20' <<<"$output"
    grep -qx 'devlib v79' <<<"$output"
}

cmake -S "$source/examples/c_host" -B "$work/cmake" -G "$generator" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
expect_host_output "$work/cmake/c_host"

export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
# shellcheck disable=SC2046 # the flags are meant to split into words
"$cc" -std=c11 -Wall -Wextra -pedantic -Werror "$source/examples/c_host/c_host.c" -o "$work/c_host" \
    $(pkg-config --cflags --libs morvel_evb_io morvel_devlib)
expect_host_output "$work/c_host"

# The flash example: writes an image to a simulated board's flash file and verifies it, built
# both ways; the second run finds every sector unchanged and still verifies.
head -c 10000 /dev/urandom >"$work/image.bin"
cmake -S "$source/examples/flash_host" -B "$work/flash_cmake" -G "$generator" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/flash_cmake" >/dev/null
# shellcheck disable=SC2046 # the flags are meant to split into words
"$cc" -std=c11 -Wall -Wextra -pedantic -Werror "$source/examples/flash_host/flash_host.c" \
    -o "$work/flash_host" $(pkg-config --cflags --libs morvel_flash)
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
