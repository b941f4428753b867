#include "OutputSummaryCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// One measurement step, plus room for the binary fractions of 0.1.
constexpr double kRoundingKn = 0.1 + 1e-9;
} // namespace

bool OutputSummaryCheck::AllAgree() const
{
    if (!bCountAgrees)
        return false;
    for (const SummaryFieldCheck& field : fields)
        if (!field.bAgrees)
            return false;
    return true;
}

std::vector<std::string> OutputSummaryCheck::Differences() const
{
    std::vector<std::string> lines;
    char text[160];
    if (!bCountAgrees) {
        std::snprintf(text, sizeof text, "측정횟수: 장비 %d, 받은 데이터 %lld", nMeterCount,
                      static_cast<long long>(nRows));
        lines.push_back(text);
    }
    for (const SummaryFieldCheck& field : fields) {
        if (field.bAgrees)
            continue;
        std::snprintf(text, sizeof text, "%s: 장비 %s, 계산 %.2f KN", field.pszName,
                      FormatSummaryForce(field.nMeter).c_str(), field.dComputed);
        lines.push_back(text);
    }
    return lines;
}

OutputSummaryCheck CheckOutputSummary(const OutputSummary& meter, const std::vector<double>& valuesKn)
{
    OutputSummaryCheck check;
    check.nMeterCount = meter.nCount;
    check.fields[0].pszName = "평균";
    check.fields[0].nMeter = meter.nAverage;
    check.fields[1].pszName = "최소";
    check.fields[1].nMeter = meter.nMinimum;
    check.fields[2].pszName = "최대";
    check.fields[2].nMeter = meter.nMaximum;

    double sum = 0.0;
    double low = 0.0;
    double high = 0.0;
    int64_t n = 0;
    for (double v : valuesKn) {
        if (!std::isfinite(v))
            continue;
        low = n == 0 ? v : std::min(low, v);
        high = n == 0 ? v : std::max(high, v);
        sum += v;
        ++n;
    }
    check.nRows = n;
    check.bCountAgrees = n == meter.nCount;
    check.bHasRows = n > 0;
    if (n == 0)
        return check;
    check.fields[0].dComputed = sum / static_cast<double>(n);
    check.fields[1].dComputed = low;
    check.fields[2].dComputed = high;
    for (SummaryFieldCheck& field : check.fields)
        field.bAgrees = std::fabs(field.nMeter / 100.0 - field.dComputed) <= kRoundingKn;
    return check;
}
