#pragma once
#include "ILinkClock.h"

#include <atomic>
#include <functional>

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
    // Called at the start of every SleepMs, on the sleeping thread: a test
    // acts there at a known point of a link operation. Set it while nothing
    // sleeps.
    void SetSleepHook(std::function<void(int milliseconds)> hook) { m_fnSleepHook = std::move(hook); }

private:
    std::atomic<int64_t> m_nStartSeconds;
    std::atomic<int64_t> m_nElapsedUs{0};
    std::atomic<int64_t> m_nSleptUs{0};
    std::function<void(int)> m_fnSleepHook;
};
