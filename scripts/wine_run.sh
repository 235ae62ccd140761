#!/usr/bin/env bash
# Boots the Wine guest once with a payload folder shared into it, and waits until the guest has
# run the payload's run.sh and powered off. The guest writes run.sh's output to
# PAYLOAD/out/run.log and its exit status to PAYLOAD/out/run.status; this script prints the log
# and exits with that status (or 125 when the guest did not come back with one).
#
#   scripts/wine_run.sh PAYLOAD [TIMEOUT_SECONDS]
#
# The image is opened read-only (-snapshot), so every boot starts from the same guest.
set -euo pipefail
cd "$(dirname "$0")/.."

payload="${1:?usage: wine_run.sh PAYLOAD [TIMEOUT_SECONDS]}"
timeout_seconds="${2:-600}"
guest_dir="${OMBREL_GUEST_DIR:-build/wine-guest}"
payload="$(cd "$payload" && pwd)"

for f in guest.img vmlinuz initrd.img; do
  [ -f "$guest_dir/$f" ] || { echo "wine run: $guest_dir/$f is missing (scripts/wine_guest.sh builds it)" >&2; exit 125; }
done
[ -f "$payload/run.sh" ] || { echo "wine run: $payload has no run.sh" >&2; exit 125; }

rm -rf "$payload/out"
mkdir -p "$payload/out"
console="$payload/out/console.log"

# Software emulation: this machine's KVM cannot boot a stock kernel. Without SMAP, because with
# it every 32-bit Wine process faults in ntdll's context switch under this emulator. The kernel
# skips its timer check (no_timer_check): on a busy machine the emulated timer is late and the
# check panics the guest at boot ("IO-APIC + timer doesn't work").
status=0
timeout --foreground "$timeout_seconds" qemu-system-x86_64 \
  -accel tcg,thread=multi,tb-size=512 -cpu max,-smap -smp 2 -m 1024 \
  -nodefaults -display none -monitor none -no-reboot \
  -kernel "$guest_dir/vmlinuz" -initrd "$guest_dir/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 init=/sbin/ombrel-init quiet panic=-1 mitigations=off no_timer_check" \
  -drive "file=$guest_dir/guest.img,format=raw,if=virtio,cache=unsafe" -snapshot \
  -virtfs "local,path=$payload,mount_tag=payload,security_model=none,id=payload" \
  -serial "file:$console" || status=$?
if [ "$status" -eq 124 ]; then
  echo "wine run: the guest did not finish within $timeout_seconds s; last lines of its console:" >&2
  tail -n 30 "$console" >&2 || true
  exit 125
elif [ "$status" -ne 0 ]; then
  echo "wine run: qemu failed with status $status; last lines of the guest's console:" >&2
  tail -n 30 "$console" >&2 || true
  exit 125
fi

[ -f "$payload/out/run.log" ] && cat "$payload/out/run.log"
if [ ! -s "$payload/out/run.status" ]; then
  echo "wine run: the guest powered off without running the payload; last lines of its console:" >&2
  tail -n 30 "$console" >&2 || true
  exit 125
fi
exit "$(cat "$payload/out/run.status")"
