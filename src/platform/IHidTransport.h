#pragma once
// The operating system's HID layer, reduced to what the FT260 driver needs:
// list the present HID interfaces and open one by its path. The real
// implementation sits on hidapi; the driver's tests put a fake chip behind it.

#include "IHidHandle.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One HID top-level collection as the HID layer lists it. A device with
// several collections may appear several times with the same path.
struct HidDeviceEntry {
    std::string path;            // what Open takes; /dev/hidrawN on Linux
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    int interfaceNumber = -1;    // USB interface number, -1 when unknown
    uint16_t usagePage = 0;
    uint16_t usage = 0;
};

class IHidTransport {
public:
    virtual ~IHidTransport() = default;

    // Present interfaces in the platform's order; 0 for an id matches any.
    virtual std::vector<HidDeviceEntry> Enumerate(uint16_t vendorId = 0,
                                                  uint16_t productId = 0) = 0;

    // BRIDGE_OK and *handle set, BRIDGE_ACCESS_DENIED when the interface
    // exists but this user may not open it, BRIDGE_DEVICE_NOT_OPENED otherwise.
    virtual int Open(const std::string& path, std::unique_ptr<IHidHandle>* handle) = 0;
};
