#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs inside the guest of scripts/vm-link-test.sh (busybox sh, as root; the steps that matter run
# as the unprivileged user 1000). Each step leaves its exit status, stdout and stderr in /results;
# the host judges them. Lines "@@VM ..." on the console are for the host: "@@VM unplug ID" asks it
# to take bridge ID away (device_del), "@@VM plug ID" to put it back (device_add).
set -u
cli=/opt/velkard/velkard-cli
res=/results
seconds=$(sed -n 's/.*velkard.seconds=\([0-9]*\).*/\1/p' /proc/cmdline)
big=$(sed -n 's/.*velkard.big=\([^ ]*\).*/\1/p' /proc/cmdline)
# A smaller file for the downloads that only show the next connection works.
small=$(sed -n 's/.*velkard.small=\([^ ]*\).*/\1/p' /proc/cmdline)
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0 UBSAN_OPTIONS=halt_on_error=1
say() { echo "@@VM $*"; }
# The host's answers come in on the second serial port, held open for the whole run so that
# nothing it sends is lost between two reads.
stty -F /dev/ttyS1 -echo
exec 3</dev/ttyS1
# Waits up to $2 seconds for the host's line $1.
await_host() {
    while read -t "$2" -r line <&3; do
        [ "$line" = "$1" ] && return 0
    done
    return 1
}
now() { cut -d' ' -f1 /proc/uptime; }

# step NAME CMD...: runs CMD in /home/user, keeps rc/out/err. CMD starts with asuser (the
# unprivileged user 1000) or nosys (see /bin/nosys) followed by asuser.
step() {
    name=$1
    shift
    t0=$(now)
    (cd /home/user && "$@" >"$res/$name.out" 2>"$res/$name.err")
    echo $? >"$res/$name.rc"
    echo "$t0 $(now)" >"$res/$name.time"
    say "step $name rc=$(cat "$res/$name.rc") $(head -c 300 "$res/$name.err" | tr '\n' ' ')"
}

# Waits up to $2 seconds for the file $1 to exist (or, with "!", to be gone).
wait_path() {
    i=0
    while [ $i -lt $(($2 * 10)) ]; do
        if [ "$1" = "!" ]; then [ -e "$3" ] || return 0; else [ -e "$1" ] && return 0; fi
        usleep 100000
        i=$((i + 1))
    done
    return 1
}

# The udev rule's job (uaccess) done by hand: the user may open the bridges' nodes.
grant() {
    chown 1000:1000 /dev/ttyUSB* /dev/bus/usb/*/* 2>/dev/null
    chmod 0660 /dev/ttyUSB* /dev/bus/usb/*/* 2>/dev/null
}

# Both bridges have their tty again (after a plug or a libftdi link's close).
wait_ttys() {
    i=0
    while [ "$(ls /dev/ttyUSB* 2>/dev/null | wc -l)" -lt 2 ] && [ $i -lt $(($1 * 10)) ]; do
        usleep 100000
        i=$((i + 1))
    done
    grant
}

# The serial number (VELKARD-A/B) of the bridge behind /dev/ttyUSB0, or with "notty" of the bridge
# that has no tty (the one a libftdi link holds).
bridge_of() {
    for d in /sys/bus/usb/devices/*; do
        [ "$(cat "$d/idVendor" 2>/dev/null)" = 0403 ] || continue
        tty=$(ls -d "$d"/*:1.0/ttyUSB* 2>/dev/null | head -n 1)
        if [ "$1" = notty ] && [ -z "$tty" ]; then cat "$d/serial"; return; fi
        if [ "$1" != notty ] && [ "${tty##*/}" = "$1" ]; then cat "$d/serial"; return; fi
    done
}

mkdir -p /home/user/tty /home/user/ftdi /home/user/uplug /home/user/replug /home/user/replug2 /home/user/replug3
chown -R 1000:1000 /home/user

wait_path /dev/ttyUSB1 30 || say "no ttyUSB1"
sleep 1
ls -l /dev/ttyUSB* /dev/bus/usb/*/* >"$res/nodes-before.txt" 2>&1

# Plug and play through the real sysfs, two bridges present.
step discovery asuser $cli devices --port COM4
step discovery-nosys nosys asuser $cli devices --port COM4

# Open failures, each with its own message.
step noperm-tty asuser $cli memory --port /dev/ttyUSB0 list
step noperm-pnp asuser $cli memory --port COM4 list
step noperm-ftdi nosys asuser $cli memory --port COM4 list
step nodevice-tty asuser $cli memory --port /dev/ttyUSB7 list
step nodevice-usb asuser $cli memory --port USB:1234:5678 list
grant

# The tty path: ftdi_sio's /dev/ttyUSB0.
step tty-record asuser $cli record --port /dev/ttyUSB0 --seconds "$seconds" tty/rec.dat
step tty-get asuser $cli memory --port /dev/ttyUSB0 --dir tty get "$big"

# Held by another process: a recording holds the tty (exclusively), a second open is refused.
(cd /home/user && asuser $cli record --port /dev/ttyUSB0 --seconds 30 tty/held.dat \
    >"$res/held-holder.out" 2>"$res/held-holder.err") &
holder=$!
wait_path /home/user/tty/held.dat 20
sleep 1
step busy-tty asuser $cli memory --port /dev/ttyUSB0 list
kill -INT $holder
wait $holder

# The libftdi path. The latency timer is put back to the chip's default first, so what ftdi_sio
# reads back from the chip after the re-attach shows what the link set.
for l in /sys/bus/usb-serial/devices/ttyUSB*/latency_timer; do echo 16 >"$l"; done
cat /sys/bus/usb-serial/devices/ttyUSB*/latency_timer >"$res/latency-before.txt"
step ftdi-record nosys asuser $cli record --port COM4 --seconds "$seconds" ftdi/rec.dat
wait_ttys 10
for p in /sys/bus/usb-serial/devices/ttyUSB*; do
    echo "$(basename "$p") $(basename "$(readlink -f "$p/../..")") $(cat "$p/latency_timer")"
done >"$res/latency-after.txt"
ls /dev/ttyUSB* >"$res/ttys-after-ftdi.txt" 2>&1
step ftdi-get nosys asuser $cli memory --port COM4 --dir ftdi get "$big"
wait_ttys 10
ls /dev/ttyUSB* >"$res/ttys-after-ftdi-get.txt" 2>&1

# Held by another process over libftdi: the first link holds the USB interface.
(cd /home/user && nosys asuser $cli record --port COM4 --seconds 30 ftdi/held.dat \
    >"$res/held-ftdi-holder.out" 2>"$res/held-ftdi-holder.err") &
holder=$!
wait_path /home/user/ftdi/held.dat 20
sleep 1
step busy-ftdi nosys asuser $cli memory --port COM4 list
kill -INT $holder
wait $holder
wait_ttys 10

# The sysfs folder of the USB device with serial number $1.
device_of() {
    for d in /sys/bus/usb/devices/*; do
        [ "$(cat "$d/serial" 2>/dev/null)" = "$1" ] && echo "$d" && return
    done
}

# Unplugged while streaming, on both paths: the message, no hang, only whole blocks kept; then
# plugged back in and used again. how: "del" takes the bridge away on QEMU's monitor (device_del),
# "deauth" has this kernel drop it (authorized 0: its drivers unbound, its configuration gone, so
# every transfer ends as on an unplug) while QEMU's chip stays; the instrument is told either way
# ("@@VM unplug-quiet" for the latter) and goes off with its bridge.
unplug_during() {
    name=$1
    watch=$2
    which=$3
    how=$4
    shift 4
    t0=$(now)
    (cd /home/user && "$@" >"$res/$name.out" 2>"$res/$name.err"; echo $? >"$res/$name.rc") &
    pid=$!
    wait_path "$watch" 30 || say "never started $name"
    # A recording keeps a few whole blocks first; a download is under way once its file is there.
    if [ "$how" = deauth ]; then usleep 300000; else sleep 1; fi
    bridge=$(bridge_of "$which")
    echo "$bridge" >"$res/$name.bridge"
    if [ "$how" = deauth ]; then
        dev=$(device_of "$bridge")
        echo 0 >"$dev/authorized"
        say "unplug-quiet $bridge"
    else
        say "unplug $bridge"
    fi
    # The command must end by itself within 20 s of the unplug.
    i=0
    while kill -0 $pid 2>/dev/null && [ $i -lt 200 ]; do usleep 100000; i=$((i + 1)); done
    if kill -0 $pid 2>/dev/null; then
        echo hang >"$res/$name.hang"
        kill -9 $pid $(pidof velkard-cli)
    fi
    wait $pid
    echo "$t0 $(now)" >"$res/$name.time"
    say "step $name rc=$(cat "$res/$name.rc" 2>/dev/null)"
    ls -la /home/user/uplug /home/user/uplug/temp >"$res/$name.files" 2>&1
    if [ "$how" = deauth ]; then
        # The host tells the instrument when it reads this line, which on a loaded machine has
        # been seconds late: the bridge comes back once the host says the instrument is on.
        say "plug-quiet $bridge"
        await_host "plugged $bridge" 60 || say "the host never said it plugged $bridge in"
        echo 1 >"$dev/authorized"
    else
        say "plug $bridge"
    fi
    wait_ttys 30
}

unplug_during unplug-tty-stream /home/user/uplug/s1.dat ttyUSB0 del \
    asuser $cli record --port /dev/ttyUSB0 --seconds 60 uplug/s1.dat
cp /home/user/uplug/s1.dat "$res/unplug-tty-stream.dat" 2>/dev/null
step replug-tty-record asuser $cli record --port /dev/ttyUSB0 --seconds 2 replug/tty.dat
cp /home/user/replug/tty.dat "$res/replug-tty-rec.dat" 2>/dev/null

step replug-tty-get asuser $cli memory --port /dev/ttyUSB0 --dir replug get "$small"
mv /home/user/replug/temp/"$small" "$res/replug-tty-get.bin"

unplug_during unplug-ftdi-stream /home/user/uplug/s2.dat notty del \
    nosys asuser $cli record --port COM4 --seconds 60 uplug/s2.dat
cp /home/user/uplug/s2.dat "$res/unplug-ftdi-stream.dat" 2>/dev/null
step replug-ftdi-record nosys asuser $cli record --port COM4 --seconds 2 replug/ftdi.dat
cp /home/user/replug/ftdi.dat "$res/replug-ftdi-rec.dat" 2>/dev/null

# Unplugged during a download, on both paths; then the next download works. Not by device_del:
# QEMU 7.2 crashes (segmentation fault) on device_del while the bridge carries the download's
# data, so the guest's kernel drops the device instead (see unplug_during).
wait_ttys 10
unplug_during unplug-tty-get /home/user/uplug/temp/.velkard-partial-"$big" ttyUSB0 deauth \
    asuser $cli memory --port /dev/ttyUSB0 --dir uplug get "$big"
step replug-tty-get2 asuser $cli memory --port /dev/ttyUSB0 --dir replug2 get "$small"
mv /home/user/replug2/temp/"$small" "$res/replug-tty-get2.bin"
unplug_during unplug-ftdi-get /home/user/uplug/temp/.velkard-partial-"$big" notty deauth \
    nosys asuser $cli memory --port COM4 --dir uplug get "$big"
step replug-ftdi-get nosys asuser $cli memory --port COM4 --dir replug3 get "$small"
mv /home/user/replug3/temp/"$small" "$res/replug-ftdi-get.bin"
wait_ttys 10
ls /dev/ttyUSB* >"$res/ttys-end.txt" 2>&1

cp /home/user/tty/rec.dat "$res/tty-rec.dat"
cp /home/user/ftdi/rec.dat "$res/ftdi-rec.dat"
cp /home/user/tty/temp/"$big" "$res/tty-get.bin"
cp /home/user/ftdi/temp/"$big" "$res/ftdi-get.bin"
dmesg >"$res/dmesg.txt"
say done
