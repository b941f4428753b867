#include "StatsTypes.h"

#include <charconv>
#include <cmath>
#include <cstdio>

const char* StatMissingText(EStatMissing why)
{
    switch (why) {
    case EStatMissing::None: return "";
    case EStatMissing::NoRows: return "데이터 없음";
    case EStatMissing::OneRow: return "2건 이상 필요";
    case EStatMissing::ZeroDeviation: return "편차 0";
    case EStatMissing::NoLimits: return "-";
    case EStatMissing::NeedBothLimits: return "상·하한 필요";
    }
    return "-";
}

std::string FormatStatValue(const StatValue& value, int decimals, const char* suffix)
{
    if (!value.Exists() || !std::isfinite(value.dValue))
        return value.Exists() ? std::string("-") : std::string(StatMissingText(value.eMissing));
    if (decimals < 0)
        decimals = 0;
    if (decimals > 9)
        decimals = 9;
    char text[64];
    // -0.0 after rounding would read "-0.0"; a statistic shows it as 0.
    double shown = value.dValue;
    std::snprintf(text, sizeof text, "%.*f", decimals, shown);
    if (text[0] == '-') {
        bool allZero = true;
        for (const char* p = text + 1; *p; ++p)
            if (*p != '0' && *p != '.')
                allZero = false;
        if (allZero)
            std::snprintf(text, sizeof text, "%.*f", decimals, 0.0);
    }
    std::string out(text);
    if (suffix)
        out += suffix;
    return out;
}

std::string CheckToleranceLimits(const ToleranceLimits& limits)
{
    if (limits.lower && !std::isfinite(*limits.lower))
        return "하한이 올바른 숫자가 아닙니다";
    if (limits.upper && !std::isfinite(*limits.upper))
        return "상한이 올바른 숫자가 아닙니다";
    if (limits.Both() && *limits.lower > *limits.upper)
        return "하한이 상한보다 큽니다";
    return {};
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Absent for blank text; false when the text is not one whole finite number.
bool ReadLimit(const std::string& text, std::optional<double>& out)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    out.reset();
    if (begin == end)
        return true;
    const char* first = text.data() + begin;
    const char* last = text.data() + end;
    if (*first == '+')
        ++first;
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    // from_chars also takes "inf" and "nan"; a limit must be a finite number.
    if (ec != std::errc() || ptr != last || !std::isfinite(value))
        return false;
    out = value;
    return true;
}

} // namespace

std::string ParseToleranceLimits(const std::string& lowerText, const std::string& upperText,
                                 ToleranceLimits& limits)
{
    ToleranceLimits read;
    if (!ReadLimit(lowerText, read.lower))
        return "하한이 숫자가 아닙니다";
    if (!ReadLimit(upperText, read.upper))
        return "상한이 숫자가 아닙니다";
    std::string error = CheckToleranceLimits(read);
    if (error.empty())
        limits = read;
    return error;
}

std::string FormatLimit(const std::optional<double>& limit)
{
    if (!limit)
        return {};
    // The shortest text that reads back to the same number.
    char text[64];
    auto [ptr, ec] = std::to_chars(text, text + sizeof text, *limit, std::chars_format::fixed);
    if (ec != std::errc())
        return {};
    return std::string(text, ptr);
}
