#pragma once
// Count, mean, minimum, maximum, range and sample standard deviation of a set
// of force values, per load-cell type and in total, and how many of them lie
// inside the tolerance limits, with Cp and Cpk when both limits are given.
//
// Rows are summed as differences from the group's running mean, and every
// few thousand rows the block is folded into the group with Chan's pairwise
// update, so a million values near 500 t keep their deviation to the last
// digit without a division per row; the total is the exact merge of the
// per-type groups. The unit is the caller's: tons for stored records,
// kN for the continuous series.

#include "StatsTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct GroupStats {
    enum : int { TOTAL = -1 };
    int nLoadCellType = TOTAL; // TOTAL for the block over every type
    int64_t nCount = 0;
    StatValue mean;
    StatValue minimum;
    StatValue maximum;
    StatValue range;
    StatValue deviation; // sample standard deviation (n - 1)

    // Against the tolerance limits (NoLimits when none was given).
    int64_t nInside = 0;
    int64_t nBelow = 0;
    int64_t nAbove = 0;
    StatValue insideShare; // percent of nCount
    StatValue cp;          // (upper - lower) / 6s
    StatValue cpk;         // min(upper - mean, mean - lower) / 3s
};

class CMeasurementStats {
public:
    CMeasurementStats() = default;
    // The limits must pass CheckToleranceLimits; refused limits count as none
    // (LimitsError says why).
    explicit CMeasurementStats(const ToleranceLimits& limits);

    // NaN and infinite values are not measurements: they are counted in
    // Skipped and left out of every statistic.
    void Add(double value, int loadCellType);
    void Clear();

    const ToleranceLimits& Limits() const { return m_limits; }
    const std::string& LimitsError() const { return m_strLimitsError; }
    int64_t Skipped() const { return m_nSkipped; }

    GroupStats Total() const;
    // A type that had no row gives a block with nCount 0.
    GroupStats ForType(int loadCellType) const;
    // The types that had rows, in ascending order.
    std::vector<int> Types() const;
    // One block per type in ascending order, then the total.
    std::vector<GroupStats> All() const;

private:
    struct Group {
        int nType = 0;
        int64_t nCount = 0;
        double dMean = 0.0;
        double dM2 = 0.0; // sum of squared differences from the mean
        double dMin = 0.0;
        double dMax = 0.0;
        int64_t nBelow = 0;
        int64_t nAbove = 0;
        // The open block: sums of (value - dShift) over nPending rows.
        double dShift = 0.0;
        double dSum = 0.0;
        double dSumSq = 0.0;
        int64_t nPending = 0;
    };
    Group* GroupOf(int type);
    static void Flush(Group& group);
    static void Merge(Group& into, const Group& from);
    GroupStats Finish(const Group& group, int type) const;

    ToleranceLimits m_limits;
    std::string m_strLimitsError;
    std::vector<Group> m_groups; // few types: a linear search beats a map
    size_t m_nLastGroup = 0;
    int64_t m_nSkipped = 0;
};
