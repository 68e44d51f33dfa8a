# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the QEMU test scripts: finds Debian's kernel and a static busybox, and builds the
# guest's initramfs (busybox, scripts/vm/, the named kernel modules with their dependencies,
# velkard-cli with every shared library it loads).
#   vm_find_kernel          sets kernel, kver, moddir, busybox; exits 77 when one is missing
#   vm_make_initramfs ROOTFS OUT CLI GUEST_SCRIPT MODULE...

vm_skip() {
    echo "$(basename "$0"): skipped: $*"
    exit 77
}

vm_find_kernel() {
    command -v qemu-system-x86_64 >/dev/null || vm_skip "qemu-system-x86_64 is not installed (apt-get install qemu-system-x86)"
    kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
    [[ -n $kernel ]] || vm_skip "no kernel in /boot (apt-get install linux-image-amd64)"
    kver=${kernel#/boot/vmlinuz-}
    moddir=/lib/modules/$kver
    [[ -f $moddir/modules.dep ]] || vm_skip "no modules for $kver in $moddir"
    [[ -r $kernel ]] || vm_skip "$kernel is not readable"
    busybox=/bin/busybox
    file -L "$busybox" 2>/dev/null | grep -q 'statically linked' || vm_skip "no static busybox (apt-get install busybox-static)"
}

# Sets accel (QEMU options) and mode (KVM or TCG): KVM when /dev/kvm can be opened, unless
# VELKARD_VM_NO_KVM=1.
vm_pick_accel() {
    accel=(-accel tcg)
    mode=TCG
    if [[ ${VELKARD_VM_NO_KVM:-} != 1 && -r /dev/kvm && -w /dev/kvm ]] &&
        python3 -c "import os; os.close(os.open('/dev/kvm', os.O_RDWR))" 2>/dev/null; then
        # A /dev/kvm that opens may still refuse the host's CPU (nested virtualisation that
        # cannot set IA32_ARCH_CAPABILITIES aborts QEMU at once): a machine that stays up for
        # 3 s, halted, shows it works, else TCG. (Leaving that MSR out lets QEMU start there,
        # but the guest then never gets past the BIOS.)
        local rc=0
        timeout 3 qemu-system-x86_64 -enable-kvm -cpu host -m 64 -display none -S \
            -monitor none -serial none -nodefaults </dev/null >/dev/null 2>&1 || rc=$?
        if [[ $rc == 124 ]]; then
            accel=(-enable-kvm -cpu host)
            mode=KVM
            return
        fi
        echo "vm: /dev/kvm is there but QEMU cannot run the host's CPU on it; using TCG" >&2
    fi
}

vm_make_initramfs() {
    local rootfs=$1 out=$2 cli=$3 guest=$4 m lib
    shift 4
    mkdir -p "$rootfs"/{bin,dev,proc,sys,tmp,etc,lib/modules,opt/velkard,home/user,mnt}
    cp "$busybox" "$rootfs/bin/busybox"
    cp "$vm_scripts"/{init,asuser,nosys} "$rootfs/bin/"
    cp "$guest" "$rootfs/bin/guest-test.sh"
    mv "$rootfs/bin/init" "$rootfs/init"
    echo 'root:x:0:0:root:/root:/bin/sh' >"$rootfs/etc/passwd"
    echo 'user:x:1000:1000:user:/home/user:/bin/sh' >>"$rootfs/etc/passwd"
    printf 'root:x:0:\nuser:x:1000:\n' >"$rootfs/etc/group"

    # Modules with their dependencies in load order (modules.dep lists a module's dependencies
    # so that loading them from last to first works).
    declare -A loaded=()
    : >"$rootfs/lib/modules/load.list"
    _vm_add_module() {
        local rel=$1 base
        [[ -n ${loaded[$rel]:-} ]] && return
        loaded[$rel]=1
        base=$(basename "$rel")
        case $base in
        *.ko.xz) xz -dc "$moddir/$rel" >"$rootfs/lib/modules/${base%.xz}"; base=${base%.xz} ;;
        *.ko.zst) zstd -qdc "$moddir/$rel" >"$rootfs/lib/modules/${base%.zst}"; base=${base%.zst} ;;
        *.ko.gz) gzip -dc "$moddir/$rel" >"$rootfs/lib/modules/${base%.gz}"; base=${base%.gz} ;;
        *) cp "$moddir/$rel" "$rootfs/lib/modules/$base" ;;
        esac
        echo "$base" >>"$rootfs/lib/modules/load.list"
    }
    _vm_load_module() {
        local name=$1 line rel deps i
        line=$(grep -E "(^|/)${name}\.ko(\.xz|\.zst|\.gz)?:" "$moddir/modules.dep" | head -n 1)
        [[ -n $line ]] || { echo "$(basename "$0"): module $name not in $moddir/modules.dep" >&2; exit 1; }
        rel=${line%%:*}
        read -r -a deps <<<"${line#*:}"
        for ((i = ${#deps[@]} - 1; i >= 0; i--)); do _vm_add_module "${deps[i]}"; done
        _vm_add_module "$rel"
    }
    for m in "$@"; do _vm_load_module "$m"; done

    # velkard-cli and every shared library it loads, the dynamic loader among them. Debug
    # information stripped: a smaller initramfs boots faster.
    objcopy --strip-debug "$cli" "$rootfs/opt/velkard/velkard-cli"
    ldd "$cli" | awk '/=> \//{print $3} /^\s*\/[^ ]*ld-linux/{print $1}' | sort -u | while read -r lib; do
        mkdir -p "$rootfs$(dirname "$lib")"
        cp -L "$lib" "$rootfs$lib"
    done
    if [[ -d /lib64 && ! -e $rootfs/lib64 ]]; then
        mkdir -p "$rootfs/lib64"
        cp -L /lib64/ld-linux-x86-64.so.2 "$rootfs/lib64/"
    fi
    (cd "$rootfs" && find . | cpio -o -H newc --quiet) >"$out"
}

vm_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
