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
  sed_args+=(-e 's|\[IP: [^]]*\]|[IP: hidden]|g')
  sed -u "${sed_args[@]}"
}

started=$(date +%s)
stage() { echo "wine guest: $* ($(($(date +%s) - started)) s)"; }

# --- Steps that fetch from the mirror ----------------------------------------------------
# A mirror caught mid-sync answers some indexes with the wrong size for minutes on end, so each
# step that fetches is tried again after a pause before it fails. A failure names the step and
# its reason: the last error line apt or debootstrap printed.
attempts="${OMBREL_GUEST_ATTEMPTS:-4}"
pause_seconds="${OMBREL_GUEST_RETRY_PAUSE:-60}"
step_log="$guest_dir/step.log"
failure_reason() {
  { grep -m 1 -E '^E: ' "$step_log" || grep -E '^W: ' "$step_log" | tail -n 1 || tail -n 1 "$step_log"; } |
    cut -c1-300
}
# fetch_step NAME COMMAND...: runs the command up to $attempts times; returns its last status,
# with the reason in $reason. Output goes to the build log, mirror names hidden.
fetch_step() {
  local name="$1" attempt status
  shift
  for ((attempt = 1; ; attempt++)); do
    status=0
    "$@" 2>&1 | hide_mirrors | tee -a "$log" >"$step_log" || status=$?
    [ "$status" -eq 0 ] && return 0
    reason="$(failure_reason)"
    if [ "$attempt" -ge "$attempts" ]; then
      echo "wine guest: $name failed after $attempt attempts: ${reason:-status $status}" >&2
      return "$status"
    fi
    echo "wine guest: $name failed (attempt $attempt of $attempts: ${reason:-status $status}); again in $pause_seconds s" >&2
    sleep "$pause_seconds"
  done
}

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

# A failed debootstrap leaves a partial root behind; each attempt starts from an empty one.
fresh_debootstrap() {
  rm -rf "$root"
  debootstrap --variant=minbase --arch=amd64 \
    --include=systemd-sysv,udev,kmod,procps,ca-certificates \
    bookworm "$root" "$mirror"
}
stage "debootstrap bookworm amd64 (log: $log)"
fetch_step "debootstrap" fresh_debootstrap || exit 1

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
apt_in_root() { in_root apt-get -o Acquire::Retries=3 "$@"; }

stage "wine, wine32, wine64 and the kernel into the root"
in_root dpkg --add-architecture i386 ||
  { echo "wine guest: adding the i386 architecture to the root failed" >&2; exit 1; }
# An index that still cannot be fetched after the last attempt is left out: apt installs from
# the ones it has, and the versions of wine32 and wine64 are compared below.
index_reason=""
if ! fetch_step "apt-get update in the root" apt_in_root update -qq; then
  index_reason="$reason"
  echo "wine guest: going on with the package indexes that were fetched" >&2
fi
wine_packages=(wine wine32 wine64)
if [ -n "$index_reason" ]; then
  # Without that index the candidates of wine32 and wine64 can come from different suites;
  # both are then asked for at the newest version that the fetched indexes offer for both.
  madison_versions() {  # madison_versions PACKAGE ARCH: the versions the indexes offer
    in_root apt-cache madison "$1" | awk -F'|' -v arch="$2" '$3 ~ (" " arch " Packages") { gsub(/ /, "", $2); print $2 }'
  }
  wine32_versions="$(madison_versions wine32 i386)"
  common=""
  while read -r version; do
    [ -n "$version" ] && grep -qxF "$version" <<<"$wine32_versions" || continue
    if [ -z "$common" ] || dpkg --compare-versions "$version" gt "$common"; then common="$version"; fi
  done < <(madison_versions wine64 amd64)
  if [ -z "$common" ]; then
    echo "wine guest: no version of wine32 and wine64 in common in the indexes fetched (an index could not be fetched: $index_reason)" >&2
    exit 1
  fi
  wine_packages=("wine=$common" "wine32:i386=$common" "wine64:amd64=$common")
  echo "wine guest: asking for wine32 and wine64 $common, offered for both by the indexes fetched"
fi
fetch_step "installing wine, wine32, wine64 and the kernel" apt_in_root install -y -qq \
  --no-install-recommends "${wine_packages[@]}" linux-image-amd64 initramfs-tools || exit 1
in_root apt-get clean || true
[ -x "$root/usr/lib/wine/wine64" ] && [ -x "$root/usr/lib/wine/wine" ] ||
  { echo "wine guest: wine32 and wine64 are not both installed in the root" >&2; exit 1; }
# wine32 (i386) and wine64 (amd64) of different versions make a broken WoW64 Wine.
wine32_version="$(in_root dpkg-query -W -f='${Version}' wine32:i386 2>/dev/null || true)"
wine64_version="$(in_root dpkg-query -W -f='${Version}' wine64:amd64 2>/dev/null || true)"
if [ -z "$wine32_version" ] || [ "$wine32_version" != "$wine64_version" ]; then
  echo "wine guest: wine32 ${wine32_version:-missing} and wine64 ${wine64_version:-missing} differ${index_reason:+ (an index could not be fetched: $index_reason)}" >&2
  exit 1
fi
stage "wine32 and wine64 $wine64_version"

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
