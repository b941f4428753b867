#pragma once
// What the window tests share: one fixed time zone, local points in time and
// stored records of the simulated meter.

#include "CMeterSession.h"
#include "CSimMeter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

// Korean time without daylight saving, so that dates do not depend on the
// machine's zone; set before any test runs.
inline const bool g_bKoreanTimeZone = [] {
    setenv("TZ", "KST-9", 1);
    tzset();
    return true;
}();

inline int64_t LocalSeconds(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

inline CSimMeter::Record Rec(int y, int mo, int d, int h, int mi, int s, int force, int type = 1)
{
    return CSimMeter::Record::Make(y, mo, d, h, mi, s, force, type);
}

// The window handlers start session jobs and return; this waits, with the
// event loop running, until the job and whatever it started in turn ended.
inline void WaitIdle(CMeterSession& session)
{
    ASSERT_TRUE(session.WaitForIdle(60000)) << "the session is still busy";
}
