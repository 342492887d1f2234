#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset), generates a seed corpus and runs every target, the
# SECONDS seconds shared out evenly between them (at least one second each), so the whole run
# takes about SECONDS whatever the number of targets. Fails when a target reports a finding;
# crash inputs are kept under <build>/fuzz-artifacts. The build directory is build/fuzz unless
# ZELP_FUZZ_BUILD_DIR says otherwise.
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."
build=${ZELP_FUZZ_BUILD_DIR:-build/fuzz}

targets=()
for src in fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
if [ ${#targets[@]} -eq 0 ]; then echo "fuzz: no targets"; exit 0; fi
per_target=$((seconds / ${#targets[@]}))
if [ $per_target -lt 1 ]; then per_target=1; fi

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target package_seed_gen "${targets[@]}"

seeds="$build/fuzz-seeds"
artifacts="$build/fuzz-artifacts"
rm -rf "$seeds"
mkdir -p "$artifacts"
# Each target starts from the seeds made for its own input format, in $seeds/<target>.
"$build/bin/package_seed_gen" "$seeds/package_reader_fuzz"

# seed TARGET NAME BYTES: one seed file; BYTES in printf %b notation.
seed() {
    mkdir -p "$seeds/$1"
    printf '%b' "$3" >"$seeds/$1/$2"
}
# A board shape byte and a cut seed byte, then a session as the flash tool opens it: SPI clock,
# register 0 probe, an MCU word written and read back, a flash start-of-file, block write and read.
seed bridge_receive_fuzz session '\x00\x01:\x09\x00\x0f\x42\x40:\x02\x00\x00\x01'\
':\x01\x04\x70\x01\x20\x00\x04\xde\xad\xbe\xef:\x00\x04\x70\x01\x20\x00\x04'\
':\x13\x00\x00\x00\x04:\x10\x00\x01\x23\x45\x00\x04\x11\x22\x33\x44'\
':\x11\x00\x01\x23\x45\x00\x04:\x0a\x00\x00\x00\x00:\x0f\x01\x00\x00\x00'
# The Atmel bridge's two raw HID functions: vendor page 0xFFC0 and consumer page 0x000C.
seed hid_report_descriptor_fuzz vendor '\x06\xc0\xff\x0a\x00\x0c\xa1\x01\x15\x00\x26\xff\x00'\
'\x75\x08\x95\x40\x09\x01\x81\x02\x09\x02\x91\x02\xc0'
seed hid_report_descriptor_fuzz consumer '\x05\x0c\x09\x01\xa1\x01\x85\x02\x75\x10\x95\x01'\
'\x09\xe9\x81\x02\xc0'

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

status=0
for target in "${targets[@]}"; do
    corpus="$build/fuzz-corpus/$target"
    mkdir -p "$corpus" "$seeds/$target"
    log="$build/fuzz-$target.log"
    echo "fuzz: $target for ${per_target}s"
    found=0
    # -close_fd_mask=1 keeps the reader's log printouts off the console.
    "$build/bin/$target" -max_total_time="$per_target" -timeout=10 -max_len=65536 \
        -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$corpus" "$seeds/$target" >"$log" 2>&1 || found=1
    grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)|cov: " "$log" |
        tail -n 4 || true
    if [ $found -ne 0 ]; then
        echo "fuzz: $target reported a finding (log: $log, inputs: $artifacts):"
        tail -n 40 "$log"
        status=1
    fi
done
exit $status
