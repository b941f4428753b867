#pragma once
// Time as the link sees it. The program uses the system clock; the tests and
// the simulated meter drive a manual one, so a 2.5 s time-out takes microseconds.

#include <cstdint>

class ILinkClock {
public:
    virtual ~ILinkClock() = default;

    // The link's polling pauses.
    virtual void SleepMs(int milliseconds) = 0;
    // Wall-clock seconds since 1970 (time stamps of frames, the meter's clock).
    virtual int64_t NowSeconds() = 0;
    // A monotonic time in microseconds (pacing of simulated bytes on the wire).
    virtual int64_t MonotonicUs() = 0;
};
