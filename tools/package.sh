#!/usr/bin/env bash
# Builds the release preset and its Debian package into build/packages, then checks the package
# with lintian (any error fails, warnings are listed) and, as root, that dpkg installs its udev
# rules and removes them again.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
rm -f build/packages/*.deb
cmake --workflow --preset release
lintian --fail-on error build/packages/*.deb
# The udev rules go where udev reads them.
dpkg-deb -c build/packages/zelp7x-flash_*.deb | grep ' ./usr/lib/udev/rules.d/60-zelp7x.rules$' >/dev/null
# Hosts find the flash library's header and its pkg-config file in the development package.
dpkg-deb -c build/packages/zelp7x-flash-dev_*.deb | grep ' ./usr/include/morvel_flash/morvel_zelp7x_flash.h$' >/dev/null
dpkg-deb -c build/packages/zelp7x-flash-dev_*.deb | grep '/pkgconfig/morvel_flash.pc$' >/dev/null
# The Python package installs where Debian's python3 looks.
dpkg-deb -c build/packages/python3-zelp7x_*.deb | grep ' ./usr/lib/python3/dist-packages/zelp7x/__init__.py$' >/dev/null
# The packages install together, the Python package imports from anywhere, and removed again the
# tools' package takes the rules with it. That needs root and dpkg, as in a CI container; a machine
# where a package, or a rules file of that name, is already in place is left as it is.
rules=/usr/lib/udev/rules.d/60-zelp7x.rules
packages=(zelp7x-flash zelp7x-flash-dev python3-zelp7x)
installed_already() {
    local p
    for p in "${packages[@]}"; do dpkg-query -W "$p" >/dev/null 2>&1 && return 0; done
    [ -e "$rules" ]
}
if [ "$(id -u)" = 0 ] && command -v dpkg >/dev/null; then
    if installed_already; then
        echo "a zelp7x package or $rules already present: install and removal not checked" >&2
    else
        trap 'dpkg -r "${packages[@]}" >/dev/null 2>&1 || true' EXIT
        dpkg -i build/packages/*.deb >/dev/null
        test -f "$rules" || { echo "dpkg -i did not install $rules" >&2; exit 1; }
        (cd / && /usr/bin/python3 -c 'import zelp7x')
        dpkg -r "${packages[@]}" >/dev/null
        trap - EXIT
        if [ -e "$rules" ]; then
            echo "dpkg -r left $rules behind" >&2
            exit 1
        fi
    fi
fi
ls build/packages/*.deb
