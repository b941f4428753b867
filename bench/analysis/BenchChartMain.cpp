// brevane_bench_chart
// A force chart of 1,000,000 rows (three load-cell types, both limits) on the
// offscreen platform: zooms to the middle half, then times the re-reduction
// and one rendering of the widget, best of five; the same for 1,000 rows for
// comparison. Target: 50 ms or less for the million.

#include "CForceChart.h"

#include <QApplication>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QElapsedTimer>
#include <QPixmap>

#include <algorithm>
#include <cstdio>

namespace {

double BestFrameMs(int n)
{
    std::vector<AnalysisRow> rows;
    rows.reserve(static_cast<size_t>(n));
    uint32_t seed = 4242;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        // 10..18 t around limits at 11 and 17: some of every column is outside.
        rows.push_back({1764000000 + static_cast<int64_t>(i) * (1000000 / n), true,
                        10.0 + (seed >> 20) / 4096.0 * 8.0, (i / 500) % 3, true});
    }
    ToleranceLimits limits;
    limits.lower = 11.0;
    limits.upper = 17.0;

    CForceChart chart;
    chart.resize(1200, 700);
    chart.SetLimits(limits);
    chart.SetRows(rows, EForceUnit::Tons);
    chart.show();
    QApplication::processEvents();
    chart.grab();

    auto* axis = qobject_cast<QDateTimeAxis*>(chart.chart()->axes(Qt::Horizontal).first());
    const QDateTime start = axis->min();
    const qint64 span = start.secsTo(axis->max());
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        chart.ResetZoom();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        axis->setRange(start.addSecs(span / 4 + run), start.addSecs(3 * span / 4 + run));
        QApplication::processEvents(); // the re-reduction
        const QPixmap frame = chart.grab();
        if (!frame.isNull())
            best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("chart frame with 1000 points: %.1f ms\n", BestFrameMs(1000));
    std::printf("chart frame with 1000000 points: %.1f ms\n", BestFrameMs(1000000));
    return 0;
}
