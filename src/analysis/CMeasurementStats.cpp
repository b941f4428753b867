#include "CMeasurementStats.h"

#include <algorithm>
#include <cmath>

CMeasurementStats::CMeasurementStats(const ToleranceLimits& limits)
{
    m_strLimitsError = CheckToleranceLimits(limits);
    if (m_strLimitsError.empty())
        m_limits = limits;
}

CMeasurementStats::Group* CMeasurementStats::GroupOf(int type)
{
    // Rows of one type usually come in runs, so the last group hit is tried first.
    if (m_nLastGroup < m_groups.size() && m_groups[m_nLastGroup].nType == type)
        return &m_groups[m_nLastGroup];
    for (size_t i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].nType == type) {
            m_nLastGroup = i;
            return &m_groups[i];
        }
    }
    Group group;
    group.nType = type;
    m_groups.push_back(group);
    m_nLastGroup = m_groups.size() - 1;
    return &m_groups.back();
}

void CMeasurementStats::Add(double value, int loadCellType)
{
    if (!std::isfinite(value)) {
        ++m_nSkipped;
        return;
    }
    Group& group = *GroupOf(loadCellType);
    if (group.nCount + group.nPending == 0) {
        group.dMin = group.dMax = value;
        group.dShift = value;
    } else {
        group.dMin = std::min(group.dMin, value);
        group.dMax = std::max(group.dMax, value);
    }
    const double d = value - group.dShift;
    group.dSum += d;
    group.dSumSq += d * d;
    // Short blocks at first, so the shift soon sits at the mean.
    if (++group.nPending >= (group.nCount < 4096 ? 16 : 4096))
        Flush(group);
    if (m_limits.lower && value < *m_limits.lower)
        ++group.nBelow;
    else if (m_limits.upper && value > *m_limits.upper)
        ++group.nAbove;
}

void CMeasurementStats::Clear()
{
    m_groups.clear();
    m_nLastGroup = 0;
    m_nSkipped = 0;
}

// Folds the open block into the group. The block's differences are taken
// from a value near the mean, so sum of squares minus square of sum loses
// next to nothing; the next block is taken from the new mean.
void CMeasurementStats::Flush(Group& group)
{
    if (group.nPending == 0)
        return;
    Group block;
    block.nCount = group.nPending;
    const double p = static_cast<double>(group.nPending);
    const double blockMean = group.dSum / p;
    block.dMean = group.dShift + blockMean;
    block.dM2 = std::max(0.0, group.dSumSq - group.dSum * blockMean);
    block.dMin = group.dMin;
    block.dMax = group.dMax;
    const int64_t below = group.nBelow;
    const int64_t above = group.nAbove;
    group.nBelow = group.nAbove = 0;
    group.nPending = 0;
    group.dSum = group.dSumSq = 0.0;
    Merge(group, block);
    group.nBelow = below;
    group.nAbove = above;
    group.dShift = group.dMean;
}

// Chan's pairwise combination of two groups' means and squared differences.
void CMeasurementStats::Merge(Group& into, const Group& from)
{
    if (from.nCount == 0)
        return;
    if (into.nCount == 0) {
        const int type = into.nType;
        into = from;
        into.nType = type;
        return;
    }
    const double na = static_cast<double>(into.nCount);
    const double nb = static_cast<double>(from.nCount);
    const double n = na + nb;
    const double delta = from.dMean - into.dMean;
    into.dMean += delta * (nb / n);
    into.dM2 += from.dM2 + delta * delta * (na * nb / n);
    into.dMin = std::min(into.dMin, from.dMin);
    into.dMax = std::max(into.dMax, from.dMax);
    into.nCount += from.nCount;
    into.nBelow += from.nBelow;
    into.nAbove += from.nAbove;
}

GroupStats CMeasurementStats::Finish(const Group& open, int type) const
{
    Group group = open;
    Flush(group);
    GroupStats out;
    out.nLoadCellType = type;
    out.nCount = group.nCount;

    const int64_t n = group.nCount;
    if (n == 0) {
        out.mean = out.minimum = out.maximum = out.range = out.deviation
            = StatValue::Missing(EStatMissing::NoRows);
    } else {
        out.mean = StatValue::Of(group.dMean);
        out.minimum = StatValue::Of(group.dMin);
        out.maximum = StatValue::Of(group.dMax);
        out.range = StatValue::Of(group.dMax - group.dMin);
        if (n == 1)
            out.deviation = StatValue::Missing(EStatMissing::OneRow);
        else
            out.deviation = StatValue::Of(std::sqrt(std::max(0.0, group.dM2) / static_cast<double>(n - 1)));
    }

    if (!m_limits.Any()) {
        out.insideShare = out.cp = out.cpk = StatValue::Missing(EStatMissing::NoLimits);
        return out;
    }
    out.nBelow = group.nBelow;
    out.nAbove = group.nAbove;
    out.nInside = n - group.nBelow - group.nAbove;
    out.insideShare = n == 0 ? StatValue::Missing(EStatMissing::NoRows)
                             : StatValue::Of(100.0 * static_cast<double>(out.nInside) / static_cast<double>(n));

    if (!m_limits.Both()) {
        out.cp = out.cpk = StatValue::Missing(EStatMissing::NeedBothLimits);
    } else if (!out.deviation.Exists()) {
        out.cp = out.cpk = StatValue::Missing(out.deviation.eMissing);
    } else if (out.deviation.dValue <= 0.0) {
        out.cp = out.cpk = StatValue::Missing(EStatMissing::ZeroDeviation);
    } else {
        const double s = out.deviation.dValue;
        const double lower = *m_limits.lower;
        const double upper = *m_limits.upper;
        out.cp = StatValue::Of((upper - lower) / (6.0 * s));
        out.cpk = StatValue::Of(std::min(upper - group.dMean, group.dMean - lower) / (3.0 * s));
    }
    return out;
}

GroupStats CMeasurementStats::Total() const
{
    // Merging in type order makes the total independent of the order in
    // which the types first appeared.
    std::vector<const Group*> order;
    for (const Group& group : m_groups)
        order.push_back(&group);
    std::sort(order.begin(), order.end(), [](const Group* a, const Group* b) { return a->nType < b->nType; });
    Group total;
    for (const Group* group : order) {
        Group closed = *group;
        Flush(closed);
        Merge(total, closed);
    }
    return Finish(total, GroupStats::TOTAL);
}

GroupStats CMeasurementStats::ForType(int loadCellType) const
{
    for (const Group& group : m_groups)
        if (group.nType == loadCellType)
            return Finish(group, loadCellType);
    Group empty;
    empty.nType = loadCellType;
    return Finish(empty, loadCellType);
}

std::vector<int> CMeasurementStats::Types() const
{
    std::vector<int> types;
    for (const Group& group : m_groups)
        types.push_back(group.nType);
    std::sort(types.begin(), types.end());
    return types;
}

std::vector<GroupStats> CMeasurementStats::All() const
{
    std::vector<GroupStats> all;
    for (int type : Types())
        all.push_back(ForType(type));
    all.push_back(Total());
    return all;
}
