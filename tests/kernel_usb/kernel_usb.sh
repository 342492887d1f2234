#!/usr/bin/env bash
# The tools against the kernel's own USB stack: boots Debian's kernel under QEMU with a busybox
# initramfs, the host's root shared read-only over 9p, and runs the scenarios of
# guest_scenarios.sh in that one guest session, against USB gadgets on the kernel's dummy
# controller that pass for supported bridges. Results come back through a second, writable 9p
# share; the guest powers itself off.
#
#   kernel_usb.sh [--build DIR] [--timeout SECONDS] [SCENARIO...]   boot and run (default: all)
#   kernel_usb.sh [--build DIR] --report SCENARIO                   one scenario's result and log
#
# Exit status: 0 when every scenario passed, 1 when one failed or the guest did not run them, 77
# (skipped) when QEMU or another tool is missing and ZELP_KERNEL_USB_REQUIRED is not set; with it
# set (CI) a missing tool is a failure.
#
# In BUILD/kernel_usb: kernel/ (the unpacked kernel package, kept between runs), run/ (the
# initramfs, console.log: the guest's console, the results/ share: NAME.result, NAME.log,
# dmesg.log).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$source_dir/build/dev
timeout_s=${ZELP_KERNEL_USB_TIMEOUT:-540}
report=""
scenarios=()
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --report) report=$2; shift 2 ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "kernel_usb: unknown option $1" >&2; exit 2 ;;
    *) scenarios+=("$1"); shift ;;
  esac
done

top=$build/kernel_usb
cache=$top/kernel
run=$top/run
results=$run/results
kvm_probe_s=${ZELP_KVM_PROBE_SECONDS:-20}

say() { echo "kernel_usb: $*"; }

# A missing prerequisite skips the harness by hand and fails it in CI.
unavailable() {
  if [ -n "${ZELP_KERNEL_USB_REQUIRED:-}" ]; then
    say "FAILED: $*" >&2
    mkdir -p "$results" && echo "failed: $*" > "$results/unavailable"
    exit 1
  fi
  say "skipped: $*"
  mkdir -p "$results" && echo "skipped: $*" > "$results/unavailable"
  exit 77
}

# --report: what the boot left for one scenario.
if [ -n "$report" ]; then
  if [ -f "$results/unavailable" ]; then
    say "$(cat "$results/unavailable")"
    grep -q '^skipped' "$results/unavailable" && exit 77
    exit 1
  fi
  if [ ! -f "$results/$report.result" ]; then
    say "no result for $report: the guest did not run it (see $run/console.log)" >&2
    exit 1
  fi
  read -r verdict seconds < "$results/$report.result"
  if [ "$verdict" = pass ]; then
    grep '^timing:' "$results/$report.log"
  else
    cat "$results/$report.log"
  fi
  say "$report: $verdict in $seconds s (log: $results/$report.log)"
  [ "$verdict" = pass ]
  exit
fi

# The scenarios are the guest script's scenario_NAME functions, in file order.
all_scenarios() {
  sed -n 's/^scenario_\([a-z0-9_]*\)() {.*/\1/p' "$here/guest_scenarios.sh"
}
known=" $(all_scenarios | tr '\n' ' ') "
[ ${#scenarios[@]} -eq 0 ] && mapfile -t scenarios < <(all_scenarios)
for s in "${scenarios[@]}"; do
  [[ $known == *" $s "* ]] || { echo "kernel_usb: no scenario $s (known:$known)" >&2; exit 2; }
done

rm -rf "$run"
mkdir -p "$results" "$cache"

for tool in qemu-system-x86_64 busybox apt-get dpkg-deb socat usbip usbipd setpriv udevadm; do
  command -v "$tool" > /dev/null || unavailable "$tool is not installed (tools/install-deps.sh)"
done
[ -x /lib/systemd/systemd-udevd ] || unavailable "systemd-udevd is not installed (package udev)"
busybox_bin=$(command -v busybox)
# The initramfs has no libraries: only the static build will do.
ldd "$busybox_bin" > /dev/null 2>&1 && unavailable "$busybox_bin is not static (package busybox-static)"
for program in zelp7x_flash zelp7x_host zelp7x_board_sim morvel_pkg_sample kernel_usb_gadget \
               usb_interrupt_wait; do
  [ -x "$build/bin/$program" ] || unavailable "$build/bin/$program is not built"
done
[ -f "$build/60-zelp7x.rules" ] || unavailable "$build/60-zelp7x.rules is not built"

# Debian's kernel, downloaded and unpacked, not installed: the metapackage names the versioned
# image package.
fetch_kernel() {
  [ -f "$cache/version" ] && [ -f "$cache/vmlinuz" ] && return 0
  local tmp
  tmp=$(mktemp -d) || return 1
  say "downloading Debian's kernel into $cache"
  (
    cd "$tmp" || exit 1
    if ! apt-get download -q linux-image-amd64 > apt.log 2>&1; then
      # Package lists that were never fetched know no candidate yet.
      [ "$(id -u)" = 0 ] && apt-get update -qq >> apt.log 2>&1
      apt-get download -q linux-image-amd64 >> apt.log 2>&1 || { cat apt.log; exit 1; }
    fi
    image=$(dpkg-deb -f linux-image-amd64_*.deb Depends | grep -o 'linux-image-[0-9][^ ,]*')
    [ -n "$image" ] || { echo "no versioned image package in linux-image-amd64"; exit 1; }
    apt-get download -q "$image" > apt.log 2>&1 || { cat apt.log; exit 1; }
    rm -rf "$cache/root" && mkdir -p "$cache/root"
    dpkg-deb -x "$image"_*.deb "$cache/root"
    version=${image#linux-image-}
    busybox depmod -b "$cache/root" "$version"
    cp "$cache/root/boot/vmlinuz-$version" "$cache/vmlinuz"
    echo "$version" > "$cache/version"
  ) || { rm -rf "$tmp"; return 1; }
  rm -rf "$tmp"
}
fetch_kernel || unavailable "Debian's kernel could not be downloaded (apt-get download linux-image-amd64)"
version=$(cat "$cache/version")
modules=$cache/root/lib/modules/$version
say "kernel $version"

# What the guest loads, each after the modules it depends on (modules.dep), with its parameters:
# two dummy controllers, so two gadgets can be bound at once.
wanted_modules=(virtio_pci 9pnet_virtio 9p dummy_hcd libcomposite usb_f_acm usb_f_hid cdc-acm
                usbhid hid-generic usbip-host vhci-hcd)
declare -A module_params=([dummy_hcd]="num=2")
declare -A loaded=()
load_order=()
add_module() {
  local path=$1 dep
  [ -n "${loaded[$path]:-}" ] && return
  loaded[$path]=1
  for dep in $(sed -n "s#^$path: *##p" "$modules/modules.dep"); do add_module "$dep"; done
  load_order+=("$path")
}
for name in "${wanted_modules[@]}"; do
  path=$(grep -o "^[^:]*/$name\.ko\(\.xz\)\{0,1\}:" "$modules/modules.dep" | tr -d :)
  [ -n "$path" ] || unavailable "kernel $version has no module $name"
  add_module "$path"
done

initramfs() {
  local root=$run/initramfs
  mkdir -p "$root"/{bin,modules,proc,sys,dev,host}
  cp "$busybox_bin" "$root/bin/busybox"
  cp "$here/guest_init.sh" "$root/init"
  chmod 755 "$root/init"
  : > "$root/modules.load"
  local path name
  for path in "${load_order[@]}"; do
    name=$(basename "${path%.xz}" .ko)
    # Kernels that compress their modules get them unpacked here: insmod takes them plain.
    if [[ $path == *.xz ]]; then
      busybox xzcat "$modules/$path" > "$root/modules/$name.ko"
    else
      cp "$modules/$path" "$root/modules/$name.ko"
    fi
    echo "$name.ko ${module_params[$name]:-}" >> "$root/modules.load"
  done
  cat > "$root/harness.env" <<EOF
SOURCE_DIR='$source_dir'
BUILD_DIR='$build'
RESULTS_DIR='$results'
SCENARIOS='${scenarios[*]}'
ACCEL='$1'
EOF
  (cd "$root" && find . | busybox cpio -o -H newc 2> /dev/null | gzip -1) > "$run/initramfs.gz"
}

# qemu with the guest's console in $1, for at most $2 seconds.
boot() {
  local console=$1 limit=$2 accel=$3 append=$4
  local cpu=max
  [ "$accel" = kvm ] && cpu=host
  timeout -k 5 "$limit" qemu-system-x86_64 \
    -machine q35 -accel "$accel" -cpu "$cpu" -smp 2 -m 1024 \
    -nodefaults -no-user-config -display none -no-reboot \
    -serial "file:$console" \
    -kernel "$cache/vmlinuz" -initrd "$run/initramfs.gz" \
    -append "console=ttyS0 quiet panic=-1 $append" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$results",mount_tag=results,security_model=none,multidevs=remap \
    > "$run/qemu.log" 2>&1
}

# KVM only when it boots the guest in a moment: nested KVM has hung instead of failing.
accel=tcg
why="no usable /dev/kvm"
if [ "$kvm_probe_s" = 0 ]; then
  why="ZELP_KVM_PROBE_SECONDS=0"
elif [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
  initramfs kvm
  if boot "$run/kvm-probe.log" "$kvm_probe_s" kvm "zk.probe" && grep -q "zk: probe ok" "$run/kvm-probe.log"; then
    accel=kvm
    why="KVM booted the probe"
  else
    why="KVM did not boot the probe within $kvm_probe_s s"
  fi
fi
say "accelerator $accel ($why)"
initramfs "$accel"

say "booting, at most $timeout_s s; console in $run/console.log"
start=$(date +%s)
boot "$run/console.log" "$timeout_s" "$accel" ""
status=$?
took=$(( $(date +%s) - start ))
say "guest ran for $took s (qemu status $status)"

failed=0
if ! grep -q "zk: init" "$run/console.log" 2> /dev/null; then
  say "FAILED: the guest did not start; qemu said:" >&2
  tail -n 20 "$run/qemu.log" "$run/console.log" >&2
  exit 1
fi
if [ ! -f "$results/done" ]; then
  [ "$status" = 124 ] && say "FAILED: the guest was stopped after $timeout_s s" >&2
  say "FAILED: the guest did not finish its scenarios; the console ends with:" >&2
  tail -n 30 "$run/console.log" >&2
  failed=1
fi
for s in "${scenarios[@]}"; do
  if [ -f "$results/$s.result" ]; then
    read -r verdict seconds < "$results/$s.result"
  else
    verdict="not run"; seconds="-"
  fi
  printf '  %-16s %-8s %s s\n' "$s" "$verdict" "$seconds"
  [ "$verdict" = pass ] || failed=1
done
[ $failed = 0 ] || say "see $results/NAME.log and $run/console.log"
exit $failed
