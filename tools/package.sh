#!/usr/bin/env bash
# Builds the release preset and its Debian package into build/packages, then checks the package
# with lintian: any error fails, warnings are listed.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
rm -f build/packages/*.deb
cmake --workflow --preset release
lintian --fail-on error build/packages/*.deb
# The udev rules go where udev reads them.
dpkg-deb -c build/packages/zelp7x-flash_*.deb | grep -q ' ./usr/lib/udev/rules.d/60-zelp7x.rules$'
# The Python package installs where Debian's python3 looks.
dpkg-deb -c build/packages/python3-zelp7x_*.deb | grep ' ./usr/lib/python3/dist-packages/zelp7x/__init__.py$' >/dev/null
ls build/packages/*.deb
