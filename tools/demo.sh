#!/usr/bin/env bash
# Builds the release preset, then reads the flash ID, erases, programs, verifies, reads back and
# checksums a sample image on a simulated board inside the tool ("-s sim:FILE"), first over the
# MSPI registers and then through the bridge's own flash commands (-Q). The board's flash stays
# in build/demo/flash.bin for inspection.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build build/release -j"$(nproc)" --target zelp7x_flash zelp7x_board_sim

demo="$PWD/build/demo"
tool="$PWD/build/release/bin/zelp7x_flash"
mkdir -p "$demo"
cd "$demo"
rm -f flash.bin readback.bin
# Busy times as a real part takes them, so the progress bars have something to show.
board="sim:$demo/flash.bin,timing=real"

step() {
    printf '\n== %s\n$ %s\n' "$1" "${*:2}"
    "${@:2}"
}

# A 200000-byte sample image: not a multiple of a page, a sector or a block.
head -c 200000 /dev/urandom >image.bin
size=$(stat -c %s image.bin)

step "Flash ID" "$tool" -s "$board" -d
step "Erase, program and verify" "$tool" -s "$board" -e -w image.bin -v image.bin
step "Read it back into a file" "$tool" -s "$board" -q -r readback.bin -c "$size"
cmp image.bin readback.bin && echo "readback.bin is identical to image.bin"
step "Checksum of the flash" "$tool" -s "$board" -R -c "$size" -q
step "The same checksum from sum(1)" sum image.bin
step "First 64 bytes as hex" "$tool" -s "$board" -r - -c 64
step "Program and verify at 1 MiB through the bridge's flash commands" \
    "$tool" -s "$board" -Q -a 0x100000 -w image.bin -v image.bin

printf '\nThe simulated flash (4 MiB) is %s/flash.bin; the image sits at 0 and at 0x100000:\n' \
    "$demo"
printf '  cmp -n %d %s/flash.bin %s/image.bin\n' "$size" "$demo" "$demo"
printf '  od -A x -t x1z -N 64 %s/flash.bin\n' "$demo"
