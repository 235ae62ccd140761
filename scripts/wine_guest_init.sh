#!/bin/sh
# The Wine guest's first process: mounts the system folders and the payload share the test
# stage hands over, runs the payload's run.sh with the Wine prefix's variables, keeps its output
# and exit status in the share, and powers the guest off. Anything the payload needs beyond
# Wine comes with the payload, so the image does not change when the tests do.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH

mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mount -o remount,rw /

modprobe 9pnet_virtio
modprobe 9p
mkdir -p /payload
if ! mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 payload /payload; then
  echo "ombrel-init: the payload share did not mount" >/dev/ttyS0
else
  mkdir -p /payload/out
  export HOME=/root WINEPREFIX=/var/lib/wineprefix WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  export OMBREL_GUEST=1
  if [ -f /payload/run.sh ]; then
    sh /payload/run.sh >/payload/out/run.log 2>&1
    echo $? >/payload/out/run.status
  else
    echo 127 >/payload/out/run.status
  fi
  wineserver -k 2>/dev/null
  sync
  umount /payload
fi
sync
echo 1 >/proc/sys/kernel/sysrq
echo o >/proc/sysrq-trigger
sleep 30
