#!/usr/bin/env bash
# Runs the udev rule, alone, through `udevadm test` against hidraw devices simulated by
# umockdev: the ORV's node must be tagged uaccess, and no other device may be. It works in a
# private mount namespace, so that the system's own rules stay out of the way (systemd's
# hwdb would tag the ORV on its own) and udevadm writes nothing to the real /run or /dev.
# Usage: check-udev-rule.sh RULE_FILE VENDOR PRODUCT  (USB IDs as four hex digits)
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${1:-}" != --in-namespace ]; then
    rule=$(realpath "$1")
    # Access goes to whoever sits at the machine, through uaccess: never to every account.
    if grep -Eq '^[^#]*(MODE|GROUP|OWNER)[[:space:]]*:?=' "$rule"; then
        fail "$rule sets a mode, group or owner: the uaccess tag alone must grant access"
    fi
    [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null ||
        { echo "SKIP: needs root, for a private mount namespace"; exit 77; }
    exec unshare --mount --propagation private bash "${BASH_SOURCE[0]}" --in-namespace "$rule" "$2" "$3"
fi
rule=$2 name=$(basename "$2") vendor=$3 product=$4
# What follows mounts over /run, /dev/char and the rules directories: only ever in a namespace
# of its own, neither its caller's nor the system's (where PID 1's may be read), whoever passed
# --in-namespace.
here=$(readlink /proc/self/ns/mnt)
parent=$(readlink "/proc/$PPID/ns/mnt" 2>/dev/null || true)
init=$(readlink /proc/1/ns/mnt 2>/dev/null || true)
[[ -n $parent && $here != "$parent" && $here != "$init" ]] ||
    fail "refusing to mount in my caller's or PID 1's mount namespace: run me without --in-namespace"
# A new namespace may still share its mounts with the one it came from (unshare --propagation
# unchanged on a shared /): cut that tie before mounting anything.
mount --make-rprivate /

# All scratch files live on this tmpfs, which goes away with the namespace.
mount -t tmpfs tmpfs /run
work=/run/check-udev-rule
mkdir -p "$work/empty" /run/udev/rules.d
cp "$rule" /run/udev/rules.d/
for dir in /etc/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d /usr/local/lib/udev/rules.d; do
    if [ -d "$dir" ]; then mount --bind "$work/empty" "$dir"; fi
done
if [ -d /dev/char ]; then mount -t tmpfs tmpfs /dev/char; fi

# A USB HID device VENDOR:PRODUCT with its hidraw node, as the kernel lays it out in sysfs.
usb=/devices/pci0000:00/0000:00:14.0/usb1/1-1
hidraw=$usb/1-1:1.0/0003:${vendor^^}:${product^^}.0001/hidraw/hidraw0
describe() {
    cat <<EOD
P: $usb
N: bus/usb/001/002
E: DEVNAME=/dev/bus/usb/001/002
E: DEVTYPE=usb_device
E: SUBSYSTEM=usb
E: MAJOR=189
E: MINOR=1
A: idVendor=$1
A: idProduct=$2

P: $usb/1-1:1.0
E: DEVTYPE=usb_interface
E: SUBSYSTEM=usb

P: $usb/1-1:1.0/0003:${vendor^^}:${product^^}.0001
E: SUBSYSTEM=hid

P: $hidraw
N: hidraw0
E: DEVNAME=/dev/hidraw0
E: SUBSYSTEM=hidraw
E: MAJOR=243
E: MINOR=0
EOD
}

# expect VENDOR PRODUCT SYSFS_PATH yes|no: whether the device there gets the uaccess tag
expect() {
    local what="$1:$2 ${3##*/}" log=$work/udevadm.log tags got=no
    describe "$1" "$2" >"$work/device.umockdev"
    rm -rf /run/udev/data /run/udev/tags # no tag carried over from the previous case
    umockdev-run -d "$work/device.umockdev" -- udevadm test --action=add "/sys$3" >"$log" 2>&1 ||
        { cat "$log" >&2; fail "udevadm test failed on $what"; }
    ! grep -iE "$name:[0-9]+.*(invalid|error|unknown|fail|ignor)" "$log" ||
        fail "udevadm complains about $name"
    # The device's properties, KEY=value: at the start of the line up to systemd 252, indented
    # under "Properties:" from 257 on. Tags set by this event are in CURRENT_TAGS.
    props=$(sed -n 's/^[[:space:]]*\([A-Z_][A-Z_0-9]*=\)/\1/p' "$log")
    grep -qxF "DEVPATH=$3" <<<"$props" || { cat "$log" >&2; fail "no properties of $3 found"; }
    tags=$(sed -n 's/^CURRENT_TAGS=//p' <<<"$props")
    [[ $tags != *:uaccess:* ]] || got=yes
    [ "$got" = "$4" ] || { cat "$log" >&2; fail "$what: uaccess $got, expected $4 (tags $tags)"; }
}

# Another product of the same vendor, and the same product number from another vendor.
other() { printf '%04x' $((0x$1 ^ 1)); }
expect "$vendor" "$product" "$hidraw" yes
expect "$vendor" "$(other "$product")" "$hidraw" no
expect "$(other "$vendor")" "$product" "$hidraw" no
expect "$vendor" "$product" "$usb" no # the ORV's raw USB node: ORVcontrol only needs hidraw
echo "PASS: $name tags the ORV's hidraw node, and nothing else"
