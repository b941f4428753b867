#pragma once
#include "ILinkClock.h"

#include <atomic>

// A clock that only moves when told to: SleepMs advances it at once.
// Wall time starts at the given seconds since 1970.
class CManualClock : public ILinkClock {
public:
    explicit CManualClock(int64_t startSeconds = 1765000000);

    void SleepMs(int milliseconds) override;
    int64_t NowSeconds() override;
    int64_t MonotonicUs() override;

    void AdvanceUs(int64_t microseconds);
    void SetNowSeconds(int64_t seconds);   // moves wall time only
    int64_t SleptMs() const { return m_nSleptUs.load() / 1000; }   // total time slept

private:
    std::atomic<int64_t> m_nStartSeconds;
    std::atomic<int64_t> m_nElapsedUs{0};
    std::atomic<int64_t> m_nSleptUs{0};
};
