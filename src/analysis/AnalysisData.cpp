#include "AnalysisData.h"

#include "MeterTime.h"

#include <cstdio>

const char* ForceUnitText(EForceUnit unit)
{
    return unit == EForceUnit::Tons ? "톤" : "KN";
}

CMeasurementStats StatsOfTicked(const std::vector<AnalysisRow>& rows, const ToleranceLimits& limits)
{
    CMeasurementStats stats(limits);
    for (const AnalysisRow& row : rows)
        if (row.bTicked)
            stats.Add(row.dValue, row.nLoadCellType);
    return stats;
}

std::string FormatRowTime(const AnalysisRow& row)
{
    if (!row.bTimeValid)
        return "-";
    const std::string text = FormatLocalTime(row.tWhen);
    return text.empty() ? std::string("-") : text;
}

std::string FormatRowValue(double value, EForceUnit unit)
{
    char text[48];
    if (unit == EForceUnit::Tons)
        std::snprintf(text, sizeof text, "%4.1f 톤", value);
    else
        std::snprintf(text, sizeof text, "%.1f KN", value);
    return text;
}
