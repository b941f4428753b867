#include "CCompositeBridgeLibrary.h"

void CCompositeBridgeLibrary::Add(std::unique_ptr<IBridgeLibrary> library)
{
    if (library)
        m_Libraries.push_back(std::move(library));
}

std::vector<HidInterfaceInfo> CCompositeBridgeLibrary::EnumerateHidInterfaces()
{
    std::vector<HidInterfaceInfo> all;
    std::map<std::string, size_t> listedBy;
    for (size_t i = 0; i < m_Libraries.size(); ++i) {
        for (HidInterfaceInfo& info : m_Libraries[i]->EnumerateHidInterfaces()) {
            listedBy.emplace(info.path, i);   // the first lister keeps the path
            all.push_back(std::move(info));
        }
    }
    // Only the latest discovery counts: a path that vanished from one library
    // and came back under another must go to the new one.
    m_ListedBy = std::move(listedBy);
    return all;
}

int CCompositeBridgeLibrary::OpenByDevicePath(const std::string& path,
                                              std::unique_ptr<IBridgeDevice>* device)
{
    if (!device)
        return BRIDGE_INVALID_PARAMETER;
    device->reset();

    const auto listed = m_ListedBy.find(path);
    if (listed != m_ListedBy.end() && listed->second < m_Libraries.size())
        return m_Libraries[listed->second]->OpenByDevicePath(path, device);

    int result = BRIDGE_DEVICE_NOT_FOUND;
    for (const std::unique_ptr<IBridgeLibrary>& library : m_Libraries) {
        const int rc = library->OpenByDevicePath(path, device);
        if (rc == BRIDGE_OK && *device)
            return BRIDGE_OK;
        device->reset();
        if (rc != BRIDGE_OK && rc != BRIDGE_DEVICE_NOT_FOUND && result == BRIDGE_DEVICE_NOT_FOUND)
            result = rc;
    }
    return result;
}
