#!/usr/bin/env bash
# Runs the udev rule, alone, through `udevadm test` against hidraw devices simulated by
# umockdev: the ORV's node must be tagged uaccess, and no other device may be. It works in a
# private mount namespace, so that the system's own rules stay out of the way (systemd's
# hwdb would tag the ORV on its own) and udevadm writes nothing to the real /run or /dev.
# Usage: check-udev-rule.sh RULE_FILE
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

if [ "${1:-}" != --in-namespace ]; then
    rule=$(realpath "$1")
    for tool in udevadm:udev umockdev-run:umockdev unshare:util-linux; do
        command -v "${tool%%:*}" >/dev/null ||
            fail "${tool%%:*} not found: install ${tool#*:} (scripts/deps.sh test)"
    done
    # Access goes to whoever sits at the machine, through uaccess: never to every account.
    if grep -Eq '^[^#]*(MODE|GROUP|OWNER)[[:space:]]*:?=' "$rule"; then
        fail "$rule sets a mode, group or owner: the uaccess tag alone must grant access"
    fi
    [ "$(id -u)" -eq 0 ] || skip "needs root, for a private mount namespace"
    unshare --mount true 2>/dev/null || skip "this machine refuses a private mount namespace"
    exec unshare --mount --propagation private bash "${BASH_SOURCE[0]}" --in-namespace "$rule"
fi
rule=$2
name=$(basename "$rule")

# All scratch files live on this tmpfs, which goes away with the namespace.
mount -t tmpfs tmpfs /run
work=/run/check-udev-rule
mkdir -p "$work/empty"
for dir in /etc/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d /usr/local/lib/udev/rules.d; do
    if [ -d "$dir" ]; then mount --bind "$work/empty" "$dir"; fi
done
if [ -d /dev/char ]; then mount -t tmpfs tmpfs /dev/char; fi
mkdir -p /run/udev/rules.d
cp "$rule" /run/udev/rules.d/

# A USB HID device VENDOR:PRODUCT with its hidraw node, as the kernel lays it out in sysfs.
usb=/devices/pci0000:00/0000:00:14.0/usb1/1-1
hidraw=$usb/1-1:1.0/0003:1FC9:0003.0001/hidraw/hidraw0
describe() {
    cat <<EOF
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
E: DRIVER=usbhid
E: SUBSYSTEM=usb

P: $usb/1-1:1.0/0003:1FC9:0003.0001
E: DRIVER=hid-generic
E: SUBSYSTEM=hid

P: $hidraw
N: hidraw0
E: DEVNAME=/dev/hidraw0
E: SUBSYSTEM=hidraw
E: MAJOR=243
E: MINOR=0
EOF
}

# expect VENDOR PRODUCT SYSFS_PATH yes|no
expect() {
    local what="$1:$2 ${3##*/}" log="$work/udevadm.log" tags complaints
    describe "$1" "$2" >"$work/device.umockdev"
    rm -rf /run/udev/data /run/udev/tags # no tag carried over from the previous case
    umockdev-run -d "$work/device.umockdev" -- udevadm test --action=add "/sys$3" >"$log" 2>&1 ||
        { cat "$log" >&2; fail "udevadm test failed on $what"; }
    grep -q "^Reading rules file: /run/udev/rules.d/$name\$" "$log" ||
        { cat "$log" >&2; fail "udevadm did not read $name"; }
    complaints=$(grep -E "$name:[0-9]+" "$log" || true)
    if [[ ${complaints,,} =~ invalid|error|unknown|fail|ignor ]]; then
        fail "udevadm complains about $name: $complaints"
    fi
    tags=$(sed -n 's/^CURRENT_TAGS=//p' "$log")
    if [[ $tags == *:uaccess:* ]]; then
        [ "$4" = yes ] || fail "$what is tagged uaccess, and must not be"
    else
        [ "$4" = no ] ||
            { cat "$log" >&2; fail "$what is not tagged uaccess (CURRENT_TAGS=$tags)"; }
    fi
    echo "ok: $what uaccess=$4"
}

expect 1fc9 0003 "$hidraw" yes
expect 1fc9 0004 "$hidraw" no # another product of the same vendor
expect 046d 0003 "$hidraw" no # the same product number from another vendor
expect 1fc9 0003 "$usb" no    # the ORV's raw USB node: ORVcontrol only needs hidraw
echo "PASS: $name tags the ORV's hidraw node, and nothing else"
