#pragma once
#include "CFakeBridgeDevice.h"
#include "IBridgeLibrary.h"

#include <map>
#include <string>

// Lists scripted HID interfaces and opens a CFakeBridgeDevice per path; the
// state of each path outlives the device the link closes.
class CFakeBridgeLibrary : public IBridgeLibrary {
public:
    explicit CFakeBridgeLibrary(CManualClock& clock) : m_clock(clock) {}

    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override { return m_interfaces; }
    int OpenByDevicePath(const std::string& path, std::unique_ptr<IBridgeDevice>* device) override;

    // The state behind a path (created on first use).
    FakeBridgeState& State(const std::string& path);
    // Adds a present interface; a bridge by default.
    void AddInterface(const std::string& path, uint16_t vendorId = 0x0403,
                      uint16_t productId = 0x6030, bool attributesRead = true);

    std::vector<HidInterfaceInfo> m_interfaces;
    int m_nOpenStatus = BRIDGE_OK;
    std::vector<std::string> m_openedPaths;

private:
    CManualClock& m_clock;
    std::map<std::string, std::shared_ptr<FakeBridgeState>> m_states;
};
