#pragma once
// One opened HID interface. Reports are passed with their report id in
// byte 0, as they travel on the wire.
//
// Threading: ReadInputReport may run on one thread while the other
// operations run on another; the other operations must not overlap each
// other (the caller serialises them). Close runs only when no other call is
// in progress.

#include <cstddef>
#include <cstdint>

class IHidHandle {
public:
    virtual ~IHidHandle() = default;

    // Sends one output report. Returns the bytes written, or -1.
    virtual int WriteOutputReport(const uint8_t* data, size_t length) = 0;
    // SET_REPORT(Feature). Returns the bytes sent, or -1.
    virtual int SendFeatureReport(const uint8_t* data, size_t length) = 0;
    // GET_REPORT(Feature) for the id in data[0]; data has room for length
    // bytes. Returns the bytes received including the id, or -1.
    virtual int GetFeatureReport(uint8_t* data, size_t length) = 0;
    // Waits up to timeoutMs for one input report. Returns its length
    // including the id, 0 when none came in time, -1 when the device failed
    // (unplugged, for instance).
    virtual int ReadInputReport(uint8_t* data, size_t length, int timeoutMs) = 0;
    virtual void Close() = 0;
};
