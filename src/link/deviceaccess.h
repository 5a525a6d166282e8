#pragma once

#include <string>

// Whether the ORV is there and may be opened, and if not why: the diagnosis the window keeps
// to itself (a device it cannot open is one it shows as absent) and a command line gives.
struct DeviceAccess
{
    enum State
    {
        Absent,   // not listed
        Refused,  // listed, but opening it failed with `error` (an errno value, 0 if unknown)
        Available // opened, and closed again
    };
    State state = Absent;
    std::string path; // as hidapi lists it, /dev/hidrawN on Linux
    int error = 0;
};

DeviceAccess probeDeviceAccess(unsigned short vendorId, unsigned short productId);
