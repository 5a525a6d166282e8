#include "deviceaccess.h"

#include <hidapi.h>

#include <cerrno>

DeviceAccess probeDeviceAccess(unsigned short vendorId, unsigned short productId)
{
    DeviceAccess access;
    hid_device_info *list = hid_enumerate(vendorId, productId);
    if (list && list->path)
        access.path = list->path;
    const bool listed = list != nullptr;
    hid_free_enumeration(list);
    if (!listed)
        return access;
    errno = 0;
    // The same device the link will take: hid_open takes the first one listed.
    hid_device *device = hid_open_path(access.path.c_str());
    access.error = errno;
    if (!device) {
        access.state = DeviceAccess::Refused;
        return access;
    }
    hid_close(device);
    access.state = DeviceAccess::Available;
    access.error = 0;
    return access;
}
