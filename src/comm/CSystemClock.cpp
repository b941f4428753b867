#include "CSystemClock.h"

#include <chrono>
#include <ctime>
#include <thread>

void CSystemClock::SleepMs(int milliseconds)
{
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int64_t CSystemClock::NowSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
}

int64_t CSystemClock::MonotonicUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
