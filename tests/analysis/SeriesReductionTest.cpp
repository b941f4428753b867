#include "OutputSummaryCheck.h"
#include "SeriesReduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Independent check: every column's min and max y must appear among the kept
// points, the kept indices must ascend, and no more than two per column.
void ExpectColumnExtremesKept(const std::vector<double>& x, const std::vector<double>& y, double x0, double x1,
                              int columns)
{
    const std::vector<size_t> kept = ReduceToColumns(x.data(), y.data(), x.size(), x0, x1, columns);
    for (size_t k = 1; k < kept.size(); ++k)
        ASSERT_LT(kept[k - 1], kept[k]);
    std::vector<double> lo(columns, INFINITY), hi(columns, -INFINITY), keptLo(columns, INFINITY),
        keptHi(columns, -INFINITY);
    std::vector<int> perColumn(columns, 0);
    auto col = [&](double xv) { return std::min(columns - 1, int((xv - x0) / (x1 - x0) * columns)); };
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i] < x0 || x[i] > x1)
            continue;
        lo[col(x[i])] = std::min(lo[col(x[i])], y[i]);
        hi[col(x[i])] = std::max(hi[col(x[i])], y[i]);
    }
    for (size_t i : kept) {
        if (x[i] < x0 || x[i] > x1)
            continue;
        keptLo[col(x[i])] = std::min(keptLo[col(x[i])], y[i]);
        keptHi[col(x[i])] = std::max(keptHi[col(x[i])], y[i]);
        ++perColumn[col(x[i])];
    }
    for (int c = 0; c < columns; ++c) {
        EXPECT_EQ(lo[c], keptLo[c]) << "column " << c;
        EXPECT_EQ(hi[c], keptHi[c]) << "column " << c;
        EXPECT_LE(perColumn[c], 2) << "column " << c;
    }
}

} // namespace

TEST(SeriesReduction, KeepsEveryColumnsExtremes)
{
    std::vector<double> x, y;
    uint32_t seed = 7;
    for (int i = 0; i < 100000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        x.push_back(i * 0.37);
        y.push_back(double(seed >> 8) / 1e5 + (i == 54321 ? 1e6 : 0.0)); // one lone spike
    }
    ExpectColumnExtremesKept(x, y, 0.0, x.back(), 800);
    ExpectColumnExtremesKept(x, y, 1000.0, 1500.0, 333); // a zoomed range
    const std::vector<size_t> all = ReduceToColumns(x.data(), y.data(), x.size(), 0.0, x.back(), 800);
    EXPECT_LE(all.size(), 2u * 800 + 2);
    bool spike = false;
    for (size_t i : all)
        spike |= i == 54321;
    EXPECT_TRUE(spike);
}

TEST(SeriesReduction, EdgesAndOddInput)
{
    const std::vector<double> x = {0, 1, 2, 3, 4, 5}, y = {1, 2, NAN, 4, 5, 6};
    // The range 2..3 keeps its point and the nearest numbers outside it.
    EXPECT_EQ(ReduceToColumns(x.data(), y.data(), 6, 2.0, 3.0, 10), (std::vector<size_t>{1, 3, 4}));
    EXPECT_TRUE(ReduceToColumns(x.data(), y.data(), 6, 3.0, 2.0, 10).empty());
    EXPECT_TRUE(ReduceToColumns(x.data(), y.data(), 0, 0.0, 1.0, 10).empty());
    // Every point at one time: a zero-width range still keeps the extremes.
    const std::vector<double> sx = {5, 5, 5, 5, 5}, sy = {3, 9, 1, 4, 2};
    EXPECT_EQ(ReduceToColumns(sx.data(), sy.data(), 5, 5.0, 5.0, 0), (std::vector<size_t>{1, 2}));
}

TEST(OutputSummaryCheck, RoundingAgreesAndRealDifferencesAreShown)
{
    OutputSummary meter;
    meter.nCount = 3;
    meter.nAverage = 2005;  // 20.05 kN against 20.0 computed: within a step
    meter.nMinimum = 1000;
    meter.nMaximum = 3000;
    OutputSummaryCheck ok = CheckOutputSummary(meter, {10.0, 20.0, 30.0});
    EXPECT_TRUE(ok.AllAgree());
    EXPECT_TRUE(ok.Differences().empty());

    meter.nAverage = 2150;  // 21.5 kN: beyond rounding
    meter.nCount = 4;
    OutputSummaryCheck bad = CheckOutputSummary(meter, {10.0, 20.0, 30.0});
    EXPECT_FALSE(bad.AllAgree());
    const std::vector<std::string> lines = bad.Differences();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "측정횟수: 장비 4, 받은 데이터 3");
    EXPECT_EQ(lines[1], "평균: 장비 21.5 KN, 계산 20.00 KN");

    meter.nCount = 0;
    OutputSummaryCheck none = CheckOutputSummary(meter, {});
    EXPECT_TRUE(none.AllAgree());
    EXPECT_FALSE(none.bHasRows);
}
