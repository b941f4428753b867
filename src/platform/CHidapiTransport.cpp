#include "CHidapiTransport.h"

#include "CHidapiHandle.h"
#include "IBridgeDevice.h"

#include <hidapi/hidapi.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

CHidapiTransport::CHidapiTransport()
{
    hid_init();
}

std::vector<HidDeviceEntry> CHidapiTransport::Enumerate(uint16_t vendorId, uint16_t productId)
{
    std::vector<HidDeviceEntry> entries;
    hid_device_info* pList = hid_enumerate(vendorId, productId);
    for (const hid_device_info* pInfo = pList; pInfo; pInfo = pInfo->next) {
        if (!pInfo->path)
            continue;
        HidDeviceEntry entry;
        entry.path = pInfo->path;
        entry.vendorId = pInfo->vendor_id;
        entry.productId = pInfo->product_id;
        entry.interfaceNumber = pInfo->interface_number;
        entry.usagePage = pInfo->usage_page;
        entry.usage = pInfo->usage;
        entries.push_back(std::move(entry));
    }
    hid_free_enumeration(pList);
    return entries;
}

int CHidapiTransport::Open(const std::string& path, std::unique_ptr<IHidHandle>* handle)
{
    if (!handle)
        return BRIDGE_INVALID_PARAMETER;
    handle->reset();

    hid_device* pControl = hid_open_path(path.c_str());
    if (!pControl)
        return ClassifyOpenFailure(path);
    hid_device* pRead = hid_open_path(path.c_str());
    if (!pRead) {
        hid_close(pControl);
        return ClassifyOpenFailure(path);
    }
    *handle = std::make_unique<CHidapiHandle>(pControl, pRead);
    return BRIDGE_OK;
}

int CHidapiTransport::ClassifyOpenFailure(const std::string& path)
{
    // O_NONBLOCK so that a path that is not a device node cannot hang here.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        // It opens now: whatever stopped hidapi was not a permission problem.
        ::close(fd);
        return BRIDGE_DEVICE_NOT_OPENED;
    }
    return (errno == EACCES || errno == EPERM) ? BRIDGE_ACCESS_DENIED : BRIDGE_DEVICE_NOT_OPENED;
}
