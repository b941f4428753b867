#include "ClockDrift.h"

#include <cstdio>

std::string FormatClockDrift(int64_t driftSeconds)
{
    if (driftSeconds == 0)
        return "0초";
    const char* sign = driftSeconds > 0 ? "+" : "-";
    // The magnitude as unsigned: INT64_MIN has no positive twin.
    const uint64_t s = driftSeconds > 0 ? uint64_t(driftSeconds) : uint64_t(0) - uint64_t(driftSeconds);
    char text[64];
    if (s < 60)
        std::snprintf(text, sizeof text, "%s%llu초", sign, (unsigned long long)s);
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%s%llu분 %02llu초", sign, (unsigned long long)(s / 60),
                      (unsigned long long)(s % 60));
    else if (s < 86400)
        std::snprintf(text, sizeof text, "%s%llu시간 %02llu분", sign, (unsigned long long)(s / 3600),
                      (unsigned long long)(s % 3600 / 60));
    else
        std::snprintf(text, sizeof text, "%s%llu일 %02llu시간", sign, (unsigned long long)(s / 86400),
                      (unsigned long long)(s % 86400 / 3600));
    return text;
}

bool IsClockDriftTooLarge(int64_t driftSeconds, int limitSeconds)
{
    if (limitSeconds <= 0)
        limitSeconds = kDefaultMaxClockDrift;
    const uint64_t s = driftSeconds >= 0 ? uint64_t(driftSeconds) : uint64_t(0) - uint64_t(driftSeconds);
    return s > uint64_t(limitSeconds);
}

bool MeterClockDrift(const MeterDateTime& meter, int64_t pcTime, int64_t* drift)
{
    int64_t meterTime = 0;
    if (!IsPlausibleClockYear(meter.nYear) || !MeterDateTimeToTime(meter, &meterTime))
        return false;
    *drift = meterTime - pcTime;
    return true;
}
