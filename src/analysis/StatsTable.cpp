#include "StatsTable.h"

#include <cstdio>

std::vector<std::string> StatsHeadings()
{
    return {"구분", "개수", "평균", "최소", "최대", "범위", "표준편차", "합격", "불합격", "합격률", "Cp", "Cpk"};
}

std::string StatsGroupName(int loadCellType)
{
    if (loadCellType == GroupStats::TOTAL)
        return "전체";
    const char* model = LoadCellModelName(loadCellType);
    if (model && *model)
        return model;
    return "종류 " + std::to_string(loadCellType);
}

std::vector<std::string> StatsRowTexts(const GroupStats& stats, EForceUnit unit)
{
    const std::string suffix = std::string(" ") + ForceUnitText(unit);
    const bool limits = stats.insideShare.eMissing != EStatMissing::NoLimits;
    return {
        StatsGroupName(stats.nLoadCellType),
        std::to_string(stats.nCount),
        FormatStatValue(stats.mean, 2, suffix.c_str()),
        FormatStatValue(stats.minimum, 2, suffix.c_str()),
        FormatStatValue(stats.maximum, 2, suffix.c_str()),
        FormatStatValue(stats.range, 2, suffix.c_str()),
        FormatStatValue(stats.deviation, 3, suffix.c_str()),
        limits ? std::to_string(stats.nInside) : std::string("-"),
        limits ? std::to_string(stats.nBelow + stats.nAbove) : std::string("-"),
        FormatStatValue(stats.insideShare, 1, " %"),
        FormatStatValue(stats.cp, 2),
        FormatStatValue(stats.cpk, 2),
    };
}

std::string LimitsText(const ToleranceLimits& limits, EForceUnit unit)
{
    if (!limits.Any())
        return "허용 범위: 지정 안 됨";
    auto one = [&](const std::optional<double>& limit) {
        return limit ? FormatLimit(limit) + " " + ForceUnitText(unit) : std::string("-");
    };
    return "허용 범위: 하한 " + one(limits.lower) + ", 상한 " + one(limits.upper);
}
