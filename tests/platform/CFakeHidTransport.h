#pragma once
// A HID layer with a scripted interface list: some paths lead to fake chips,
// others fail to open with a chosen status.

#include "CFakeFt260Chip.h"
#include "IHidTransport.h"

#include <map>
#include <string>

class CFakeHidTransport : public IHidTransport {
public:
    std::vector<HidDeviceEntry> Enumerate(uint16_t vendorId = 0, uint16_t productId = 0) override;
    int Open(const std::string& path, std::unique_ptr<IHidHandle>* handle) override;

    std::vector<HidDeviceEntry> m_Entries;
    std::map<std::string, std::shared_ptr<CFakeFt260Chip>> m_Chips;
    std::map<std::string, int> m_OpenFailures;   // path -> BridgeStatus
};
