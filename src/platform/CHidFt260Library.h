#pragma once
#include "CHidFt260Device.h"
#include "IBridgeLibrary.h"
#include "IHidTransport.h"

#include <memory>

// Finds and opens FT260 bridges among the HID interfaces of the system.
class CHidFt260Library : public IBridgeLibrary {
public:
    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint16_t kProductId = 0x6030;

    // The system's HID layer through hidapi.
    CHidFt260Library();
    explicit CHidFt260Library(std::unique_ptr<IHidTransport> transport,
                              int keepAliveMs = CHidFt260Device::kDefaultKeepAliveMs);

    // Every present HID interface in the HID layer's order, once per path.
    // Of an FT260 only its UART interface is listed: in the chip's default
    // mode the I2C controller is interface 0 and the UART interface 1.
    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override;

    // Opens only a path that is a present FT260 interface
    // (BRIDGE_DEVICE_NOT_FOUND otherwise), so a stale path that now belongs
    // to another device is never sent the chip's reports.
    int OpenByDevicePath(const std::string& path,
                         std::unique_ptr<IBridgeDevice>* device) override;

private:
    std::unique_ptr<IHidTransport> m_pTransport;
    int m_nKeepAliveMs;
};
