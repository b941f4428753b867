#include "CHidapiHandle.h"

#include <cerrno>
#include <hidapi/hidapi.h>

CHidapiHandle::CHidapiHandle(hid_device_* pControl, hid_device_* pRead)
    : m_pControl(pControl), m_pRead(pRead)
{
}

CHidapiHandle::~CHidapiHandle()
{
    Close();
}

int CHidapiHandle::WriteOutputReport(const uint8_t* data, size_t length)
{
    if (!m_pControl)
        return -1;
    return hid_write(m_pControl, data, length);
}

int CHidapiHandle::SendFeatureReport(const uint8_t* data, size_t length)
{
    if (!m_pControl)
        return -1;
    return hid_send_feature_report(m_pControl, data, length);
}

int CHidapiHandle::GetFeatureReport(uint8_t* data, size_t length)
{
    if (!m_pControl)
        return -1;
    return hid_get_feature_report(m_pControl, data, length);
}

int CHidapiHandle::ReadInputReport(uint8_t* data, size_t length, int timeoutMs)
{
    if (!m_pRead)
        return -1;
    // A signal that interrupts the wait is no failure of the device: hidapi
    // reports it as -1 with errno EINTR, and the wait is simply tried again.
    for (int attempt = 0;; ++attempt) {
        errno = 0;
        const int n = hid_read_timeout(m_pRead, data, length, timeoutMs);
        if (n >= 0 || errno != EINTR || attempt >= 3)
            return n;
    }
}

void CHidapiHandle::Close()
{
    if (m_pRead) {
        hid_close(m_pRead);
        m_pRead = nullptr;
    }
    if (m_pControl) {
        hid_close(m_pControl);
        m_pControl = nullptr;
    }
}
