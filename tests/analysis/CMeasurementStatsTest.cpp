#include "CMeasurementStats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

CMeasurementStats StatsOf(std::initializer_list<double> values, const ToleranceLimits& limits = {}, int type = 0)
{
    CMeasurementStats stats(limits);
    for (double v : values)
        stats.Add(v, type);
    return stats;
}

ToleranceLimits Limits(std::optional<double> lower, std::optional<double> upper)
{
    ToleranceLimits limits;
    limits.lower = lower;
    limits.upper = upper;
    return limits;
}

} // namespace

// Values worked out by hand: mean 5, squared differences 32, s = sqrt(32/7).
TEST(MeasurementStats, KnownSetWithBothLimits)
{
    const GroupStats s = StatsOf({2, 4, 4, 4, 5, 5, 7, 9}, Limits(3.0, 8.0)).Total();
    EXPECT_EQ(s.nCount, 8);
    EXPECT_DOUBLE_EQ(s.mean.dValue, 5.0);
    EXPECT_DOUBLE_EQ(s.minimum.dValue, 2.0);
    EXPECT_DOUBLE_EQ(s.maximum.dValue, 9.0);
    EXPECT_DOUBLE_EQ(s.range.dValue, 7.0);
    EXPECT_NEAR(s.deviation.dValue, 2.1380899352993950, 1e-12);
    EXPECT_EQ(s.nInside, 6);
    EXPECT_EQ(s.nBelow, 1);
    EXPECT_EQ(s.nAbove, 1);
    EXPECT_DOUBLE_EQ(s.insideShare.dValue, 75.0);
    EXPECT_NEAR(s.cp.dValue, 5.0 / (6 * 2.1380899352993950), 1e-12);
    EXPECT_NEAR(s.cpk.dValue, 2.0 / (3 * 2.1380899352993950), 1e-12);
}

TEST(MeasurementStats, LimitsAreInclusiveAndMayBeOneSided)
{
    EXPECT_EQ(StatsOf({3, 8}, Limits(3.0, 8.0)).Total().nInside, 2);

    const GroupStats lowerOnly = StatsOf({1, 2, 3}, Limits(2.0, std::nullopt)).Total();
    EXPECT_EQ(lowerOnly.nInside, 2);
    EXPECT_EQ(lowerOnly.nBelow, 1);
    EXPECT_EQ(lowerOnly.cp.eMissing, EStatMissing::NeedBothLimits);

    const GroupStats upperOnly = StatsOf({1, 2, 3}, Limits(std::nullopt, 1.5)).Total();
    EXPECT_EQ(upperOnly.nInside, 1);
    EXPECT_EQ(upperOnly.nAbove, 2);

    const GroupStats none = StatsOf({1, 2, 3}).Total();
    EXPECT_EQ(none.insideShare.eMissing, EStatMissing::NoLimits);
    EXPECT_EQ(FormatStatValue(none.cpk, 2), "-");
}

TEST(MeasurementStats, MissingValuesCarryTheirReason)
{
    const GroupStats empty = StatsOf({}, Limits(1.0, 2.0)).Total();
    EXPECT_EQ(empty.nCount, 0);
    EXPECT_EQ(empty.mean.eMissing, EStatMissing::NoRows);
    EXPECT_EQ(empty.insideShare.eMissing, EStatMissing::NoRows);
    EXPECT_EQ(FormatStatValue(empty.mean, 1), "데이터 없음");

    const GroupStats one = StatsOf({4.5}, Limits(1.0, 5.0)).Total();
    EXPECT_DOUBLE_EQ(one.mean.dValue, 4.5);
    EXPECT_DOUBLE_EQ(one.range.dValue, 0.0);
    EXPECT_EQ(one.deviation.eMissing, EStatMissing::OneRow);
    EXPECT_EQ(one.cp.eMissing, EStatMissing::OneRow);
    EXPECT_DOUBLE_EQ(one.insideShare.dValue, 100.0);

    const GroupStats same = StatsOf({12.3, 12.3, 12.3, 12.3}, Limits(12.0, 13.0)).Total();
    EXPECT_DOUBLE_EQ(same.mean.dValue, 12.3);
    EXPECT_DOUBLE_EQ(same.deviation.dValue, 0.0);
    EXPECT_EQ(same.cp.eMissing, EStatMissing::ZeroDeviation);
    EXPECT_EQ(same.cpk.eMissing, EStatMissing::ZeroDeviation);
    for (EStatMissing why : {EStatMissing::NoRows, EStatMissing::OneRow, EStatMissing::ZeroDeviation,
                             EStatMissing::NeedBothLimits})
        EXPECT_STRNE(StatMissingText(why), "");
}

// The textbook case where the one-pass sum of squares loses every digit.
TEST(MeasurementStats, LargeOffsetKeepsTheDeviation)
{
    const GroupStats s = StatsOf({1e9 + 4, 1e9 + 7, 1e9 + 13, 1e9 + 16}).Total();
    EXPECT_DOUBLE_EQ(s.mean.dValue, 1e9 + 10);
    EXPECT_NEAR(s.deviation.dValue, std::sqrt(30.0), 1e-9);

    // Long enough to fold many blocks: +-0.1 around a million.
    CMeasurementStats many;
    const int n = 20001;
    for (int i = 0; i < n; ++i)
        many.Add(i == n - 1 ? 1e6 : (i % 2 ? 1e6 + 0.1 : 1e6 - 0.1), 1);
    const GroupStats m = many.Total();
    EXPECT_NEAR(m.mean.dValue, 1e6, 1e-9);
    EXPECT_NEAR(m.deviation.dValue, 0.1, 1e-8); // 20000 squares of 0.1 over n - 1
}

TEST(MeasurementStats, TotalIsTheMergeOfTheTypes)
{
    CMeasurementStats stats(Limits(3.0, 8.0));
    const double values[] = {2, 4, 4, 4, 5, 5, 7, 9};
    const int types[] = {2, 0, 2, 1, 0, 0, 2, 1};
    for (int i = 0; i < 8; ++i)
        stats.Add(values[i], types[i]);
    stats.Add(std::numeric_limits<double>::quiet_NaN(), 0);

    EXPECT_EQ(stats.Skipped(), 1);
    EXPECT_EQ(stats.Types(), (std::vector<int>{0, 1, 2}));
    const GroupStats total = stats.Total();
    EXPECT_EQ(total.nCount, 8);
    EXPECT_DOUBLE_EQ(total.mean.dValue, 5.0);
    EXPECT_NEAR(total.deviation.dValue, 2.1380899352993950, 1e-12);
    EXPECT_EQ(total.nInside, 6);

    const GroupStats type2 = stats.ForType(2); // 2, 4, 7
    EXPECT_EQ(type2.nCount, 3);
    EXPECT_NEAR(type2.mean.dValue, 13.0 / 3, 1e-12);
    EXPECT_NEAR(type2.deviation.dValue, std::sqrt(12.666666666666666 / 2), 1e-12);
    EXPECT_EQ(type2.nBelow, 1);
    EXPECT_EQ(stats.ForType(7).nCount, 0);

    const std::vector<GroupStats> all = stats.All();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all.back().nLoadCellType, GroupStats::TOTAL);
}

TEST(ToleranceLimitsText, ParsesOrRefusesWithAReason)
{
    ToleranceLimits limits;
    EXPECT_EQ(ParseToleranceLimits(" 12.5 ", "+13", limits), "");
    EXPECT_DOUBLE_EQ(*limits.lower, 12.5);
    EXPECT_DOUBLE_EQ(*limits.upper, 13.0);

    EXPECT_EQ(ParseToleranceLimits("", "  ", limits), "");
    EXPECT_FALSE(limits.Any());

    limits.lower = 1.0;
    for (const char* bad : {"abc", "12,5", "1.2.3", "nan", "inf", "5 t", "-"}) {
        EXPECT_FALSE(ParseToleranceLimits(bad, "", limits).empty()) << bad;
        EXPECT_FALSE(ParseToleranceLimits("", bad, limits).empty()) << bad;
    }
    EXPECT_DOUBLE_EQ(*limits.lower, 1.0) << "a refused text must leave the limits alone";

    EXPECT_EQ(ParseToleranceLimits("9", "8", limits), "하한이 상한보다 큽니다");
    EXPECT_EQ(ParseToleranceLimits("8", "8", limits), "");

    CMeasurementStats refused(Limits(std::numeric_limits<double>::quiet_NaN(), 2.0));
    EXPECT_FALSE(refused.LimitsError().empty());
    EXPECT_FALSE(refused.Limits().Any());

    EXPECT_EQ(FormatLimit(12.5), "12.5");
    EXPECT_EQ(FormatLimit(std::nullopt), "");
}

TEST(StatValueText, FormatsNumbersWithoutNegativeZero)
{
    EXPECT_EQ(FormatStatValue(StatValue::Of(12.345), 2, " t"), "12.35 t");
    EXPECT_EQ(FormatStatValue(StatValue::Of(-0.0001), 1), "0.0");
    EXPECT_EQ(FormatStatValue(StatValue::Of(std::numeric_limits<double>::quiet_NaN()), 1), "-");
}
