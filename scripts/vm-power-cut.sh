#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Power cuts under the card file on a real ext4 file system: a QEMU guest changes the card file
# with velkard-cli (store, Save after Write, change, add and remove patients, remove entries)
# until the host kills QEMU at a random moment; the host then checks the disk image (e2fsck,
# debugfs) and the card file (scripts/vm/power-cut.py says what is judged). The next boot goes on
# from what the cut left.
#
#   scripts/vm-power-cut.sh [BUILD_DIR [CUTS [SEED]]]   (default build/asan, 20 cuts, seed 24)
#
# Exits 77 (skipped) when QEMU, the kernel, busybox or e2fsprogs is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/asan}" && pwd)
cuts=${2:-20}
seed=${3:-24}
source "$root/scripts/vm/initramfs.sh"
vm_find_kernel
command -v debugfs >/dev/null && command -v mkfs.ext4 >/dev/null || vm_skip "e2fsprogs is not installed"
cli=$build/cli/velkard-cli
[[ -x $cli ]] || { echo "vm-power-cut: build velkard-cli in $build first" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/velkard-power-cut.XXXXXX")
cleanup() {
    if [[ ${VELKARD_VM_KEEP:-} == 1 ]]; then echo "vm-power-cut: kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
vm_make_initramfs "$work/rootfs" "$work/initramfs.cpio" "$cli" "$root/scripts/vm/power-cut-guest.sh" \
    virtio_pci virtio_blk crc32c_generic ext4
vm_pick_accel
if [[ $mode == KVM ]]; then export VM_ACCEL=kvm; else export VM_ACCEL=tcg; fi
python3 "$root/scripts/vm/power-cut.py" "$cli" "$kernel" "$work/initramfs.cpio" "$work" "$cuts" "$seed" ||
    { VELKARD_VM_KEEP=1; exit 1; }
