#include "CManualClock.h"

CManualClock::CManualClock(int64_t startSeconds) : m_nStartSeconds(startSeconds) {}

void CManualClock::SleepMs(int milliseconds)
{
    if (m_fnSleepHook)
        m_fnSleepHook(milliseconds);
    if (milliseconds <= 0)
        return;
    m_nSleptUs += int64_t(milliseconds) * 1000;
    AdvanceUs(int64_t(milliseconds) * 1000);
}

int64_t CManualClock::NowSeconds()
{
    return m_nStartSeconds.load() + m_nElapsedUs.load() / 1000000;
}

int64_t CManualClock::MonotonicUs()
{
    return m_nElapsedUs.load();
}

void CManualClock::AdvanceUs(int64_t microseconds)
{
    if (microseconds > 0)
        m_nElapsedUs += microseconds;
}

void CManualClock::SetNowSeconds(int64_t seconds)
{
    m_nStartSeconds = seconds - m_nElapsedUs.load() / 1000000;
}
