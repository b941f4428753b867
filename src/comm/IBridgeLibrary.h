#pragma once
// Finding and opening FT260 bridges. The real implementation asks the
// operating system's HID layer; the simulated meter answers for itself.

#include "IBridgeDevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One present HID interface, as discovery lists it.
struct HidInterfaceInfo {
    std::string path;          // device path, UTF-8; what OpenByDevicePath takes
    bool attributesRead = false;   // false: the interface could not be opened for its attributes
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

class IBridgeLibrary {
public:
    virtual ~IBridgeLibrary() = default;

    // Every present HID interface, in the platform's enumeration order.
    virtual std::vector<HidInterfaceInfo> EnumerateHidInterfaces() = 0;

    // Opens the bridge at path. On success returns BRIDGE_OK and sets *device.
    virtual int OpenByDevicePath(const std::string& path,
                                 std::unique_ptr<IBridgeDevice>* device) = 0;
};
