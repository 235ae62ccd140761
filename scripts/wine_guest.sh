#!/usr/bin/env bash
# Builds the Wine guest the DLL stage runs in, or reuses it if it is already built from the same
# recipe: a Debian bookworm amd64 root with i386 added, real Wine (wine, wine32, wine64) and the
# Debian kernel, a 64-bit Wine prefix made in the root on this machine (32-bit programs run in
# it through WoW64) set to Wine's null display, and a small init that runs whatever the payload
# share brings.
# The result is an ext4 image plus the kernel and initrd, in $OMBREL_GUEST_DIR
# (default build/wine-guest).
#
# The package mirror is read from this machine's apt configuration when the script runs and is
# never written into a file of the project, a log or the image: logs are filtered, and the
# root's sources list and package lists are deleted before the image is made.
set -euo pipefail
cd "$(dirname "$0")/.."

guest_dir="${OMBREL_GUEST_DIR:-build/wine-guest}"
mkdir -p "$guest_dir"
guest_dir="$(cd "$guest_dir" && pwd)"
root="$guest_dir/root"
image="$guest_dir/guest.img"
stamp="$guest_dir/guest.stamp"
log="$guest_dir/build.log"

# The recipe: this script and the guest's init. A change to either builds the guest anew.
recipe="$(cat scripts/wine_guest.sh scripts/wine_guest_init.sh | sha256sum | cut -d' ' -f1)"
if [ -f "$image" ] && [ -f "$guest_dir/vmlinuz" ] && [ -f "$guest_dir/initrd.img" ] &&
   [ "$(cat "$stamp" 2>/dev/null)" = "$recipe" ]; then
  echo "wine guest: reusing $image"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "wine guest: building the guest needs root (debootstrap, chroot)" >&2
  exit 1
fi
for tool in debootstrap mke2fs qemu-system-x86_64; do
  command -v "$tool" >/dev/null || { echo "wine guest: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

# --- The mirror, from this machine's apt configuration -----------------------------------
# Prints the first URI that serves the given suite, from deb822 .sources files or sources.list.
apt_uri_for_suite() {
  local suite="$1" file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v want="$suite" '
      function flush() { if (uris != "" && index(" " suites " ", " " want " ")) { split(uris, u, " "); print u[1]; found = 1; exit } uris = ""; suites = "" }
      /^[[:space:]]*$/ { flush(); next }
      /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris = $0 }
      /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites = $0 }
      END { if (!found) flush() }' "$file" | head -n 1
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    awk -v want="$suite" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ } if ($(i + 1) == want) { print $i; exit } }' "$file"
  done
}
mirror="$(apt_uri_for_suite bookworm | head -n 1)"
security_mirror="$(apt_uri_for_suite bookworm-security | head -n 1)"
if [ -z "$mirror" ]; then
  echo "wine guest: no apt source for bookworm in this machine's apt configuration" >&2
  exit 1
fi
# Hides the mirrors' host names in everything this script prints or logs.
hide_mirrors() {
  local host sed_args=()
  for host in "$mirror" "$security_mirror"; do
    [ -n "$host" ] || continue
    host="${host#*://}"; host="${host%%/*}"
    sed_args+=(-e "s|${host//./\\.}|MIRROR|g")
  done
  sed -u "${sed_args[@]}"
}

started=$(date +%s)
stage() { echo "wine guest: $* ($(($(date +%s) - started)) s)"; }

# --- The root ------------------------------------------------------------------------
cleanup_mounts() {
  local m
  for m in proc sys dev/pts dev; do
    mountpoint -q "$root/$m" 2>/dev/null && umount -l "$root/$m" || true
  done
}
trap cleanup_mounts EXIT

: >"$log"
if [ -d "$root" ]; then cleanup_mounts; rm -rf "$root"; fi
rm -f "$image" "$stamp"

stage "debootstrap bookworm amd64 (log: $log)"
debootstrap --variant=minbase --arch=amd64 \
  --include=systemd-sysv,udev,kmod,procps,ca-certificates \
  bookworm "$root" "$mirror" 2>&1 | hide_mirrors >>"$log" ||
  { echo "wine guest: debootstrap failed; last lines of the log:" >&2; tail -n 20 "$log" >&2; exit 1; }

# main + updates + security, as this machine's apt has them: wine32 and wine64 must come from
# the same suites or installing one removes the other.
{
  echo "deb $mirror bookworm main"
  echo "deb $mirror bookworm-updates main"
  [ -n "$security_mirror" ] && echo "deb $security_mirror bookworm-security main"
} >"$root/etc/apt/sources.list"

mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  DEBIAN_FRONTEND=noninteractive "$@"; }

stage "wine, wine32, wine64 and the kernel into the root"
{
  in_root dpkg --add-architecture i386
  in_root apt-get update -qq
  in_root apt-get install -y -qq --no-install-recommends \
    wine wine32 wine64 linux-image-amd64 initramfs-tools
  in_root apt-get clean
} 2>&1 | hide_mirrors >>"$log" ||
  { echo "wine guest: installing Wine into the root failed; last lines of the log:" >&2; tail -n 20 "$log" >&2; exit 1; }
[ -x "$root/usr/lib/wine/wine64" ] && [ -x "$root/usr/lib/wine/wine" ] ||
  { echo "wine guest: wine32 and wine64 are not both installed in the root" >&2; exit 1; }

stage "the 64-bit Wine prefix"
in_root /usr/bin/env WINEARCH=win64 WINEPREFIX=/var/lib/wineprefix WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" \
  sh -c '/usr/lib/wine/wine64 wineboot -i && /usr/lib/wine/wineserver -w' 2>&1 | hide_mirrors >>"$log" ||
  { echo "wine guest: making the Wine prefix failed; last lines of the log:" >&2; tail -n 20 "$log" >&2; exit 1; }
[ -d "$root/var/lib/wineprefix/drive_c/windows/syswow64" ] ||
  { echo "wine guest: the prefix has no syswow64 folder" >&2; exit 1; }
# Windows without an X server: Wine's null display driver. Dialogs, controls and message boxes
# are real USER32 windows; nothing is drawn. (An X server under emulation is several times
# slower, and this prefix never shows anything to anyone.)
printf '\n[Software\\\\Wine\\\\Drivers] 1700000000\n"Graphics"="null"\n' >>"$root/var/lib/wineprefix/user.reg"

cleanup_mounts

# Nothing in the image may name the mirror.
rm -f "$root/etc/apt/sources.list" "$root"/etc/apt/sources.list.d/*
rm -rf "$root"/var/lib/apt/lists/* "$root"/var/log/apt/* "$root"/var/log/bootstrap.log "$root"/var/cache/apt/*.bin
rm -rf "$root"/usr/share/doc/* "$root"/usr/share/man/* "$root"/usr/share/info/*
if grep -rqsF -e "${mirror#*://}" "$root/etc" "$root/var" 2>/dev/null; then
  echo "wine guest: the mirror is still named in the root's /etc or /var" >&2
  exit 1
fi

install -m 0755 scripts/wine_guest_init.sh "$root/sbin/ombrel-init"
echo ombrel-guest >"$root/etc/hostname"

kernel="$(ls "$root"/boot/vmlinuz-* | sort -V | tail -n 1)"
initrd="$(ls "$root"/boot/initrd.img-* | sort -V | tail -n 1)"
cp "$kernel" "$guest_dir/vmlinuz"
cp "$initrd" "$guest_dir/initrd.img"

stage "the ext4 image"
size_mb=$(( $(du -sm "$root" | cut -f1) + 600 ))
mke2fs -q -t ext4 -O ^has_journal -L root -d "$root" "$image" "${size_mb}M" 2>&1 | hide_mirrors >>"$log"
rm -rf "$root"
echo "$recipe" >"$stamp"
stage "built $image (${size_mb} MB)"
