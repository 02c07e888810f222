#!/usr/bin/env bash
# Boots QEMU's "pc" machine (PIIX3 IDE controller, ide-hd drives on sparse
# images) with Debian's kernel and an initramfs built here, and runs the
# hardware-path checks of voran_qemu_guest inside it.
#
#   run-guest.sh --guest BIN --drives FILE --work DIR [--machine pc|q35]
#
# The guest loads only the virtio and 9p modules (never a driver for the IDE
# controller), mounts this machine's root read-only over 9p, chroots into it
# and runs BIN --hardware-in-guest.  Its results come back through a second,
# writable 9p export: DIR/out/results.txt (see check-results.sh).
#
# --machine q35 boots QEMU's q35 machine instead, the drives on its built-in
# AHCI controller (ide.N = AHCI port N), loads the kernel's ahci, sd_mod and
# sg drivers, and runs BIN --sata-in-guest: the checks that reach the drives
# through the kernel with ATA pass-through.
#
# Exit status: 0 when the guest ran the checks to the end (their verdicts
# are asserted by check-results.sh), 77 when QEMU, the kernel or a static
# busybox are missing (DIR/skipped says why), 1 when the boot failed.
#
# Environment: VORAN_QEMU_KERNEL (a vmlinuz; its modules must be in
# /lib/modules/<version>), VORAN_QEMU_TIMEOUT (seconds, default 90),
# VORAN_QEMU_ACCEL (auto, tcg or kvm; see below).
set -euo pipefail

guest="" drives="" work="" machine="pc"
while (($#)); do
  case "$1" in
    --guest) guest="$2"; shift 2 ;;
    --drives) drives="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --machine) machine="$2"; shift 2 ;;
    *) echo "run-guest.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[[ -n "$guest" && -n "$drives" && -n "$work" ]] || { echo "usage: run-guest.sh --guest BIN --drives FILE --work DIR [--machine pc|q35]" >&2; exit 2; }
# What differs between the two machines: the guest's mode and token, the
# kernel drivers it loads, how a drive is attached.
case "$machine" in
  pc) guest_mode="--hardware-in-guest" token="voran_qemu_guest=1" drivers=() ;;
  q35) guest_mode="--sata-in-guest" token="voran_qemu_sata=1" drivers=(ahci sd_mod sg) ;;
  *) echo "run-guest.sh: --machine must be pc or q35, not '$machine'" >&2; exit 2 ;;
esac

t_start=$(date +%s.%N)
guest="$(realpath "$guest")"
drives="$(realpath "$drives")"
work="$(realpath -m "$work")"
# Never leave results of an earlier run behind for the assertions to read.
rm -rf "$work"
mkdir -p "$work/out" "$work/images" "$work/initramfs"
out="$work/out"

skip() {
  echo "SKIPPED: $*" | tee "$work/skipped"
  exit 77
}
fail() {
  echo "qemu_boot: $*" >&2
  exit 1
}

# ---- what the suite needs ----------------------------------------------------------

qemu="$(command -v qemu-system-x86_64 || true)"
[[ -n "$qemu" ]] || skip "qemu-system-x86_64 is not installed (Debian package qemu-system-x86)"

busybox=""
for candidate in /bin/busybox /usr/bin/busybox; do
  if [[ -x "$candidate" ]] && [[ "$(LC_ALL=C ldd "$candidate" 2>&1 || true)" == *"not a dynamic executable"* ]]; then
    busybox="$candidate"
    break
  fi
done
[[ -n "$busybox" ]] || skip "no statically linked busybox (Debian package busybox-static)"
command -v cpio >/dev/null || skip "cpio is not installed (Debian package cpio)"
command -v gzip >/dev/null || skip "gzip is not installed"

kernel="${VORAN_QEMU_KERNEL:-}"
if [[ -z "$kernel" ]]; then
  for k in $(ls /boot/vmlinuz-* 2>/dev/null | sort -V -r); do
    if [[ -f "/lib/modules/${k#/boot/vmlinuz-}/modules.dep" ]]; then
      kernel="$k"
      break
    fi
  done
fi
[[ -n "$kernel" ]] || skip "no kernel with modules in /boot and /lib/modules (Debian package linux-image-amd64)"
[[ -r "$kernel" ]] || skip "the kernel $kernel is missing or not readable by this user"
kver="${kernel##*/vmlinuz-}"
moddir="/lib/modules/$kver"
[[ -f "$moddir/modules.dep" ]] || skip "no modules for kernel $kver in $moddir"

# Paths are written into the guest's init script: keep them plain.
for p in "$guest" "$drives" "$out"; do
  [[ "$p" =~ ^[A-Za-z0-9/._+-]+$ ]] || fail "path with unusual characters, not passed to the guest: $p"
done
[[ -x "$guest" ]] || fail "guest program $guest is missing"

# ---- kernel modules: virtio PCI and 9p (and the SATA drivers on q35), with what they depend on

declare -A depsOf=() loaded=()
while IFS= read -r line; do
  mod="${line%%:*}"
  depsOf["$mod"]="${line#*:}"
done <"$moddir/modules.dep"

order=()
add_module() {  # $1: path relative to $moddir; dependencies first
  local m="$1" d
  [[ -n "${loaded[$m]:-}" ]] && return 0
  loaded["$m"]=1
  for d in ${depsOf[$m]}; do add_module "$d"; done
  order+=("$m")
}
for want in virtio_pci 9pnet_virtio 9p "${drivers[@]}"; do
  found=""
  for m in "${!depsOf[@]}"; do
    if [[ "$m" =~ /${want}\.ko(\.xz|\.zst|\.gz)?$ ]]; then found="$m"; break; fi
  done
  if [[ -n "$found" ]]; then
    add_module "$found"
  elif ! grep -qE "/${want}\.ko$" "$moddir/modules.builtin" 2>/dev/null; then
    skip "kernel $kver has no $want module"
  fi
done

# ---- initramfs -------------------------------------------------------------------------

t_build=$(date +%s.%N)
root="$work/initramfs/root"
mkdir -p "$root"/{bin,dev,proc,sys,mnt,tmp,lib/modules}
cp "$busybox" "$root/bin/busybox"
: >"$root/lib/modules/load-order"
for m in "${order[@]}"; do
  name="$(basename "$m")"
  name="${name%%.ko*}.ko"
  case "$m" in
    *.ko.xz) xz -dc "$moddir/$m" >"$root/lib/modules/$name" ;;
    *.ko.zst) zstd -qdc "$moddir/$m" >"$root/lib/modules/$name" ;;
    *.ko.gz) gzip -dc "$moddir/$m" >"$root/lib/modules/$name" ;;
    *) cp "$moddir/$m" "$root/lib/modules/$name" ;;
  esac
  echo "$name" >>"$root/lib/modules/load-order"
done

# A writable /tmp in the guest, unless it would hide the program, the drive
# list or the results directory.
tmpfs="mount -t tmpfs tmpfs /mnt/tmp"
for p in "$guest" "$drives" "$out"; do
  if [[ "$p" == /tmp/* ]]; then
    tmpfs="# /tmp stays the host's (read-only): $p lies below it"
  fi
done

cat >"$root/init" <<EOF
#!/bin/busybox sh
# Voran hardware-path guest ($machine): on pc nothing here loads a driver for the IDE controller.
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sysfs /sys
/bin/busybox mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1
/bin/busybox --install -s /bin
export PATH=/bin
stop() {
  echo "voran-guest: \$*"
  sync
  poweroff -f
}
for m in \$(cat /lib/modules/load-order); do
  insmod /lib/modules/\$m || stop "insmod \$m failed"
done
mkdir -p /host
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 voranroot /host || stop "cannot mount the host root"
# The guest's root is a tmpfs that everyone may search, holding the host
# root's entries (folders bound, links and files copied): the host's own
# root may be closed to other users (a chroot made by mktemp is 0700), and
# the checks run programs as other users too.
mount -t tmpfs -o mode=0755 tmpfs /mnt
for e in /host/* /host/.[!.]*; do
  [ -e "\$e" ] || [ -L "\$e" ] || continue
  n="\${e#/host/}"
  if [ -d "\$e" ] && [ ! -L "\$e" ]; then
    mkdir "/mnt/\$n" && mount --bind "\$e" "/mnt/\$n" || stop "cannot bind /\$n"
  else
    cp -a "\$e" "/mnt/\$n" || stop "cannot copy /\$n"
  fi
done
mount -t proc proc /mnt/proc
mount -t sysfs sysfs /mnt/sys
mount -t devtmpfs devtmpfs /mnt/dev
$tmpfs
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 voranout /mnt$out || stop "cannot mount the results export"
echo "voran-guest: running checks at uptime \$(cut -d' ' -f1 /proc/uptime)"
chroot /mnt /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp LANG=C.UTF-8 \\
  $guest $guest_mode --drives $drives --out $out/results.txt >/mnt$out/guest.log 2>&1
echo \$? >/mnt$out/guest-exit
sync
umount /mnt$out
stop "done at uptime \$(cut -d' ' -f1 /proc/uptime)"
EOF
chmod 755 "$root/init"
(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) | gzip -1 >"$work/initramfs.cpio.gz"

# ---- drives -----------------------------------------------------------------------------

trim() { sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"$1"; }
drive_args=()
while IFS='|' read -r id bus unit bytes model serial firmware; do
  id="$(trim "${id%%#*}")"
  [[ -z "$id" ]] && continue
  bus="$(trim "$bus")" unit="$(trim "$unit")" bytes="$(trim "$bytes")"
  model="$(trim "$model")" serial="$(trim "$serial")" firmware="$(trim "${firmware%%#*}")"
  img="$work/images/$id.img"
  truncate -s "$bytes" "$img"
  place="bus=ide.$bus,unit=$unit"
  [[ "$machine" == q35 ]] && place="bus=ide.$bus"  # one drive per AHCI port
  drive_args+=(-drive "if=none,id=$id,file=$img,format=raw"
               -device "ide-hd,drive=$id,$place,model=$model,serial=$serial,ver=$firmware")
done <"$drives"
((${#drive_args[@]})) || fail "no drives in $drives"

# ---- boot ----------------------------------------------------------------------------------

# The accelerator.  KVM cannot be trusted: /dev/kvm may be there, readable
# and writable, and a guest still hangs at "Booting from ROM" (QEMU does not
# fall back to TCG then).  So the suite uses TCG unless a probe boot shows
# that KVM really runs a guest, or VORAN_QEMU_ACCEL asks:
#   auto (default)  probe KVM when /dev/kvm is usable, else TCG
#   tcg             software emulation, no probe
#   kvm             KVM without a probe (fails if it does not work)
accel_probe() {  # exit 0 when a KVM guest boots to its init within the limit
  local p="$work/kvm-probe"
  mkdir -p "$p/root/bin" "$p/root/proc"
  cp "$busybox" "$p/root/bin/busybox"
  printf '%s\n' '#!/bin/busybox sh' '/bin/busybox echo voran-kvm-probe-ok' '/bin/busybox poweroff -f' >"$p/root/init"
  chmod 755 "$p/root/init"
  (cd "$p/root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) | gzip -1 >"$p/initramfs.cpio.gz"
  timeout --kill-after=2 "${VORAN_QEMU_PROBE_TIMEOUT:-15}" "$qemu" \
    -machine pc -accel kvm -m 128 -smp 1 -nodefaults -no-reboot -display none -monitor none \
    -serial "file:$p/console.log" -kernel "$kernel" -initrd "$p/initramfs.cpio.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1" >"$p/qemu.log" 2>&1 || true
  grep -q voran-kvm-probe-ok "$p/console.log" 2>/dev/null
}
# The probe's answer holds until the machine boots again: both guest runs of
# a test session (and later sessions) share it, next to their work folders.
accel_probe_cached() {
  local cache boot
  cache="$(dirname "$work")/kvm-probe.result"
  boot="$(cat /proc/sys/kernel/random/boot_id 2>/dev/null || echo unknown)"
  if [[ -f $cache ]] && read -r cached_boot cached_answer <"$cache" && [[ $cached_boot == "$boot" ]]; then
    [[ $cached_answer == yes ]]
    return
  fi
  if accel_probe; then echo "$boot yes" >"$cache"; return 0; fi
  echo "$boot no" >"$cache"
  return 1
}
accel_mode="${VORAN_QEMU_ACCEL:-auto}"
case "$accel_mode" in
  tcg) accel_name="tcg (VORAN_QEMU_ACCEL=tcg)" ;;
  kvm) accel_name="kvm (VORAN_QEMU_ACCEL=kvm)" ;;
  auto)
    if [[ ! -e /dev/kvm ]]; then
      accel_name="tcg (no /dev/kvm)"
    elif [[ ! -r /dev/kvm || ! -w /dev/kvm ]]; then
      accel_name="tcg (/dev/kvm not usable by this user)"
    elif accel_probe_cached; then
      accel_name="kvm (a probe guest booted with it)"
    else
      accel_name="tcg (/dev/kvm is there, but a probe guest did not boot with it)"
    fi ;;
  *) fail "VORAN_QEMU_ACCEL must be auto, tcg or kvm, not '$accel_mode'" ;;
esac
accel=(-accel "${accel_name%% *}")
echo "accelerator: $accel_name"
limit="${VORAN_QEMU_TIMEOUT:-90}"

t_boot=$(date +%s.%N)
set +e
timeout --kill-after=5 "$limit" "$qemu" \
  -machine "$machine" "${accel[@]}" -m 512 -smp 1 -nodefaults -no-reboot -display none -monitor none \
  -serial "file:$work/console.log" \
  -kernel "$kernel" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 $token" \
  -fsdev "local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap" \
  -device "virtio-9p-pci,fsdev=hostroot,mount_tag=voranroot" \
  -fsdev "local,id=results,path=$out,security_model=none" \
  -device "virtio-9p-pci,fsdev=results,mount_tag=voranout" \
  "${drive_args[@]}" >"$work/qemu.log" 2>&1
qemu_rc=$?
set -e
t_end=$(date +%s.%N)

show_logs() {
  echo "---- qemu ($qemu_rc) ----"; cat "$work/qemu.log"
  echo "---- console (last 40 lines) ----"; tail -n 40 "$work/console.log" 2>/dev/null
  echo "---- guest program ----"; cat "$out/guest.log" 2>/dev/null
}

uptime_of() { awk -F'\t' -v k="$1" '$1 == k { for (i = 2; i <= NF; ++i) if ($i ~ /^uptime=/) print substr($i, 8) }' "$out/results.txt" 2>/dev/null; }
{
  echo "kernel $kver, accel $accel_name, qemu exit $qemu_rc"
  awk -v a="$t_start" -v b="$t_build" -v c="$t_boot" -v d="$t_end" -v s="$(uptime_of START)" -v e="$(uptime_of END)" \
    'BEGIN { printf "preparation %.1f s (initramfs %.1f s), qemu %.1f s", c - a, c - b, d - c;
             if (s != "" && e != "") printf ", guest uptime at the checks %.1f s, checks %.1f s", s, e - s;
             printf "\n" }'
} | tee "$work/timings.txt"

if ((qemu_rc == 124 || qemu_rc == 137)); then
  show_logs
  fail "the guest did not finish within ${limit} s"
fi
if [[ ! -f "$out/guest-exit" ]]; then
  show_logs
  fail "the guest did not run the check program"
fi
if ! awk -F'\t' '$1 == "END" { found = 1 } END { exit !found }' "$out/results.txt" 2>/dev/null; then
  show_logs
  fail "the check program stopped before the end (exit $(cat "$out/guest-exit"))"
fi
echo "guest program exit $(cat "$out/guest-exit"); results in $out/results.txt"
awk -F'\t' '$1 == "END"' "$out/results.txt"
