#!/usr/bin/env bash
# Builds the release preset and its Debian package into build/packages, then checks the package
# with lintian: any error fails, warnings are listed.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
rm -f build/packages/*.deb
cmake --workflow --preset release
lintian --fail-on error build/packages/*.deb
ls build/packages/*.deb
