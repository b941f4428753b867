#include "CFakeHidTransport.h"

#include "IBridgeDevice.h"

std::vector<HidDeviceEntry> CFakeHidTransport::Enumerate(uint16_t vendorId, uint16_t productId)
{
    std::vector<HidDeviceEntry> entries;
    for (const HidDeviceEntry& entry : m_Entries) {
        if ((vendorId == 0 || entry.vendorId == vendorId)
            && (productId == 0 || entry.productId == productId))
            entries.push_back(entry);
    }
    return entries;
}

int CFakeHidTransport::Open(const std::string& path, std::unique_ptr<IHidHandle>* handle)
{
    auto failure = m_OpenFailures.find(path);
    if (failure != m_OpenFailures.end())
        return failure->second;
    auto chip = m_Chips.find(path);
    if (chip == m_Chips.end())
        return BRIDGE_DEVICE_NOT_OPENED;
    *handle = chip->second->OpenHandle();
    return BRIDGE_OK;
}
