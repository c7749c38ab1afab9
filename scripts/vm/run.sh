#!/usr/bin/env bash
# Runs a command in the test machine: `scripts/vm/run.sh COMMAND...` from the project folder.
# The machine is a QEMU-emulated x86-64 computer (no hardware virtualisation: every instruction is
# translated, so it is several times slower than this one) with a Debian kernel that runs 32-bit
# code. Its root is this machine's own root, read-only, under a writable layer on a scratch disk;
# the project folder and the dependency folder are writable and shared. The command's output is
# shown when it ends; its exit code is this script's.
set -uo pipefail
PROJECT=$(pwd -P)
DEPS=${HALBERD_DEPS:-/opt/halberd-deps}
KIT=$DEPS/vm/$(bash "$(dirname "$0")/kit-id.sh")
[ -f "$KIT/initrd.gz" ] || { echo "no test machine kit at $KIT (run scripts/setup.sh)" >&2; exit 2; }
mkdir -p build/vm
job=$(mktemp "$PROJECT/build/vm/job-XXXXXX")
out=$job.out
{
  echo "export PATH='$PATH' HOME='$HOME'"
  # Tests that bound a wait by time scale the bound for emulated code.
  echo "export HALBERD_EMULATED=1"
  # Settings for the suites travel with the job.
  env | grep -E '^(HALBERD_|WINE|CI=|SOURCE_DATE_EPOCH=|LANG=|LC_)' | sed "s/'/'\\\\''/g; s/^\([^=]*\)=\(.*\)$/export \1='\2'/"
  printf '%q ' "$@" ; echo " > '$out' 2>&1"
} > "$job"
rm -f "$job.rc"
# A scratch disk for what the machine writes outside the shared folders (sparse: it takes only the
# room it uses, and goes when the run ends).
disk=$job.disk
truncate -s "${HALBERD_VM_DISK:-40G}" "$disk"
mkfs.ext4 -q -F -O ^has_journal "$disk"
# SMAP is left out of the emulated processor: QEMU's translator faults a 32-bit program's IRET on
# its own stack as a supervisor access when SMAP is on, and Wine's 32-bit code uses IRET.
# The kernel's check of the timer interrupt at boot fails (a panic) when the host is busy and the
# emulated timer lags: no_timer_check leaves it out.
timeout "${HALBERD_VM_TIMEOUT:-5000}" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu max,smap=off -smp "$(nproc)" -m "${HALBERD_VM_MEMORY:-4G}" \
  -nographic -no-reboot -nic none \
  -kernel "$KIT/vmlinuz" -initrd "$KIT/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 no_timer_check halberd_job=$job halberd_project=$PROJECT halberd_deps=$DEPS" \
  -drive "file=$disk,format=raw,if=virtio,cache=unsafe" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$PROJECT,mount_tag=project,security_model=none,multidevs=remap" \
  -virtfs "local,path=$DEPS,mount_tag=deps,security_model=none,multidevs=remap" \
  > "$job.console" 2>&1
vm_rc=$?
rm -f "$disk"
cat "$out" 2>/dev/null
if [ ! -f "$job.rc" ]; then
  echo "the test machine stopped before the command ended (qemu exit $vm_rc); its console:" >&2
  tail -n 40 "$job.console" >&2
  exit 3
fi
rc=$(cat "$job.rc")
rm -f "$job" "$job.rc" "$out" "$job.console"
exit "$rc"
