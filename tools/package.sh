#!/usr/bin/env bash
# Builds the release preset and its Debian packages into build/packages, then checks them with
# lintian (any error fails, warnings are listed), builds host programs against the unpacked
# development package alone and, as root, checks that dpkg installs the udev rules and removes
# them again.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
rm -f build/packages/*.deb
cmake --workflow --preset release
lintian --fail-on error build/packages/*.deb
# The udev rules go where udev reads them.
dpkg-deb -c build/packages/zelp7x-flash_*.deb | grep ' ./usr/lib/udev/rules.d/60-zelp7x.rules$' >/dev/null
# Each package has a summary of its own.
summaries=$(for deb in build/packages/*.deb; do dpkg-deb -f "$deb" Description | head -1; done)
if [ -n "$(sort <<<"$summaries" | uniq -d)" ]; then
    printf 'two packages share a summary:\n%s\n' "$summaries" >&2
    exit 1
fi
# The libraries go to the multiarch folder, and hosts build against the development package alone:
# with its CMake package and with its pkg-config files.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
dev=(build/packages/libmorvel-dev_*.deb)
dpkg-deb -c "${dev[0]}" | grep " ./usr/lib/$multiarch/libmorvel_flash.a$" >/dev/null
# The API reference comes with the development package.
dpkg-deb -c "${dev[0]}" | grep ' ./usr/share/doc/libmorvel-dev/html/index.html$' >/dev/null
# and, as section 3 manual pages, a page for each header and record named for the libraries only
dpkg-deb -c "${dev[0]}" | grep ' ./usr/share/man/man3/morvel_zelp7x_flash_job.h.3' >/dev/null
if dpkg-deb -c "${dev[0]}" | grep -E ' ./usr/share/man/man3/[^mz]' >&2; then
    echo "manual pages named for more than the libraries" >&2
    exit 1
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "${dev[0]}" "$root"
tests/consume_installed.sh "$root/usr" "$PWD" "lib/$multiarch" Ninja cc build/release/bin >/dev/null
rm -rf "$root"
trap - EXIT
# The Python package installs where Debian's python3 looks, with its version, the sample package
# and its types.
python_files=$(dpkg-deb -c build/packages/python3-zelp7x_*.deb)
for file in __init__.py _audio.py _version.py sample.pkg _zelp7x.pyi py.typed; do
    grep " ./usr/lib/python3/dist-packages/zelp7x/$file\$" >/dev/null <<<"$python_files"
done
# The packages install together, the Python package imports from anywhere with its sample package,
# and removed again the tools' package takes the rules with it. That needs root and dpkg, as in a
# CI container; a machine where a package, or a rules file of that name, is already in place is
# left as it is.
rules=/usr/lib/udev/rules.d/60-zelp7x.rules
packages=(zelp7x-flash libmorvel-dev python3-zelp7x)
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
        (cd / && /usr/bin/python3 -c 'import zelp7x; assert zelp7x.sample_package().is_file()')
        dpkg -r "${packages[@]}" >/dev/null
        trap - EXIT
        if [ -e "$rules" ]; then
            echo "dpkg -r left $rules behind" >&2
            exit 1
        fi
    fi
fi
ls build/packages/*.deb
