// The certificate numbers of one load-cell size and the clock drift text.

#include "CCalibrationFit.h"
#include "ClockDrift.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

CalibrationRecord Record(uint32_t p0, uint32_t p1, uint32_t p2, uint32_t p3)
{
    CalibrationRecord record;
    record.nPoints[0] = p0;
    record.nPoints[1] = p1;
    record.nPoints[2] = p2;
    record.nPoints[3] = p3;
    record.nCorrections[0] = 12;
    record.nCorrections[1] = -5;
    record.nCorrections[2] = 0;
    return record;
}

} // namespace

// 7 t: forces x = 0, 30, 50, 65 kN; values y = 1000 + 1000·x with point 2
// raised by 500: 1000, 31000, 51500, 66000.
//   mean x = 145 / 4 = 36.25          mean y = 149500 / 4 = 37375
//   dx = -36.25, -6.25, 13.75, 28.75  Sxx = 2368.75
//   Sxy = 1000·Sxx + 500·13.75 = 2375625
//   slope = 2375625 / 2368.75 = 380100 / 379 = 1002.902375
//   intercept = 37375 − slope·36.25 = 386500 / 379 = 1019.788918
//   line at 50 kN = 19391500 / 379 = 51164.9077; point 2 lies 127000 / 379 above
//   full-scale span = slope·65 = 24706500 / 379
//   deviation of point 2 = 127000 / 24706500 = 0.514035 % (the largest)
//   point 0: (1000 − 386500/379) / span = −7500 / 24706500 = −0.030356 %
TEST(CalibrationFit, LineAndDeviationsMatchTheHandComputation)
{
    const CCalibrationFit fit = CCalibrationFit::Compute(LOADCELL_7T, Record(1000, 31000, 51500, 66000));
    ASSERT_TRUE(fit.IsValid()) << fit.Reason();
    EXPECT_NEAR(fit.m_dSlope, 380100.0 / 379.0, 1e-9);
    EXPECT_NEAR(fit.m_dIntercept, 386500.0 / 379.0, 1e-8);
    EXPECT_NEAR(fit.m_dFitted[2], 19391500.0 / 379.0, 1e-7);
    EXPECT_NEAR(fit.m_dDeviationPercent[2], 127000.0 / 24706500.0 * 100.0, 1e-9);
    EXPECT_NEAR(fit.m_dDeviationPercent[0], -7500.0 / 24706500.0 * 100.0, 1e-9);
    EXPECT_NEAR(fit.m_dMaxDeviationPercent, 0.514035, 1e-6);
    EXPECT_EQ(fit.m_nMaxDeviationPoint, 2);
    // Deviations around a least-squares line add up to nothing.
    EXPECT_NEAR(fit.m_dDeviationPercent[0] + fit.m_dDeviationPercent[1] + fit.m_dDeviationPercent[2]
                    + fit.m_dDeviationPercent[3],
                0.0, 1e-9);
    EXPECT_EQ(fit.m_record.nCorrections[1], -5);
}

// 30 t: x = 0, 160, 220, 280; y = 500 + 20·x exactly: a perfect line, and the
// 24-bit top of the range does not overflow.
TEST(CalibrationFit, ExactLineAndLargeValuesAndEdgeSizes)
{
    const CCalibrationFit fit = CCalibrationFit::Compute(LOADCELL_30T, Record(500, 3700, 4900, 6100));
    ASSERT_TRUE(fit.IsValid());
    EXPECT_NEAR(fit.m_dSlope, 20.0, 1e-12);
    EXPECT_NEAR(fit.m_dIntercept, 500.0, 1e-9);
    EXPECT_NEAR(fit.m_dMaxDeviationPercent, 0.0, 1e-9);

    // 15 t, falling values (a load cell wired the other way round): still a
    // line, deviations measured against the span's size.
    const CCalibrationFit falling = CCalibrationFit::Compute(LOADCELL_15T, Record(16777215, 16777215 - 80 * 1000,
                                                                                 16777215 - 110 * 1000,
                                                                                 16777215 - 140 * 1000));
    ASSERT_TRUE(falling.IsValid());
    EXPECT_NEAR(falling.m_dSlope, -1000.0, 1e-6);
    EXPECT_NEAR(falling.m_dMaxDeviationPercent, 0.0, 1e-6);

    // Every point the same (nothing recorded yet): no line, a reason.
    const CCalibrationFit flat = CCalibrationFit::Compute(LOADCELL_7T, Record(0, 0, 0, 0));
    EXPECT_FALSE(flat.IsValid());
    EXPECT_FALSE(flat.Reason().empty());
    EXPECT_EQ(flat.m_dMaxDeviationPercent, 0.0);

    EXPECT_FALSE(CCalibrationFit::Compute(static_cast<LoadCellSize>(3), Record(1, 2, 3, 4)).IsValid());
}

TEST(CalibrationFit, LabelsAndFullScaleFollowTheSize)
{
    EXPECT_EQ(CCalibrationFit::PointLabel(LOADCELL_7T, 0), "0 KN");
    EXPECT_EQ(CCalibrationFit::PointLabel(LOADCELL_15T, 2), "110 KN");
    EXPECT_EQ(CCalibrationFit::CorrectionLabel(LOADCELL_30T, 0), "160 KN 보정 값");
    EXPECT_EQ(CCalibrationFit::CorrectionLabel(LOADCELL_7T, 2), "65 KN 보정 값");
    EXPECT_EQ(CCalibrationFit::FullScaleKn(LOADCELL_15T), 140);
    EXPECT_EQ(CCalibrationFit::SizeName(LOADCELL_30T), "30톤");
    EXPECT_EQ(CCalibrationFit::NominalLoadKn(LOADCELL_7T, 4), 0);
}

TEST(ClockDrift, TextKeepsTheTwoLargestUnits)
{
    EXPECT_EQ(FormatClockDrift(0), "0초");
    EXPECT_EQ(FormatClockDrift(-45), "-45초");
    EXPECT_EQ(FormatClockDrift(59), "+59초");
    EXPECT_EQ(FormatClockDrift(60), "+1분 00초");
    EXPECT_EQ(FormatClockDrift(190), "+3분 10초");
    EXPECT_EQ(FormatClockDrift(-725), "-12분 05초");
    EXPECT_EQ(FormatClockDrift(3600 + 2 * 60 + 59), "+1시간 02분");   // seconds cut, not rounded
    EXPECT_EQ(FormatClockDrift(-(23 * 3600 + 59 * 60 + 59)), "-23시간 59분");
    EXPECT_EQ(FormatClockDrift(400 * 86400 + 3 * 3600 + 7), "+400일 03시간");
    // A meter whose clock was never set is decades off; the extremes still print.
    EXPECT_EQ(FormatClockDrift(std::numeric_limits<int64_t>::min()).substr(0, 1), "-");
    EXPECT_NE(FormatClockDrift(std::numeric_limits<int64_t>::max()).find("일"), std::string::npos);
}

TEST(ClockDrift, FromTheMeterClockRecord)
{
    const MeterDateTime meter{2026, 12, 7, 10, 3, 10};
    int64_t pc = 0;
    ASSERT_TRUE(MeterDateTimeToTime({2026, 12, 7, 10, 0, 0}, &pc));
    int64_t drift = 0;
    ASSERT_TRUE(MeterClockDrift(meter, pc, &drift));
    EXPECT_EQ(FormatClockDrift(drift), "+3분 10초");
    // A clock never set (year 1970) or fields that make no time: no drift.
    drift = 42;
    EXPECT_FALSE(MeterClockDrift({1970, 1, 1, 0, 0, 0}, pc, &drift));
    EXPECT_FALSE(MeterClockDrift({2026, 13, 1, 0, 0, 0}, pc, &drift));
    EXPECT_EQ(drift, 42);
}

TEST(ClockDrift, LimitIsExclusiveInBothDirections)
{
    EXPECT_FALSE(IsClockDriftTooLarge(60));
    EXPECT_FALSE(IsClockDriftTooLarge(-60));
    EXPECT_TRUE(IsClockDriftTooLarge(61));
    EXPECT_TRUE(IsClockDriftTooLarge(-61));
    EXPECT_TRUE(IsClockDriftTooLarge(11, 10));
    EXPECT_FALSE(IsClockDriftTooLarge(59, 0));   // not positive: the default 60 s
    EXPECT_TRUE(IsClockDriftTooLarge(std::numeric_limits<int64_t>::min(), 3600));
}
