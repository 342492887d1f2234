#!/bin/sh
# Runs a command; passes when it exits with STATUS and a line of its output (standard output and
# error together, carriage returns shown as \r) matches the extended regular expression PATTERN.
# Usage: expect_run.sh STATUS PATTERN COMMAND [ARG...]
status=$1
pattern=$2
shift 2
# A file, not a pipe: processes the command leaves behind must not hold up the check.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$@" >"$out" 2>&1
got=$?
shown=$(sed 's/\r/\\r/g' "$out")
if [ "$got" -ne "$status" ]; then
    printf 'exit status %s, expected %s; output:\n%s\n' "$got" "$status" "$shown"
    exit 1
fi
if ! printf '%s\n' "$shown" | grep -Eq -- "$pattern"; then
    printf 'no line matches %s; output:\n%s\n' "$pattern" "$shown"
    exit 1
fi
