#pragma once
// How far the meter's clock is from the PC's: meter clock − PC clock, as the
// windows show it, and whether it is more than the tolerated drift.
//
// Text: a sign, then the two largest units with the smaller one in two
// digits, cut (not rounded) below that:
//   under a minute  "+45초", "-5초"
//   under an hour   "+3분 10초", "-12분 05초"
//   under a day     "+1시간 02분"
//   a day or more   "+400일 03시간"
// No drift at all is "0초". A meter that is ahead has "+", one behind "-".

#include "MeterTime.h"

#include <cstdint>
#include <string>

// Drift tolerated by default, in seconds (settings: [CLOCK] MAX_DRIFT).
constexpr int kDefaultMaxClockDrift = 60;

std::string FormatClockDrift(int64_t driftSeconds);

// meter − pc in seconds for a clock as the meter sent it. False (and *drift
// untouched) when the fields make no time or the year shows a clock that was
// never set (IsPlausibleClockYear): there is no drift to speak of then.
bool MeterClockDrift(const MeterDateTime& meter, int64_t pcTime, int64_t* drift);

// More than limitSeconds in either direction. A limit that is not positive
// counts as the default.
bool IsClockDriftTooLarge(int64_t driftSeconds, int limitSeconds = kDefaultMaxClockDrift);
