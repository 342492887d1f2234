#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks, fuzzers, packaging and the kernel USB
# harness need, if any is missing.
set -euo pipefail
packages=(g++ clang cmake ninja-build googletest libgtest-dev libgmock-dev libbenchmark-dev
          libclang-rt-14-dev zlib1g-dev
          pybind11-dev python3-dev python3-numpy python3-pytest   # the Python package and its tests
          python3-venv python3-setuptools python3-wheel python3-matplotlib   # its pip install, the plot
          python3-mypy                              # the Python package's types
          pkg-config dpkg-dev file lintian man-db doxygen   # install test, Debian packages, API reference
          ser2net                                   # boards on another machine: the network tests
          g++-mingw-w64-x86-64-posix wine wine64     # the Windows build and its tests
          qemu-system-x86 busybox-static socat usbip udev)   # the kernel USB harness's guest
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}"
fi
