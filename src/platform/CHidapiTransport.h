#pragma once
#include "IHidTransport.h"

// The HID layer through hidapi (the hidraw backend on Linux).
class CHidapiTransport : public IHidTransport {
public:
    CHidapiTransport();

    std::vector<HidDeviceEntry> Enumerate(uint16_t vendorId = 0,
                                          uint16_t productId = 0) override;
    int Open(const std::string& path, std::unique_ptr<IHidHandle>* handle) override;

    // Why a node could not be opened: hidapi keeps only a message, so the
    // node is opened once more here and errno decides. BRIDGE_ACCESS_DENIED
    // for EACCES/EPERM, BRIDGE_DEVICE_NOT_OPENED for anything else.
    static int ClassifyOpenFailure(const std::string& path);
};
