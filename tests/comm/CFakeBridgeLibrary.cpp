#include "CFakeBridgeLibrary.h"

int CFakeBridgeLibrary::OpenByDevicePath(const std::string& path,
                                         std::unique_ptr<IBridgeDevice>* device)
{
    if (m_nOpenStatus != BRIDGE_OK)
        return m_nOpenStatus;
    State(path);
    m_openedPaths.push_back(path);
    device->reset(new CFakeBridgeDevice(m_states[path]));
    return BRIDGE_OK;
}

FakeBridgeState& CFakeBridgeLibrary::State(const std::string& path)
{
    std::shared_ptr<FakeBridgeState>& state = m_states[path];
    if (!state)
        state = std::make_shared<FakeBridgeState>(m_clock);
    return *state;
}

void CFakeBridgeLibrary::AddInterface(const std::string& path, uint16_t vendorId,
                                      uint16_t productId, bool attributesRead)
{
    HidInterfaceInfo info;
    info.path = path;
    info.vendorId = vendorId;
    info.productId = productId;
    info.attributesRead = attributesRead;
    m_interfaces.push_back(info);
}
