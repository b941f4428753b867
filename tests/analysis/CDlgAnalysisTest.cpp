// The analysis window on the offscreen platform: bad input gets a reason,
// never a NaN; the chart hands Qt Charts only the reduced points and re-reduces
// on zoom; the meter's summary check is shown; limits go out through the callback.

#include "CDlgAnalysis.h"
#include "CForceChart.h"
#include "CStatsView.h"

#include <QApplication>
#include <QLineEdit>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QDateTimeAxis>

#include <gtest/gtest.h>

namespace {

AnalysisData Rows(int n, EForceUnit unit = EForceUnit::Tons)
{
    AnalysisData data;
    data.eUnit = unit;
    for (int i = 0; i < n; ++i)
        data.rows.push_back({1764000000 + i * 10, true, 10.0 + (i % 100) / 10.0, i % 3, true});
    return data;
}

bool AnyNan(const CStatsView& view)
{
    for (int r = 0; r < view.RowCount(); ++r)
        for (int c = 0; c < 12; ++c)
            if (view.CellText(r, c).contains("nan", Qt::CaseInsensitive)
                || view.CellText(r, c).contains("inf", Qt::CaseInsensitive))
                return true;
    return false;
}

} // namespace

TEST(DlgAnalysis, BadLimitsAndTinyDataShowReasons)
{
    AnalysisData data = Rows(1);
    std::vector<ToleranceLimits> given;
    data.onLimitsChanged = [&](const ToleranceLimits& limits) { given.push_back(limits); };
    CDlgAnalysis dialog(data);
    CStatsView& stats = *dialog.Stats();
    ASSERT_EQ(stats.RowCount(), 2); // VR70 and the total
    EXPECT_EQ(stats.CellText(1, 6), QString::fromUtf8("2건 이상 필요"));
    EXPECT_EQ(stats.CellText(1, 10), "-");

    stats.LowerEdit()->setText("abc");
    EXPECT_FALSE(stats.ApplyTypedLimits());
    EXPECT_EQ(stats.LimitsMessage(), QString::fromUtf8("하한이 숫자가 아닙니다"));
    stats.LowerEdit()->setText("12");
    stats.UpperEdit()->setText("11");
    EXPECT_FALSE(stats.ApplyTypedLimits());
    EXPECT_EQ(stats.LimitsMessage(), QString::fromUtf8("하한이 상한보다 큽니다"));
    EXPECT_TRUE(given.empty());

    stats.UpperEdit()->setText("13");
    EXPECT_TRUE(stats.ApplyTypedLimits());
    ASSERT_EQ(given.size(), 1u);
    EXPECT_DOUBLE_EQ(*given[0].lower, 12.0);
    EXPECT_EQ(stats.CellText(1, 8), "1"); // 10.0 t is below 12
    EXPECT_EQ(stats.CellText(1, 10), QString::fromUtf8("2건 이상 필요"));
    EXPECT_FALSE(AnyNan(stats));

    // No ticked row at all.
    std::vector<AnalysisRow> none = data.rows;
    none[0].bTicked = false;
    dialog.SetRows(none);
    EXPECT_EQ(stats.RowCount(), 1);
    EXPECT_EQ(stats.CellText(0, 2), QString::fromUtf8("데이터 없음"));
    EXPECT_FALSE(AnyNan(stats));
}

TEST(DlgAnalysis, ChartDrawsReducedPointsAndReReducesOnZoom)
{
    AnalysisData data = Rows(300000);
    data.limits.lower = 10.5;
    data.limits.upper = 19.5;
    CDlgAnalysis dialog(data);
    dialog.resize(1000, 600);
    dialog.show();
    QApplication::processEvents();
    CForceChart& chart = *dialog.Chart();
    const int width = static_cast<int>(chart.chart()->plotArea().width());
    ASSERT_GT(width, 100);
    const int whole = chart.DrawnPoints(0);
    // A low and a high point per two-pixel column, plus the edge neighbours.
    EXPECT_GT(whole, width / 2);
    EXPECT_LE(whole, width + 2);
    EXPECT_GT(chart.MarkedPoints(), 0);

    auto* axis = qobject_cast<QDateTimeAxis*>(chart.chart()->axes(Qt::Horizontal).first());
    const QDateTime start = axis->min();
    axis->setRange(start, start.addSecs(3000)); // 300 rows over all types
    QApplication::processEvents();
    EXPECT_LE(chart.DrawnPoints(0), 102 + 2);
    EXPECT_GE(chart.DrawnPoints(0), 100);
    // The limit lines follow the view instead of reaching far outside it.
    for (QAbstractSeries* series : chart.chart()->series()) {
        if (series->name() != QString::fromUtf8("하한"))
            continue;
        auto* line = static_cast<QLineSeries*>(series);
        ASSERT_EQ(line->count(), 2);
        EXPECT_DOUBLE_EQ(line->at(0).x(), double(start.toMSecsSinceEpoch()));
        EXPECT_DOUBLE_EQ(line->at(1).x(), double(start.addSecs(3000).toMSecsSinceEpoch()));
        EXPECT_DOUBLE_EQ(line->at(0).y(), 10.5);
    }

    chart.ResetZoom();
    EXPECT_EQ(chart.DrawnPoints(0), whole);
}

TEST(DlgAnalysis, SeriesSummaryDifferenceIsShown)
{
    AnalysisData data = Rows(3, EForceUnit::KiloNewton); // 10.0, 10.1, 10.2 kN
    OutputSummary meter;
    meter.nCount = 3;
    meter.nAverage = 1010;
    meter.nMinimum = 1000;
    meter.nMaximum = 1020;
    data.meterSummary = meter;
    CDlgAnalysis agree(data);
    EXPECT_TRUE(agree.SummaryText().contains(QString::fromUtf8("일치")));

    data.meterSummary->nMaximum = 1500;
    CDlgAnalysis differ(data);
    EXPECT_TRUE(differ.SummaryText().contains(QString::fromUtf8("최대: 장비 15.0 KN, 계산 10.20 KN")))
        << differ.SummaryText().toStdString();

    QTemporaryDir dir;
    QString error;
    EXPECT_TRUE(differ.SavePdf(dir.filePath("a.pdf"), &error)) << error.toStdString();
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
