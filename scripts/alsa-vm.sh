#!/usr/bin/env bash
# Runs a command inside a small virtual machine whose kernel has a real ALSA sequencer, and exits with
# the command's status. The guest sees the host's files read-only, fresh /dev, /proc, /sys and /tmp, and
# the current directory read-write at its own path, wherever it lies (also beneath /tmp). Its kernel is Debian's, downloaded and unpacked once into
# build/alsa-vm (never installed). Example: scripts/alsa-vm.sh ctest --test-dir build/release -L alsa
#
# Environment: ALSA_VM_TIMEOUT (seconds, default 1200) ends a guest that hangs; ALSA_VM_CACHE moves
# the kernel cache. The guest gets PATH, LANG, QT_QPA_PLATFORM and the sanitizers' options from here.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGUMENT]..." >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${ALSA_VM_CACHE:-$root/build/alsa-vm}
workdir=$PWD

# The sequencer (with its "Midi Through" client), 9p for the shares and virtio-serial for the output.
modules=(snd-seq-dummy 9pnet_virtio 9p virtio_pci virtio_console)

# Every module that `name` needs, dependencies first, each once, from modules.dep.
module_order() { # moduledir name
    local dir=$1 path dep
    path=$(grep -E "(^|/)$2\.ko:" "$dir/modules.dep" | cut -d: -f1)
    [ -n "$path" ] || { echo "alsa-vm: no module $2" >&2; return 1; }
    for dep in $(grep -E "^$path:" "$dir/modules.dep" | cut -d: -f2); do
        module_order "$dir" "$(basename "$dep" .ko)"
    done
    echo "$path"
}

# Downloads the kernel package, keeps the uncompressed kernel (decompressing it in the guest costs
# seconds under emulation) and the modules above with their signatures stripped (loads them 4x faster).
prepare_kernel() {
    local work package version unpacked moddir offset
    work=$(mktemp -d)
    trap 'rm -rf "$work"' RETURN
    (cd "$work" && apt-get download -q linux-image-amd64 >/dev/null 2>&1) || {
        apt-get update -qq && (cd "$work" && apt-get download -q linux-image-amd64 >/dev/null 2>&1)
    }
    package=$(dpkg-deb -f "$work"/linux-image-amd64_*.deb Depends | grep -o 'linux-image-[^ ,]*')
    (cd "$work" && apt-get download -q "$package" >/dev/null 2>&1)
    unpacked=$work/root
    dpkg -x "$work/$package"_*.deb "$unpacked"
    version=${package#linux-image-}
    moddir=$unpacked/lib/modules/$version
    busybox depmod -b "$unpacked" "$version"

    rm -rf "$cache.new"
    mkdir -p "$cache.new/modules"
    offset=$(grep -obUaP -m1 '\xfd7zXZ\x00' "$unpacked/boot/vmlinuz-$version" | sed -n '1s/:.*//p')
    tail -c +$((offset + 1)) "$unpacked/boot/vmlinuz-$version" >"$work/kernel.xz"
    xz -dcq --single-stream "$work/kernel.xz" >"$cache.new/vmlinux"
    local name path
    for name in "${modules[@]}"; do
        module_order "$moddir" "$name"
    done | awk '!seen[$0]++' | while read -r path; do
        strip --strip-debug -o "$cache.new/modules/$(basename "$path")" "$moddir/$path"
        basename "$path" >>"$cache.new/modules/order"
    done
    echo "$version" >"$cache.new/version"
    rm -rf "$cache"
    mv "$cache.new" "$cache"
}

if [ ! -f "$cache/version" ]; then
    echo "alsa-vm: preparing the guest kernel in $cache" >&2
    mkdir -p "$(dirname "$cache")"
    LC_ALL=C prepare_kernel
fi

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
mkdir -p "$run/initramfs/bin" "$run/share"
cp /bin/busybox "$run/initramfs/bin/busybox"
cp -r "$cache/modules" "$run/initramfs/modules"

# The guest's command: the caller's directory, a few of its variables and the arguments, quoted.
{
    for name in PATH LANG LC_ALL QT_QPA_PLATFORM ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS; do
        [ -n "${!name:-}" ] && printf 'export %s=%q\n' "$name" "${!name}"
    done
    printf 'export HOME=/tmp XDG_RUNTIME_DIR=/tmp/runtime\nmkdir -m 700 -p /tmp/runtime\n'
    printf 'cd %q || exit 125\nexec' "$workdir"
    printf ' %q' "$@"
    printf '\n'
} >"$run/share/command"

cat >"$run/initramfs/init" <<EOF
#!/bin/busybox sh
/bin/busybox mkdir -p /proc /sys /dev /host /share
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in \$(cat /modules/order); do insmod /modules/\$module; done
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share /share
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,ro,cache=loose host /host
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/shm
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t tmpfs tmp /host/tmp
mount -t tmpfs shm /host/dev/shm
# After the fresh /tmp, so that a working directory beneath it is not hidden; its mount point is made
# there when it lies on a fresh file system.
mkdir -p /host$(printf %q "$workdir")
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 work /host$(printf %q "$workdir")
until port=\$(ls /dev/vport*p1 2>/dev/null); do sleep 0.01; done
chroot /host /bin/sh /proc/1/root/share/command </dev/null >\$port 2>&1
echo \$? >/share/status
sync
reboot -f
EOF
chmod +x "$run/initramfs/init"
(cd "$run/initramfs" && find . | busybox cpio -o -H newc 2>/dev/null) >"$run/initramfs.cpio"

# KVM only with a hardware virtualization module behind it; a paravirtual one cannot boot this kernel.
if [ -w /dev/kvm ] && { [ -d /sys/module/kvm_intel ] || [ -d /sys/module/kvm_amd ]; }; then
    accel=(-accel kvm -cpu host)
else
    accel=(-accel tcg -cpu qemu64)
fi

share() { # tag, path, extra options
    echo "-fsdev local,id=$1,path=$2,security_model=none,multidevs=remap$3 -device virtio-9p-pci,fsdev=$1,mount_tag=$1"
}

# The output comes through a pipe and is copied here, so that it shares this script's stdout.
# Holding the pipe open here lets cat start before qemu opens it and end only after qemu closed it.
mkfifo "$run/output"
exec 3<>"$run/output"
cat "$run/output" 3>&- &
status=0
# shellcheck disable=SC2046 # the shares' options are split on purpose
timeout "${ALSA_VM_TIMEOUT:-1200}" qemu-system-x86_64 "${accel[@]}" -m 1G -nodefaults -no-reboot \
    -display none -serial file:"$run/console.log" \
    -kernel "$cache/vmlinux" -initrd "$run/initramfs.cpio" \
    -append "console=ttyS0 quiet panic=-1 cryptomgr.notests tsc=reliable" \
    $(share share "$run/share" "") $(share host / ",readonly=on") $(share work "$workdir" "") \
    -device virtio-serial-pci -chardev file,id=out,path="$run/output" -device virtserialport,chardev=out \
    </dev/null 3>&- || status=$?
exec 3>&-
wait
if [ ! -f "$run/share/status" ]; then
    echo "alsa-vm: the guest ended without the command's status (qemu: $status); its console:" >&2
    tail -n 30 "$run/console.log" >&2
    exit 125
fi
exit "$(cat "$run/share/status")"
