#!/usr/bin/env bash
# Builds the test machine kit into $1/<kit id>: a Debian kernel and a small initial RAM disk (busybox, the
# kernel modules that reach the host's folders, scripts/vm/init). Used where this machine's kernel
# runs no 32-bit code: QEMU then emulates a whole x86-64 machine whose kernel does, and Wine runs
# there over the host's own root. Everything comes from Debian's packages. Idempotent: a kit made
# from the same init script is kept. Kits of other init scripts (other checkouts) stay beside it.
# Prints nothing else on standard output than the kit's folder.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
KIT=$1/$(bash "$HERE/kit-id.sh")
kernel_pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
[ -n "$kernel_pkg" ] || { echo "no Debian kernel package found (apt-get update?)" >&2; exit 1; }
if [ -f "$KIT/initrd.gz" ]; then
  echo "test machine kit: present at $KIT" >&2
  echo "$KIT"
  exit 0
fi
echo "test machine kit: building into $KIT from $kernel_pkg" >&2
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
(cd "$work" && apt-get download -q -o APT::Sandbox::User=root "$kernel_pkg" >/dev/null)
dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
version=${kernel_pkg#linux-image-}
mods="$work/kernel/lib/modules/$version/kernel"
root="$work/initrd"
mkdir -p "$root"/{bin,modules,proc,sys,dev,lower,upper,root}
cp /bin/busybox "$root/bin/busybox"
for m in netfs fscache 9pnet virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci \
         9pnet_virtio 9p overlay virtio_blk crc16 crc32c_generic mbcache jbd2 ext4; do
  f=$(find "$mods" -name "$m.ko" -o -name "$m.ko.xz" | head -n1)
  [ -n "$f" ] || { echo "kernel module $m missing from $kernel_pkg" >&2; exit 1; }
  case $f in *.xz) xz -dc "$f" > "$root/modules/$m.ko" ;; *) cp "$f" "$root/modules/$m.ko" ;; esac
done
install -m 755 "$HERE/init" "$root/init"
mkdir -p "$KIT.new"
(cd "$root" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$KIT.new/initrd.gz"
cp "$work/kernel/boot/vmlinuz-$version" "$KIT.new/vmlinuz"
echo "$kernel_pkg" > "$KIT.new/KERNEL"
rm -rf "$KIT" && mv "$KIT.new" "$KIT"
echo "test machine kit: built" >&2
echo "$KIT"
