#!/usr/bin/env bash
# Installs the build into a fresh prefix, then uses that copy as a host project does
# (consume_installed.sh).
#   install_consume_test.sh BUILD_DIR SOURCE_DIR LIBDIR GENERATOR C_COMPILER
set -euo pipefail
build=$1 source=$2 libdir=$3 generator=$4 cc=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
"$(dirname "$0")/consume_installed.sh" "$work/prefix" "$source" "$libdir" "$generator" "$cc" "$build/bin"
