#!/usr/bin/env bash
# Runs the udev rule, alone, through `udevadm test` against hidraw devices simulated by
# umockdev: the ORV's node must be tagged uaccess and given to the group plugdev, mode 0660, and
# no other device may be. The system's own rules stay out of the way (systemd's hwdb would tag
# the ORV on its own).
# Usage: check-udev-rule.sh RULE_FILE VENDOR PRODUCT  (USB IDs as four hex digits)
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

rule=$(realpath "$1") name=$(basename "$1") vendor=$2 product=$3
# Access goes to whoever sits at the machine and to plugdev: never to every account.
! grep -Eq '^[^#]*OWNER[[:space:]]*:?=' "$rule" || fail "$rule sets an owner"
modes=$(grep -Eo '^[^#]*MODE[[:space:]]*:?=[[:space:]]*"[0-7]+"' "$rule" | grep -Eo '[0-7]+"$' | tr -d '"')
[ "$modes" = 0660 ] || fail "$rule: mode '$modes', expected 0660 (no access for others)"
# On the line that matches the ORV, whose matching the devices below try: the group and mode
# reach exactly the devices the uaccess tag does.
grep -Eq '^[^#]*TAG\+="uaccess".*GROUP="plugdev".*MODE="0660"' "$rule" ||
    fail "$rule: the ORV's line must give it to the group plugdev, mode 0660"
# udevadm runs where bubblewrap has put empty folders over the system's rules and a tmpfs over
# /run, which holds this rule alone, and over /dev/char: only this rule counts, and nothing
# reaches the real ones.
# / is read-only inside: root in the namespace is root outside, and must change nothing there.
sandbox=(bwrap --unshare-user --ro-bind / / --dev /dev --tmpfs /tmp --tmpfs /run
    --ro-bind "$rule" "/run/udev/rules.d/$name")
for dir in /etc/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d /usr/local/lib/udev/rules.d /dev/char; do
    if [ -d "$dir" ]; then sandbox+=(--tmpfs "$dir"); fi
done
"${sandbox[@]}" true 2>/dev/null || { echo "SKIP: bubblewrap may make no user namespace here"; exit 77; }

# A USB device USB_VENDOR:USB_PRODUCT with a HID interface whose own IDs are HID_VENDOR:
# HID_PRODUCT, and its hidraw node, as the kernel lays them out in sysfs. The two differ behind a
# hub or a composite device; only the HID device's own IDs are the ORV's.
usb=/devices/pci0000:00/0000:00:14.0/usb1/1-1
hid() { echo "$usb/1-1:1.0/0003:${1^^}:${2^^}.0001"; }
describe() {
    cat <<EOD
P: $usb
E: DEVTYPE=usb_device
E: SUBSYSTEM=usb
A: idVendor=$1
A: idProduct=$2

P: $usb/1-1:1.0
E: SUBSYSTEM=usb

P: $(hid "$3" "$4")
E: SUBSYSTEM=hid

P: $(hid "$3" "$4")/hidraw/hidraw0
E: SUBSYSTEM=hidraw
EOD
}

# expect USB_VENDOR USB_PRODUCT HID_VENDOR HID_PRODUCT NODE yes|no: whether the hidraw node
# (NODE hidraw) or the USB device (NODE usb) gets the uaccess tag
expect() {
    local what="usb $1:$2, hid $3:$4, $5" path=$usb log tags got=no
    [ "$5" = usb ] || path=$(hid "$3" "$4")/hidraw/hidraw0
    log=$(describe "$@" |
        "${sandbox[@]}" umockdev-run -d /dev/stdin -- udevadm test --action=add "/sys$path" 2>&1) ||
        { echo "$log" >&2; fail "udevadm test failed on $what"; }
    ! grep -iE "$name:[0-9]+.*(invalid|error|unknown|fail|ignor)" <<<"$log" ||
        fail "udevadm complains about $name"
    # The device's properties, KEY=value: at the start of the line up to systemd 252, indented
    # under "Properties:" from 257 on. Tags set by this event are in CURRENT_TAGS.
    tags=$(sed -n 's/^[[:space:]]*CURRENT_TAGS=//p' <<<"$log")
    [[ $tags != *:uaccess:* ]] || got=yes
    [ "$got" = "$6" ] || { echo "$log" >&2; fail "$what: uaccess $got, expected $6 (tags $tags)"; }
}

# Another product of the same vendor, and the same product number from another vendor.
other() { printf '%04x' $((0x$1 ^ 1)); }
orv=("$vendor" "$product")
expect "${orv[@]}" "${orv[@]}" hidraw yes
expect "$vendor" "$(other "$product")" "$vendor" "$(other "$product")" hidraw no
expect "$(other "$vendor")" "$product" "$(other "$vendor")" "$product" hidraw no
# A hub or composite device that carries the ORV's IDs, with another HID device behind it.
expect "${orv[@]}" "$(other "$vendor")" "$product" hidraw no
expect "${orv[@]}" "${orv[@]}" usb no # the ORV's raw USB node: ORVcontrol only needs hidraw
echo "PASS: $name gives the ORV's hidraw node to the seat and to plugdev, and nothing else"
