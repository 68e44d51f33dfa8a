#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs inside the guest of scripts/vm-power-cut.sh: mounts the ext4 disk holding a card file and
# changes it with velkard-cli without end, until the host cuts the power (kills QEMU). Each
# command that returned success is told on the console ("@@PC ok N WHAT ARGS..."), so the host
# knows what must have survived. /mnt/ids.txt lists the patients to store into, /mnt/removal.txt
# the patient whose seeded recordings are removed one by one; /mnt/src holds SRC_K.dat (device
# files) and REC_K.dat (sample records) for K in 0..count-1.
set -u
cli=/opt/velkard/velkard-cli
export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1
say() { echo "@@PC $*"; }
mount -t ext4 /dev/vda /mnt || { say "failed mount"; exec sleep 1000000; }
count=$(ls /mnt/src | grep -c '^SRC_')
patients=$(wc -l </mnt/ids.txt)
removal=$(cat /mnt/removal.txt)
seed=$(sed -n 's/.*velkard.seed=\([0-9]*\).*/\1/p' /proc/cmdline)
added=
n=$seed
say "start"
while :; do
    n=$((n + 1))
    k=$((n % count))
    p=$(sed -n "$((n % patients + 1))p" /mnt/ids.txt)
    case $((n % 7)) in
    0 | 3) "$cli" store "$p" "/mnt/src/SRC_$k.dat" --dir /mnt >/dev/null 2>&1 && say "ok $n store $p $k" ;;
    1) "$cli" file-recording "$p" "/mnt/src/REC_$k.dat" --seconds 5 --date 02.03.2026 --time 04:05:06 \
        --dir /mnt >/dev/null 2>&1 && say "ok $n file $p $k" ;;
    2) "$cli" change-patient "$p" --phone "$n" --dir /mnt >/dev/null 2>&1 && say "ok $n change $p $n" ;;
    4) id=$("$cli" add-patient --name "Added $n" --policy "A$n" --dir /mnt 2>/dev/null) &&
        added="$added $id" && say "ok $n add $id" ;;
    5) "$cli" remove-entry "$removal" 1 --dir /mnt >/dev/null 2>&1 && say "ok $n remove-entry $removal" ;;
    6) set -- $added
        if [ $# -gt 0 ]; then
            "$cli" remove-patient "$1" --dir /mnt >/dev/null 2>&1 && say "ok $n remove-patient $1"
            shift
            added="$*"
        fi ;;
    esac
done
