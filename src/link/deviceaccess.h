#pragma once

#include <string>
#include <vector>

// An ORV as hidapi lists it.
struct ListedDevice
{
    std::string path; // /dev/hidrawN on Linux
    std::string serial;
};

// The ORVs plugged in, in hidapi's order.
std::vector<ListedDevice> listDevices(unsigned short vendorId, unsigned short productId);

// Whether the ORV is there and may be opened, and if not why: the diagnosis the window keeps
// to itself (a device it cannot open is one it shows as absent) and a command line gives.
struct DeviceAccess
{
    enum State
    {
        Absent,    // not listed, or none listed matches the selector
        Ambiguous, // several listed, and no selector to choose
        Refused,   // listed, but opening it failed with `error` (an errno value, 0 if unknown)
        Available  // opened, and closed again
    };
    State state = Absent;
    std::string path; // the one meant
    int error = 0;
};

// `selector`, a path or a serial number, chooses among several ORVs; empty, there must be one.
DeviceAccess probeDeviceAccess(unsigned short vendorId, unsigned short productId,
                               const std::string &selector = {});
// The listed ORV that `selector` names, or the only one if it is empty.
const ListedDevice *selectDevice(const std::vector<ListedDevice> &devices,
                                 const std::string &selector);
