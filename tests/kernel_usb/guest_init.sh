#!/bin/busybox sh
# /init of the test guest (busybox): loads the modules in the order the host worked out, mounts the
# host's root (read-only) and the results share over 9p, gives the host's root fresh /proc, /sys,
# /dev, /tmp and /run, and runs guest_scenarios.sh chrooted there, so the tools, socat, udev and
# usbip are the host's own. Powers the guest off whatever happens.
/bin/busybox --install -s /bin
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

say() { echo "zk: $*"; }
uptime_s() { cut -d' ' -f1 /proc/uptime; }
finish() {
  say "$1 at $(uptime_s) s"
  sync
  poweroff -f
}

say "init at $(uptime_s) s"
grep -q zk.probe /proc/cmdline && finish "probe ok"
. /harness.env
say "accelerator $ACCEL"

while read -r module params; do
  # shellcheck disable=SC2086 # the parameters are words of their own
  insmod "/modules/$module" $params || say "cannot load $module"
done < /modules.load
say "modules loaded at $(uptime_s) s"

# The host's files do not change while the guest runs, so the guest may cache them.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 hostroot /host ||
  finish "cannot mount the host's root"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 results "/host$RESULTS_DIR" ||
  finish "cannot mount the results share"
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t configfs configfs /host/sys/kernel/config
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts /host/dev/shm
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts /host/dev/pts
mount -t tmpfs -o mode=1777 tmpfs /host/dev/shm
mount -t tmpfs -o mode=1777 tmpfs /host/tmp
mount -t tmpfs -o mode=0755 tmpfs /host/run
ip link set lo up
say "ready at $(uptime_s) s"

export SOURCE_DIR BUILD_DIR RESULTS_DIR ACCEL
# shellcheck disable=SC2086 # one scenario name a word
chroot /host /bin/bash "$SOURCE_DIR/tests/kernel_usb/guest_scenarios.sh" $SCENARIOS
finish "scenarios ended with status $?"
