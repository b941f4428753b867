#include "CHidFt260Library.h"

#include "CHidapiTransport.h"

#include <algorithm>
#include <unordered_set>

namespace {

bool IsBridge(const HidDeviceEntry& entry)
{
    return entry.vendorId == CHidFt260Library::kVendorId
        && entry.productId == CHidFt260Library::kProductId;
}

}   // namespace

CHidFt260Library::CHidFt260Library()
    : CHidFt260Library(std::make_unique<CHidapiTransport>())
{
}

CHidFt260Library::CHidFt260Library(std::unique_ptr<IHidTransport> transport, int keepAliveMs)
    : m_pTransport(std::move(transport)), m_nKeepAliveMs(keepAliveMs)
{
}

std::vector<HidInterfaceInfo> CHidFt260Library::EnumerateHidInterfaces()
{
    const std::vector<HidDeviceEntry> entries = m_pTransport->Enumerate();

    // hidapi cannot tell which interfaces belong to the same chip, so the
    // chips present are taken to share one mode: once any FT260 shows an
    // interface 1, every FT260 interface 0 is an I2C controller. Without an
    // interface 1 (the UART-only and I2C-only modes) interface 0 is listed
    // and opening it checks the chip's mode.
    const bool bUartOnInterface1 =
        std::any_of(entries.begin(), entries.end(), [](const HidDeviceEntry& entry) {
            return IsBridge(entry) && entry.interfaceNumber == 1;
        });

    std::vector<HidInterfaceInfo> interfaces;
    std::unordered_set<std::string> seen;
    for (const HidDeviceEntry& entry : entries) {
        // One entry per top-level collection: the same path may come twice.
        if (!seen.insert(entry.path).second)
            continue;
        if (IsBridge(entry) && bUartOnInterface1 && entry.interfaceNumber == 0)
            continue;
        HidInterfaceInfo info;
        info.path = entry.path;
        // The HID layer reads the ids from the system's device records,
        // which need no access to the device itself.
        info.attributesRead = true;
        info.vendorId = entry.vendorId;
        info.productId = entry.productId;
        interfaces.push_back(std::move(info));
    }
    return interfaces;
}

int CHidFt260Library::OpenByDevicePath(const std::string& path,
                                       std::unique_ptr<IBridgeDevice>* device)
{
    if (!device)
        return BRIDGE_INVALID_PARAMETER;
    device->reset();

    const std::vector<HidDeviceEntry> entries = m_pTransport->Enumerate(kVendorId, kProductId);
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const HidDeviceEntry& entry) {
        return entry.path == path && IsBridge(entry);
    });
    if (it == entries.end())
        return BRIDGE_DEVICE_NOT_FOUND;

    std::unique_ptr<IHidHandle> handle;
    int rc = m_pTransport->Open(path, &handle);
    if (rc != BRIDGE_OK)
        return rc;
    if (!handle)
        return BRIDGE_DEVICE_NOT_OPENED;

    auto bridge = std::make_unique<CHidFt260Device>(std::move(handle), m_nKeepAliveMs);
    rc = bridge->Start(it->interfaceNumber);
    if (rc != BRIDGE_OK)
        return rc;   // the bridge's destructor closes the handle
    *device = std::move(bridge);
    return BRIDGE_OK;
}
