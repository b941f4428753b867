#pragma once
#include "ILinkClock.h"

// The real clock: sleeps really sleep.
class CSystemClock : public ILinkClock {
public:
    void SleepMs(int milliseconds) override;
    int64_t NowSeconds() override;
    int64_t MonotonicUs() override;
};
