#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The USB link against an emulated FTDI FT232 (QEMU's usb-serial, 0403:6001) with the real kernel
# driver ftdi_sio and libftdi1 on a real USB stack (xHCI), the simulated instrument at the serial
# end of each bridge.
#
#   scripts/vm-link-test.sh [BUILD_DIR]      (default build/asan; needs velkard-cli and
#                                             velkard-instrument built there)
#
# Builds an initramfs from busybox-static, Debian's kernel modules and velkard-cli with its shared
# libraries, boots Debian's kernel in QEMU (-enable-kvm when /dev/kvm is usable; set
# VELKARD_VM_NO_KVM=1 to force emulation) with two usb-serial bridges, each joined through a
# pseudo-terminal to its own velkard-instrument, which keeps a copy of every byte it sends. The
# guest (scripts/vm/guest-test.sh) records, downloads, fails to open, and asks the host over the
# console to unplug and plug bridges through QEMU's monitor; its results come back on a second
# disk and are judged here (scripts/vm/check-results.py). VELKARD_VM_SECONDS sets the length of the
# two recordings (default 60). Exits 77 (skipped) when QEMU, the kernel or busybox is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/asan}" && pwd)
seconds=${VELKARD_VM_SECONDS:-}
big=BIG00001.DAT
small=ECG00002.DAT # one of the sample card's files (--make-card)

source "$root/scripts/vm/initramfs.sh"
vm_find_kernel
cli=$build/cli/velkard-cli
instrument=$build/sim/velkard-instrument
[[ -x $cli && -x $instrument ]] || { echo "vm-link-test: build velkard-cli and velkard-instrument in $build first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velkard-vm.XXXXXX")
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    if [[ ${VELKARD_VM_KEEP:-} == 1 ]]; then echo "vm-link-test: kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
t_start=$(date +%s.%N)

# --- the memory card: sample files and a file of more than 1 MB -----------------------------------
card=$work/card
mkdir -p "$card"
"$instrument" --make-card "$card" >/dev/null
python3 -c "import random,sys; sys.stdout.buffer.write(random.Random(27).randbytes(1234567))" >"$card/$big"

# --- the initramfs ----------------------------------------------------------------------------------
rootfs=$work/rootfs
# VELKARD_VM_GUEST_SCRIPT: a guest script of one's own, for debugging a single step.
vm_make_initramfs "$rootfs" "$work/initramfs.cpio" "$cli" "${VELKARD_VM_GUEST_SCRIPT:-$root/scripts/vm/guest-test.sh}" xhci-pci ftdi_sio virtio_pci virtio_blk
truncate -s 64M "$work/results.img"
t_built=$(date +%s.%N)

# --- the two simulated instruments -----------------------------------------------------------------
declare -A sim_pid=()
start_instrument() { # NAME: serves on a pty, prints nothing else; the pty path lands in NAME.pty
    local name=$1
    "$instrument" --seed 27 --card "$card" --sent "$work/$name.sent" >"$work/$name.pty" 2>"$work/$name.log" &
    pids+=($!)
    sim_pid[$name]=$!
    for _ in $(seq 50); do [[ -s $work/$name.pty ]] && break; sleep 0.1; done
    [[ -s $work/$name.pty ]] || { echo "vm-link-test: velkard-instrument did not start" >&2; exit 1; }
}
start_instrument A
start_instrument B

# --- QEMU -----------------------------------------------------------------------------------------
vm_pick_accel
# 60 s recordings with KVM; without it, 6 s, so that the whole test stays within 3 minutes on a
# loaded machine.
if [[ -z $seconds ]]; then
    if [[ $mode == KVM ]]; then seconds=60; else seconds=6; fi
fi
bridge_args() { # ID: the -device options of bridge A or B
    echo "usb-serial,id=bridge$1,chardev=chr$1,bus=xhci.0,serial=VELKARD-$1,always-plugged=on"
}
console=$work/console.log
monitor=$work/monitor.sock
: >"$console"
# The host's answers to the guest: its second serial port (ttyS1), read from ack.in. Both ends
# are opened read-write so that neither side waits for the other to open them.
mkfifo "$work/ack.in" "$work/ack.out"
exec {ack}<>"$work/ack.in" {ack_out}<>"$work/ack.out"
qemu-system-x86_64 "${accel[@]}" -m 1024 -smp 1 -nographic -no-reboot \
    -kernel "$kernel" -initrd "$work/initramfs.cpio" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4 usbcore.autosuspend=-1 velkard.seconds=$seconds velkard.big=$big velkard.small=$small" \
    -serial "file:$console" -serial "pipe:$work/ack" -qmp "unix:$monitor,server=on,wait=off" \
    -device qemu-xhci,id=xhci \
    -chardev "serial,id=chrA,path=$(head -n 1 "$work/A.pty")" -device "$(bridge_args A)" \
    -chardev "serial,id=chrB,path=$(head -n 1 "$work/B.pty")" -device "$(bridge_args B)" \
    -drive "file=$work/results.img,format=raw,if=virtio" \
    -net none ${VELKARD_VM_QEMU_EXTRA:-} >"$work/qemu.log" 2>&1 &
qemu=$!
pids=("$qemu" "${pids[@]}")

# QEMU's machine monitor, one connection for the whole run (so a command goes out at once): each
# line written to it is a command, its reply goes to monitor.log.
qmp_client=$(
    cat <<'EOF'
import json, socket, sys, time
s = socket.socket(socket.AF_UNIX)
for _ in range(100):
    try:
        s.connect(sys.argv[1])
        break
    except OSError:
        time.sleep(0.1)
f = s.makefile("rw")
f.readline()  # greeting
command = '{"execute": "qmp_capabilities"}'
while command:
    f.write(command + "\n")
    f.flush()
    while True:
        reply = json.loads(f.readline())
        if "return" in reply or "error" in reply:
            break
    print(command, "->", json.dumps(reply), flush=True)
    command = sys.stdin.readline().strip()
EOF
)
coproc QMP { exec python3 -c "$qmp_client" "$monitor" >>"$work/monitor.log" 2>&1; }
pids+=("$QMP_PID")
qmp() { # JSON: a command for the monitor
    echo "$1" >&"${QMP[1]}"
}
bridge_json() { # ID: the device_add arguments of bridge A or B
    echo "{\"driver\": \"usb-serial\", \"id\": \"bridge$1\", \"chardev\": \"chr$1\", \"bus\": \"xhci.0\", \"serial\": \"VELKARD-$1\", \"always-plugged\": true}"
}

# Follows the guest's console: "@@VM unplug VELKARD-A" and "@@VM plug VELKARD-A" go to the monitor.
# The instrument behind the bridge is told as well (SIGUSR1 just before the unplug, SIGUSR2 just
# before the plug): it goes off with its bridge, as one powered by the bus does, and a real chip
# unplugged loses what its FIFOs held, while QEMU's chip leaves everything in the pseudo-terminal
# (and its purge does not reach it). Before, the instrument streamed on into a backlog for the
# absent host: the first recording after a replug was old stream from before the unplug,
# delivered faster than the instrument sends, and the download after it read the rest of that
# backlog as the card's listing. "@@VM unplug-quiet" and "plug-quiet": the guest takes the bridge
# away itself, only the instrument is told; after "plug-quiet" the guest waits for "plugged ID" on
# its second serial port, sent once the instrument has logged that it is on, before it puts the
# bridge back (a fixed 3 s were once not enough on a loaded machine).
# told NAME SIGNAL WHAT: sends the instrument NAME the signal and waits up to 5 s for its log to say
# WHAT once more, so the next signal never arrives before it has acted on this one.
told() {
    local log=$work/$1.log before i
    before=$(grep -c "$3 after" "$log" || true)
    kill -"$2" "${sim_pid[$1]}"
    for ((i = 0; i < 50; i++)); do
        (($(grep -c "$3 after" "$log" || true) > before)) && return
        sleep 0.1
    done
    echo "vm-link-test: instrument $1 did not log '$3' after SIG$2" >&2
}
# The whole run may take at most $limit seconds.
limit=$((seconds * 2 + 240))
deadline=$(($(date +%s) + limit))
handled=0
status=0
while kill -0 "$qemu" 2>/dev/null; do
    if (($(date +%s) > deadline)); then
        echo "vm-link-test: the guest did not finish within $limit s" >&2
        status=1
        kill "$qemu" 2>/dev/null || true
        break
    fi
    mapfile -t lines < <(grep -a '^@@VM' "$console" || true)
    while ((handled < ${#lines[@]})); do
        line=${lines[handled]%$'\r'}
        handled=$((handled + 1))
        echo "vm-link-test: guest: ${line#@@VM }"
        read -r _ what arg _ <<<"$line" || true
        # A bridge the guest could not name (it was gone already) leaves nothing to tell.
        if [[ $what == *plug* && ! ${arg#VELKARD-} =~ ^[AB]$ ]]; then
            echo "vm-link-test: no bridge named in: $line" >&2
            continue
        fi
        case $what in
        unplug)
            # The instrument first: QEMU 7.2 may crash (segmentation fault) when its usb-serial
            # is deleted while bytes arrive on its character device, as in the middle of a
            # download, and it did once in six runs while streaming. Silent for 0.1 s, well
            # within the program's 1 s watchdog, the bridge then goes as on an unplug.
            told "${arg#VELKARD-}" USR1 unplugged
            sleep 0.1
            qmp "{\"execute\": \"device_del\", \"arguments\": {\"id\": \"bridge${arg#VELKARD-}\"}}"
            ;;
        unplug-quiet) # the guest dropped the device itself
            told "${arg#VELKARD-}" USR1 unplugged
            ;;
        plug-quiet)
            told "${arg#VELKARD-}" USR2 "plugged in"
            echo "plugged $arg" >&"$ack"
            ;;
        plug)
            told "${arg#VELKARD-}" USR2 "plugged in"
            sleep 0.1
            qmp "{\"execute\": \"device_add\", \"arguments\": $(bridge_json "${arg#VELKARD-}")}"
            ;;
        esac
    done
    sleep 0.2
done
wait "$qemu" 2>/dev/null || true
t_end=$(date +%s.%N)

mkdir -p "$work/results"
if ((status == 0)) && ! tar -xf "$work/results.img" -C "$work/results" 2>"$work/tar.log"; then
    echo "vm-link-test: the guest wrote no results" >&2
    status=1
fi
if ((status != 0)); then
    echo "--- guest console (last 60 lines)" >&2
    tail -n 60 "$console" >&2
    exit 1
fi
python3 "$root/scripts/vm/check-results.py" "$work/results" "$work/A.sent" "$work/B.sent" "$card/$big" \
    "$seconds" "$card/$small" || status=1
python3 - "$t_start" "$t_built" "$t_end" "$mode" <<'EOF'
import sys
s, b, e, mode = float(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
print(f"vm-link-test: {mode}: initramfs {b - s:.1f} s, guest {e - b:.1f} s, total {e - s:.1f} s")
EOF
if ((status != 0)); then
    echo "--- guest console (last 60 lines)" >&2
    tail -n 60 "$console" >&2
    VELKARD_VM_KEEP=1
fi
exit $status
