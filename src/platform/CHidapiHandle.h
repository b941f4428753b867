#pragma once
#include "IHidHandle.h"

struct hid_device_;

// An FT260 interface opened through hidapi.
//
// hidapi keeps per-handle error state that every call rewrites, so one
// handle must not be used from two threads at once. The interface is
// therefore opened twice: the input reports are read on one handle (the
// reader thread's), everything else goes through the other. On hidraw each
// open file receives its own copy of every input report, so nothing is lost
// between them; the control handle's unread copies are dropped by the
// kernel once its 64-report queue is full.
class CHidapiHandle : public IHidHandle {
public:
    CHidapiHandle(hid_device_* pControl, hid_device_* pRead);
    ~CHidapiHandle() override;

    CHidapiHandle(const CHidapiHandle&) = delete;
    CHidapiHandle& operator=(const CHidapiHandle&) = delete;

    int WriteOutputReport(const uint8_t* data, size_t length) override;
    int SendFeatureReport(const uint8_t* data, size_t length) override;
    int GetFeatureReport(uint8_t* data, size_t length) override;
    int ReadInputReport(uint8_t* data, size_t length, int timeoutMs) override;
    void Close() override;

private:
    hid_device_* m_pControl;
    hid_device_* m_pRead;
};
