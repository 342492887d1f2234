#!/bin/bash
# The scenarios of the kernel USB harness, run inside the test guest, chrooted into the host's root
# (guest_init.sh). Two boards: each a zelp7x_board_sim board whose terminal socat joins to the
# serial function of a USB gadget on one of dummy_hcd's controllers; the gadget passes for a
# supported bridge (IDs and HID report descriptor from kernel_usb_gadget) and the daemon sends its
# interrupt reports into the gadget's HID function. The host side of the same kernel then sees
# them as cdc_acm ttys and hidraw nodes, through real sysfs and systemd-udevd with the project's
# rules.
#
#   guest_scenarios.sh [SCENARIO...]   set up once, then run each scenario in a process of its own
#                                      under a time limit: RESULTS_DIR/NAME.log and NAME.result
#   guest_scenarios.sh --one SCENARIO  one scenario in this process (what the above runs)
#
# A scenario is a function scenario_NAME; the harness takes their names from this file. Images
# stay small: under emulation each register read through the gadget costs tens of milliseconds.
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C
# udevadm settle would do nothing in a chroot otherwise.
export SYSTEMD_IGNORE_CHROOT=1
BIN=$BUILD_DIR/bin
WORK=/tmp/zk
RESULTS=$RESULTS_DIR
GADGETS=/sys/kernel/config/usb_gadget
SCENARIO_LIMIT=${SCENARIO_LIMIT:-150}

# Board 0 passes for the table's first "bridge", board 1 for an "atmel" bridge with another flash;
# board 1 alone makes matches, so a host waiting on board 0's HID node would wait in vain. The
# flash keeps datasheet times: over a slow link a count of status polls would outlast the limits.
BOARD_KIND=(bridge atmel)
BOARD_SERIAL=(ZKA0001 ZKB0002)
BOARD_SIM=("--timing real" "--timing real --id c84017 --match-every 500")
FLASH_ID=("flash vendor id = 0xef, device id = 0x4016" "flash vendor id = 0xc8, device id = 0x4017")
PLUGDEV_USER=4242
OTHER_USER=4243

say() { echo "zk: $*"; }
# Times from the shell's own clock: under emulation every program started costs a good part of a
# second, so the helpers start as few as they can.
# Seconds since $1 (an $EPOCHREALTIME), with two decimals, into the variable $2.
since() {
  local us=$((${EPOCHREALTIME/./} - ${1/./}))
  printf -v "$2" '%d.%02d' $((us / 1000000)) $((us / 10000 % 100))
}
# True when seconds $1 are below $2 (whole seconds).
within() { [ "${1%.*}" -lt "$2" ]; }

# --- checks, for the scenario's log --------------------------------------------------------------
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# run CMD...: runs it, logs it, and leaves $rc, $out (standard output), $err (standard error) and
# $took (seconds). Progress bars redraw with carriage returns; the log shows each on a line.
run() {
  echo "\$ $*"
  local started=$EPOCHREALTIME lines
  "$@" > "$WORK/run.out" 2> "$WORK/run.err"
  rc=$?
  since "$started" took
  out=$(< "$WORK/run.out") err=$(< "$WORK/run.err")
  out=${out//$'\r'/$'\n'}
  if [ -n "$out" ]; then mapfile -t lines <<< "$out" && printf '  | %s\n' "${lines[@]}"; fi
  if [ -n "$err" ]; then mapfile -t lines <<< "$err" && printf '  ! %s\n' "${lines[@]}"; fi
  echo "  => status $rc in $took s"
}
expect_status() { [ "$rc" = "$1" ] || fail "status $rc, expected $1"; }
expect_out() { [ "$out" = "$1" ] || fail "standard output is not: $1"; }
expect_err() { [ "$err" = "$1" ] || fail "standard error is not: $1"; }
expect_said() { [[ "$out"$'\n'"$err" == *"$1"* ]] || fail "nothing says: $1"; }
expect_same() { cmp "$1" "$2" || fail "$2 differs from $1"; }
# A timing line for the log: what ran, its time as a whole and the tool's own summary lines.
timing() {
  local line
  echo "timing: $* (the run $took s)"
  while IFS= read -r line; do [[ $line == *" bytes "* ]] && echo "timing:   $line"; done <<< "$out"
}

# --- boards: gadgets, daemons, links --------------------------------------------------------------
# The USB device that sysfs device $1 belongs to: the first directory up that has a serial
# number (interfaces and HID devices have none).
usb_device_above() {
  local d
  d=$(readlink -f "$1") || return 1
  while [ "$d" != /sys ] && [ ! -f "$d/serial" ]; do d=${d%/*}; done
  [ "$d" != /sys ] && echo "$d"
}
# The node named $1N (ttyACM, hidraw) whose USB device has board $2's serial number. Its USB device
# may be on dummy_hcd or, after usbip, on vhci_hcd: the exported device keeps its serial number
# but has no nodes left.
node_of() {
  local entry dev class=tty
  [ "$1" = hidraw ] && class=hidraw
  for entry in /sys/class/$class/"$1"*; do
    [ -e "$entry" ] || continue
    dev=$(usb_device_above "$entry/device") || continue
    [ "$(< "$dev/serial")" = "${BOARD_SERIAL[$2]}" ] && { echo "/dev/${entry##*/}"; return 0; }
  done
  return 1
}
tty_of() { node_of ttyACM "$1"; }
hidraw_of() { node_of hidraw "$1"; }
# The host side's USB device of board $1: through dummy_hcd, or vhci_hcd after usbip.
usb_device_of() {
  local tty
  tty=$(tty_of "$1") && usb_device_above "/sys/class/tty/${tty#/dev/}/device"
}

# Waits up to 30 s until board $1's tty and hidraw nodes are there and udev has done with them.
wait_for_board() {
  local started=$EPOCHREALTIME t=0
  while within "$t" 30; do
    if tty_of "$1" > /dev/null && hidraw_of "$1" > /dev/null; then
      udevadm settle -t 30
      [ -e "$(tty_of "$1")" ] && [ -e "$(hidraw_of "$1")" ] && return 0
    fi
    sleep 0.2
    since "$started" t
  done
  echo "board $1 did not come up on the host side"
  return 1
}
wait_for_no_board() {
  local started=$EPOCHREALTIME t=0
  while within "$t" 30; do
    tty_of "$1" > /dev/null || { udevadm settle -t 30; return 0; }
    sleep 0.1
    since "$started" t
  done
  echo "board $1 is still there"
  return 1
}

gadget_create() {
  local k=$1 g=$GADGETS/zk$1 attrs=$WORK/gadget$1 a
  "$BIN/kernel_usb_gadget" "${BOARD_KIND[$k]}" "$attrs" > "$WORK/ids$k" || return 1
  mkdir -p "$g/strings/0x409" "$g/configs/c.1/strings/0x409" "$g/functions/acm.zk" \
    "$g/functions/hid.zk" || return 1
  cat "$attrs/idVendor" > "$g/idVendor"
  cat "$attrs/idProduct" > "$g/idProduct"
  echo "${BOARD_SERIAL[$k]}" > "$g/strings/0x409/serialnumber"
  echo "zelp7x test" > "$g/strings/0x409/manufacturer"
  echo "zelp7x bridge ${BOARD_KIND[$k]}" > "$g/strings/0x409/product"
  echo "serial and interrupt" > "$g/configs/c.1/strings/0x409/configuration"
  # The descriptor goes in one write: configfs takes report_desc whole or not at all.
  for a in protocol subclass report_length report_desc; do
    cat "$attrs/$a" > "$g/functions/hid.zk/$a" || return 1
  done
  # The serial function first: its control interface is interface 0.
  ln -s "$g/functions/acm.zk" "$g/configs/c.1/" && ln -s "$g/functions/hid.zk" "$g/configs/c.1/"
  echo "ttyGS$(< "$g/functions/acm.zk/port_num")" > "$WORK/ttygs$k"
  local dev
  dev=$(< "$g/functions/hid.zk/dev")
  echo "hidg${dev#*:}" > "$WORK/hidg$k"
}
gadget_bind() { echo "dummy_udc.$1" > "$GADGETS/zk$1/UDC"; }
gadget_unbind() { echo "" > "$GADGETS/zk$1/UDC"; }

# The board's daemon, detached from the scenario that starts it: its flash in $WORK/flash$1, its
# interrupt reports into the gadget's HID function.
board_start() {
  local k=$1 i
  # shellcheck disable=SC2086 # the options are words of their own
  setsid "$BIN/zelp7x_board_sim" --link "$WORK/board$k" --image "$WORK/flash$k" \
    --hid "/dev/$(< "$WORK/hidg$k")" ${BOARD_SIM[$k]} > "$WORK/sim$k.log" 2>&1 &
  for i in $(seq 100); do [ -L "$WORK/board$k" ] && return 0; sleep 0.1; done
  cat "$WORK/sim$k.log"
  return 1
}
# socat joins the gadget's serial function to the daemon's terminal; a tool must not start before
# socat holds the gadget side. Ends a socat left from before, which an unplug may have ended too.
board_connect() {
  local k=$1 i
  [ -f "$WORK/socat$k.pid" ] && kill "$(< "$WORK/socat$k.pid")" 2> /dev/null && sleep 0.2
  setsid socat -d -d "/dev/$(< "$WORK/ttygs$k"),rawer" "$WORK/board$k,rawer" \
    > "$WORK/socat$k.log" 2>&1 &
  echo $! > "$WORK/socat$k.pid"
  for i in $(seq 100); do
    grep -q "starting data transfer loop" "$WORK/socat$k.log" && return 0
    sleep 0.1
  done
  cat "$WORK/socat$k.log"
  return 1
}
board_up() { wait_for_board "$1" && board_connect "$1"; }

set_up() {
  local started=$EPOCHREALTIME k t
  mkdir -p "$WORK" /run/udev/rules.d || return 1
  cp "$BUILD_DIR/60-zelp7x.rules" /run/udev/rules.d/ || return 1
  # Only the gadgets' devices matter, and they come after udevd: no need to replay the others.
  /lib/systemd/systemd-udevd --daemon || return 1
  for k in 0 1; do gadget_create $k && gadget_bind $k || return 1; done
  since "$started" t && echo "gadgets bound after $t s"
  for k in 0 1; do wait_for_board $k && board_start $k && board_connect $k || return 1; done
  since "$started" t && echo "boards served after $t s"
  # Programs an unprivileged user runs must be reachable whatever the rights on the build tree.
  mkdir -p "$WORK/bin" && cp "$BIN/zelp7x_flash" "$BIN/usb_interrupt_wait" "$WORK/bin/" &&
    chmod 755 "$WORK" "$WORK/bin" || return 1
  "$BIN/morvel_pkg_sample" "$WORK/sample.pkg" > /dev/null || return 1
  ls -l /dev/ttyACM* /dev/hidraw* /dev/ttyGS* /dev/hidg* /dev/serial/by-id/
  "$BIN/zelp7x_flash" --list
}

# A file of $1 random bytes.
random_image() { head -c "$1" /dev/urandom > "$2"; }

# --- the scenarios ----------------------------------------------------------------------------------

# Both tools list both bridges alike; -d finds the first without -s, by port, by serial number and
# through udev's by-id link; the raw HID node opened for a port is the one on its own USB device.
scenario_discovery() {
  local a b ha hb by_id k tool
  a=$(tty_of 0) b=$(tty_of 1) ha=$(hidraw_of 0) hb=$(hidraw_of 1)
  local listed="$a $(< "$WORK/ids0") bridge serial=${BOARD_SERIAL[0]} hid=$ha
$b $(< "$WORK/ids1") atmel serial=${BOARD_SERIAL[1]} hid=$hb"
  for tool in zelp7x_flash zelp7x_host; do
    run "$BIN/$tool" --list
    expect_status 0
    expect_out "$listed"
  done
  run "$BIN/zelp7x_flash" -d
  expect_status 0
  expect_out "${FLASH_ID[0]}"
  expect_err "using $a, the first of 2 supported bridges (--list shows them)"
  by_id=$(ls /dev/serial/by-id/*"${BOARD_SERIAL[1]}"*) || fail "udev made no by-id link"
  for k in "$a 0" "$b 1" "serial=${BOARD_SERIAL[1]} 1" "serial=zka0001 0" "$by_id 1"; do
    set -- $k
    run "$BIN/zelp7x_flash" -s "$1" -d
    expect_status 0
    expect_out "${FLASH_ID[$2]}"
  done
  for k in "$a $ha" "$b $hb" "$by_id $hb"; do
    set -- $k
    run "$BIN/usb_interrupt_wait" "$1" 0
    expect_status 0
    expect_out "hid node $2"
  done
}

# The whole flash job on the MSPI path and through the bridge, plain and pipelined, and a re-flash
# of the changed sector only; every image read back and compared byte for byte. The images span the
# end of the first sector and the start of the second.
scenario_flash_job() {
  local a n=600 at=0xe00 k
  a=$(tty_of 0)
  random_image $n "$WORK/job1" && random_image $n "$WORK/job2" && random_image $n "$WORK/job3"
  for k in "$a job1 -e" "$a,pipeline=32 job2 -e" "$a job3 -Q" "$a,pipeline=8 job3 -Q"; do
    set -- $k
    run "$BIN/zelp7x_flash" -q -s "$1" -a $at $3 -w "$WORK/$2" -v "$WORK/$2"
    expect_status 0
    expect_said "$n bytes written"
    timing "$3 -w -v of $n bytes on $1"
    rm -f "$WORK/back"
    run "$BIN/zelp7x_flash" -q -s "$a,pipeline=32" -a $at -r "$WORK/back" -c $n
    expect_status 0
    expect_same "$WORK/$2" "$WORK/back"
  done
  cp "$WORK/job3" "$WORK/job4"
  printf '\000' | dd of="$WORK/job4" bs=1 seek=100 conv=notrunc 2> /dev/null
  run "$BIN/zelp7x_flash" -q -s "$a,pipeline=32" -a $at --skip-unchanged -w "$WORK/job4" \
    -v "$WORK/job4"
  expect_status 0
  expect_said "skip-unchanged: 1 of 2 sectors unchanged"
  run "$BIN/zelp7x_flash" -q -s "$a,pipeline=32" -a $at -r "$WORK/back" -c $n
  expect_same "$WORK/job4" "$WORK/back"
}

# The host tool loads, shows and watches the board with matches; a host that enables the USB
# interrupt learns of each match from the report on that board's own raw HID node.
scenario_host_interrupt() {
  local b hb
  b=$(tty_of 1) hb=$(hidraw_of 1)
  run "$BIN/zelp7x_host" -s "serial=${BOARD_SERIAL[1]}" load "$WORK/sample.pkg"
  expect_status 0
  expect_said "bytes loaded"
  run "$BIN/zelp7x_host" -s "$b" info
  expect_status 0
  expect_said "firmware: running"
  run "$BIN/zelp7x_host" -s "$b" watch -n 2 -w 10000
  expect_status 0
  [ "$(grep -c '^match: summary' <<< "$out")" = 2 ] || fail "watch did not print two matches"
  run "$BIN/usb_interrupt_wait" "$b" 3
  expect_status 0
  expect_said "hid node $hb"
  expect_said "match 3: class"
}

# A second tool on a port in use fails at once, while the first one reads on; the first one's
# data are the flash's.
scenario_exclusive() {
  local a pid i k n=2048
  a=$(tty_of 0)
  "$BIN/zelp7x_flash" -q -s "$a" -r "$WORK/long" -c $n > "$WORK/long.out" 2>&1 &
  pid=$!
  for i in $(seq 200); do
    [[ $(ls -l "/proc/$pid/fd" 2> /dev/null) == *" -> $a"* ]] && break
    sleep 0.05
  done
  for k in "zelp7x_flash -d" "zelp7x_host info"; do
    set -- $k
    run "$BIN/$1" -s "$a" "$2"
    expect_status 1
    expect_said "cannot open $a: in use by another process"
    within "$took" 5 || fail "$1 took $took s to fail"
    kill -0 $pid 2> /dev/null || fail "the first tool ended before $1 had tried"
  done
  wait $pid
  rc=$?
  cat "$WORK/long.out"
  expect_status 0
  head -c $n "$WORK/flash0" > "$WORK/long.expected"
  expect_same "$WORK/long.expected" "$WORK/long"
}

# Unplugged mid-read, the tool ends with status 1 and its message within 2 s and writes no file;
# with both boards gone nothing is listed; plugged in again, a whole job passes.
scenario_unplug() {
  local a pid i started took_to_end
  a=$(tty_of 0)
  "$BIN/zelp7x_flash" -q -s "$a" -r "$WORK/cut" -c 200000 > "$WORK/cut.out" 2>&1 &
  pid=$!
  sleep 2
  kill -0 $pid 2> /dev/null || fail "the read ended before the unplug"
  started=$EPOCHREALTIME
  gadget_unbind 0
  for i in $(seq 200); do kill -0 $pid 2> /dev/null || break; sleep 0.02; done
  since "$started" took_to_end
  wait $pid
  rc=$?
  echo "the read ended $took_to_end s after the unplug, saying:"
  cat "$WORK/cut.out"
  echo "timing: unplug to exit: $took_to_end s"
  expect_status 1
  within "$took_to_end" 2 || fail "the tool took $took_to_end s to end"
  [ -s "$WORK/cut.out" ] || fail "the tool said nothing"
  grep -q "bytes read" "$WORK/cut.out" && fail "the tool claims a read"
  [ -e "$WORK/cut" ] && fail "the tool wrote $WORK/cut"
  wait_for_no_board 0
  gadget_unbind 1
  wait_for_no_board 1
  run "$BIN/zelp7x_flash" --list
  expect_status 1
  expect_err "no supported bridge found"
  gadget_bind 0 && gadget_bind 1 && board_up 0 && board_up 1 || fail "the boards did not come back"
  a=$(tty_of 0)
  random_image 500 "$WORK/replug"
  run "$BIN/zelp7x_flash" -q -s "$a,pipeline=32" -e -w "$WORK/replug" -v "$WORK/replug"
  expect_status 0
  run "$BIN/zelp7x_flash" -s "serial=${BOARD_SERIAL[1]}" -d
  expect_out "${FLASH_ID[1]}"
}

# udev gives the nodes the rules' mode, group and tags; a user in plugdev flashes the board and
# opens its raw HID node, a user outside it is told the node's own group.
scenario_udev_access() {
  local a ha node plugdev user
  a=$(tty_of 0) ha=$(hidraw_of 0)
  for node in "$a" "$ha"; do
    run stat -L -c '%a %G' "$node"
    expect_out "660 plugdev"
    run udevadm info -q property -n "$node"
    expect_said ":uaccess:"
  done
  run udevadm info -q property -n "$a"
  expect_said "ID_MM_DEVICE_IGNORE=1"
  run udevadm info -q property -p "$(usb_device_of 0)"
  expect_said "ID_MM_DEVICE_IGNORE=1"

  plugdev=$(getent group plugdev | cut -d: -f3)
  user=(setpriv --reuid=$PLUGDEV_USER --regid=$PLUGDEV_USER --groups="$plugdev")
  mkdir -p "$WORK/user" && chmod 777 "$WORK/user" && cd "$WORK/user" || return 1
  random_image 500 "$WORK/user/img" && chmod 644 "$WORK/user/img"
  run "${user[@]}" id
  run "${user[@]}" "$WORK/bin/zelp7x_flash" -q -s "$a,pipeline=32" -e -w img -v img
  expect_status 0
  expect_said "500 bytes written"
  run "${user[@]}" "$WORK/bin/usb_interrupt_wait" "$a" 0
  expect_status 0
  expect_out "hid node $ha"
  run setpriv --reuid=$OTHER_USER --regid=$OTHER_USER --clear-groups \
    "$WORK/bin/zelp7x_flash" -s "$a" -d
  expect_status 1
  expect_said "cannot open $a: Permission denied"
  expect_said "join the group that owns $a (plugdev), then log in again"
}

# usbip exports board 0 over loopback and attaches it again: the tools find and flash it as they do
# a local one. The same job runs locally first, for the times.
scenario_usbip() {
  local busid a port i where n=600
  random_image $n "$WORK/remote"
  for where in local usbip; do
    if [ $where = usbip ]; then
      busid=$(usb_device_of 0) && busid=${busid##*/}
      setsid usbipd > "$WORK/usbipd.log" 2>&1 &
      echo $! > "$WORK/usbipd.pid"
      run usbip bind -b "$busid"
      expect_status 0
      wait_for_no_board 0
      for i in $(seq 50); do usbip list -r 127.0.0.1 > /dev/null 2>&1 && break; sleep 0.2; done
      run usbip list -r 127.0.0.1
      expect_said "$busid"
      run usbip attach -r 127.0.0.1 -b "$busid"
      expect_status 0
      board_up 0 || fail "the attached board did not come up"
      [[ $(usb_device_of 0) == */vhci_hcd.* ]] || fail "board 0 is not on vhci_hcd"
    fi
    a=$(tty_of 0)
    run "$BIN/zelp7x_flash" --list
    expect_said "$a $(< "$WORK/ids0") bridge serial=${BOARD_SERIAL[0]} hid=$(hidraw_of 0)"
    run "$BIN/zelp7x_flash" -s "serial=${BOARD_SERIAL[0]}" -d
    expect_out "${FLASH_ID[0]}"
    timing "$where: -d"
    run "$BIN/zelp7x_flash" -q -s "$a,pipeline=32" -e -w "$WORK/remote" -v "$WORK/remote"
    expect_status 0
    timing "$where: -e -w -v of $n bytes, pipeline=32"
    run "$BIN/zelp7x_flash" -q -s "$a,pipeline=32" -Q -w "$WORK/remote" -v "$WORK/remote"
    expect_status 0
    timing "$where: -Q -w -v of $n bytes, pipeline=32"
    run "$BIN/zelp7x_flash" -q -s "$a" -R -c 256
    expect_status 0
    timing "$where: -R of 256 bytes, one round trip a word"
    rm -f "$WORK/back"
    run "$BIN/zelp7x_flash" -q -s "$a,pipeline=32" -r "$WORK/back" -c $n
    expect_same "$WORK/remote" "$WORK/back"
  done
  port=$(usbip port | sed -n 's/^Port \([0-9]*\):.*/\1/p' | head -n 1)
  run usbip detach -p "$port"
  run usbip unbind -b "$busid"
  kill "$(< "$WORK/usbipd.pid")"
  board_up 0 || fail "board 0 did not come back locally"
}

# --- running them -----------------------------------------------------------------------------------

if [ "${1:-}" = --one ]; then
  cd "$WORK" || exit 1
  "scenario_$2"
  echo "$failures failed check(s)"
  [ $failures = 0 ]
  exit
fi

started=$EPOCHREALTIME
say "setting up the boards"
if ! set_up > "$RESULTS/setup.log" 2>&1; then
  since "$started" t
  say "set-up failed after $t s:"
  cat "$RESULTS/setup.log"
  for name in "$@"; do echo "fail 0" > "$RESULTS/$name.result"; done
else
  since "$started" t
  say "boards up after $t s"
  for name in "$@"; do
    started=$EPOCHREALTIME
    timeout -k 5 "$SCENARIO_LIMIT" bash "$0" --one "$name" > "$RESULTS/$name.log" 2>&1
    status=$?
    [ $status = 124 ] && echo "stopped after $SCENARIO_LIMIT s" >> "$RESULTS/$name.log"
    verdict=pass
    [ $status = 0 ] || verdict=fail
    since "$started" t
    echo "$verdict $t" > "$RESULTS/$name.result"
    say "scenario $name: $verdict in $t s"
    [ $verdict = pass ] || grep -E "^(FAIL|stopped)" "$RESULTS/$name.log" | sed 's/^/zk:   /'
  done
fi
dmesg > "$RESULTS/dmesg.log"
touch "$RESULTS/done"
