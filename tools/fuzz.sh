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
"$build/bin/package_seed_gen" "$seeds"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

status=0
for target in "${targets[@]}"; do
    corpus="$build/fuzz-corpus/$target"
    mkdir -p "$corpus"
    log="$build/fuzz-$target.log"
    echo "fuzz: $target for ${per_target}s"
    found=0
    # -close_fd_mask=1 keeps the reader's log printouts off the console.
    "$build/bin/$target" -max_total_time="$per_target" -timeout=10 -max_len=65536 \
        -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$corpus" "$seeds" >"$log" 2>&1 || found=1
    grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)|cov: " "$log" |
        tail -n 4 || true
    if [ $found -ne 0 ]; then
        echo "fuzz: $target reported a finding (log: $log, inputs: $artifacts):"
        tail -n 40 "$log"
        status=1
    fi
done
exit $status
