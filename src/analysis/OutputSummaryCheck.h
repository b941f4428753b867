#pragma once
// Compares the meter's own summary of the continuous series with what the
// received measurements give. The summary is in 0.01 kN and each measurement
// in 0.1 kN, so a difference up to one measurement step (0.1 kN) is the
// meter's rounding; anything beyond is shown with both values, as is a
// count that differs from the rows received.

#include "MeterRecords.h"

#include <cstdint>
#include <string>
#include <vector>

struct SummaryFieldCheck {
    const char* pszName = "";  // "평균", "최소", "최대"
    uint16_t nMeter = 0;       // 0.01 kN
    double dComputed = 0.0;    // kN
    bool bAgrees = true;
};

struct OutputSummaryCheck {
    int nMeterCount = 0;
    int64_t nRows = 0;
    bool bCountAgrees = true;
    bool bHasRows = false;     // without rows only the count is compared
    SummaryFieldCheck fields[3]; // average, minimum, maximum

    bool AllAgree() const;
    // One Korean line per difference, e.g.
    // "평균: 장비 123.4 KN, 계산 125.00 KN"; empty when all agree.
    std::vector<std::string> Differences() const;
};

// valuesKn: every measurement of the series in kN (raw / 10.0), ticked or not.
OutputSummaryCheck CheckOutputSummary(const OutputSummary& meter, const std::vector<double>& valuesKn);
