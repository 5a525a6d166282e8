#include "deviceaccess.h"

#include <hidapi.h>

#include <cerrno>

std::vector<ListedDevice> listDevices(unsigned short vendorId, unsigned short productId)
{
    std::vector<ListedDevice> devices;
    hid_device_info *list = hid_enumerate(vendorId, productId);
    for (const hid_device_info *d = list; d; d = d->next) {
        ListedDevice device{d->path ? d->path : "", {}};
        // Serial numbers are printable ASCII in practice; anything else is kept out.
        for (const wchar_t *c = d->serial_number; c && *c; ++c)
            device.serial += *c > 0x20 && *c < 0x7F ? char(*c) : '?';
        devices.push_back(device);
    }
    hid_free_enumeration(list);
    return devices;
}

const ListedDevice *selectDevice(const std::vector<ListedDevice> &devices,
                                 const std::string &selector)
{
    if (selector.empty())
        return devices.size() == 1 ? &devices.front() : nullptr;
    for (const ListedDevice &d : devices)
        if (d.path == selector || (!d.serial.empty() && d.serial == selector))
            return &d;
    return nullptr;
}

DeviceAccess probeDeviceAccess(unsigned short vendorId, unsigned short productId,
                               const std::string &selector)
{
    DeviceAccess access;
    const std::vector<ListedDevice> devices = listDevices(vendorId, productId);
    const ListedDevice *device = selectDevice(devices, selector);
    if (!device) {
        access.state =
            selector.empty() && devices.size() > 1 ? DeviceAccess::Ambiguous : DeviceAccess::Absent;
        return access;
    }
    access.path = device->path;
    errno = 0;
    hid_device *handle = hid_open_path(access.path.c_str());
    access.error = errno;
    if (!handle) {
        access.state = DeviceAccess::Refused;
        return access;
    }
    hid_close(handle);
    access.state = DeviceAccess::Available;
    access.error = 0;
    return access;
}
