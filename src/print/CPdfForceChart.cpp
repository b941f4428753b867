#include "CPdfForceChart.h"

#include "CPdfDocument.h"
#include "SeriesReduction.h"
#include "StatsTable.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

CPdfForceChart::CPdfForceChart(const AnalysisData& data)
    : m_data(data)
{
}

QColor CPdfForceChart::TypeColour(int loadCellType)
{
    switch (loadCellType) {
    case 0: return QColor(0x00, 0x7A, 0xCC);
    case 1: return QColor(0xD9, 0x6C, 0x00);
    case 2: return QColor(0x2E, 0x9E, 0x44);
    default: return QColor(0x80, 0x40, 0xA0);
    }
}

namespace {

// Round step of about a fifth of the span.
double NiceStep(double span)
{
    if (!(span > 0))
        return 1.0;
    const double raw = span / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power)
            return m * power;
    return 10.0 * power;
}

} // namespace

void CPdfForceChart::Draw(QPainter& p, const QRectF& rect, double mm) const
{
    // Ticked rows with a time, per type, in time order.
    std::map<int, std::vector<std::pair<double, double>>> byType;
    double t0 = 0, t1 = 0, v0 = 0, v1 = 0;
    bool any = false;
    for (const AnalysisRow& row : m_data.rows) {
        if (!row.bTicked || !row.bTimeValid || !std::isfinite(row.dValue))
            continue;
        const double t = static_cast<double>(row.tWhen);
        byType[row.nLoadCellType].push_back({t, row.dValue});
        t0 = any ? std::min(t0, t) : t;
        t1 = any ? std::max(t1, t) : t;
        v0 = any ? std::min(v0, row.dValue) : row.dValue;
        v1 = any ? std::max(v1, row.dValue) : row.dValue;
        any = true;
    }
    const ToleranceLimits& limits = m_data.limits;
    for (const std::optional<double>& limit : {limits.lower, limits.upper}) {
        if (limit && any) {
            v0 = std::min(v0, *limit);
            v1 = std::max(v1, *limit);
        }
    }

    const QFont font = [&] {
        QFont f(CPdfDocument::HangulFamily());
        f.setPointSizeF(7);
        return f;
    }();
    p.save();
    p.setFont(font);
    const QFontMetricsF metrics(font, p.device());
    const QRectF plot = rect.adjusted(16 * mm, 6 * mm, -2 * mm, -6 * mm);
    p.setPen(QPen(Qt::black, 0.25 * mm));
    p.drawRect(plot);
    if (!any) {
        CPdfDocument::PaintText(p, plot, Qt::AlignCenter, QStringLiteral("선택된 데이터 없음"));
        p.restore();
        return;
    }
    if (t1 <= t0) {
        t0 -= 30;
        t1 += 30;
    }
    if (v1 <= v0) {
        v0 -= 1;
        v1 += 1;
    }
    const double pad = (v1 - v0) * 0.05;
    v0 -= pad;
    v1 += pad;
    auto X = [&](double t) { return plot.left() + (t - t0) / (t1 - t0) * plot.width(); };
    auto Y = [&](double v) { return plot.bottom() - (v - v0) / (v1 - v0) * plot.height(); };

    // Value grid and labels.
    const double step = NiceStep(v1 - v0);
    p.setPen(QPen(QColor(0xD0, 0xD0, 0xD0), 0.15 * mm));
    for (double v = std::ceil(v0 / step) * step; v <= v1; v += step) {
        p.drawLine(QPointF(plot.left(), Y(v)), QPointF(plot.right(), Y(v)));
        p.save();
        p.setPen(Qt::black);
        p.drawText(QRectF(rect.left(), Y(v) - metrics.height() / 2, 15 * mm, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', step < 1 ? 1 : 0));
        p.restore();
    }
    p.setPen(Qt::black);
    p.drawText(QRectF(rect.left(), rect.top(), 15 * mm, 4 * mm), Qt::AlignRight | Qt::AlignTop,
               QString::fromUtf8(ForceUnitText(m_data.eUnit)));
    // Time labels at both ends and the middle.
    for (double f : {0.0, 0.5, 1.0}) {
        const double t = t0 + f * (t1 - t0);
        const QString text = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t)).toString("yyyy-MM-dd HH:mm");
        const double w = metrics.horizontalAdvance(text);
        const double x = std::clamp(X(t) - w / 2, plot.left(), plot.right() - w);
        CPdfDocument::PaintText(p, QRectF(x, plot.bottom() + 1 * mm, w, metrics.height()), Qt::AlignLeft, text);
    }

    // Limits.
    for (const std::optional<double>& limit : {limits.lower, limits.upper}) {
        if (!limit)
            continue;
        p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 0.3 * mm, Qt::DashLine));
        p.drawLine(QPointF(plot.left(), Y(*limit)), QPointF(plot.right(), Y(*limit)));
    }

    // The series, at most a few points per printed column.
    const int columns = std::max(1, static_cast<int>(plot.width() / (0.25 * mm)));
    p.setClipRect(plot);
    for (auto& [type, points] : byType) {
        std::stable_sort(points.begin(), points.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<double> xs, ys;
        xs.reserve(points.size());
        ys.reserve(points.size());
        for (const auto& point : points) {
            xs.push_back(point.first);
            ys.push_back(point.second);
        }
        const std::vector<size_t> kept = ReduceToColumns(xs.data(), ys.data(), xs.size(), t0, t1, columns);
        QPainterPath path;
        for (size_t k = 0; k < kept.size(); ++k) {
            const QPointF pt(X(xs[kept[k]]), Y(ys[kept[k]]));
            if (k == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        const QColor colour = TypeColour(type);
        p.setPen(QPen(colour, 0.3 * mm));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        // Out-of-tolerance rings on the kept points: each column keeps its
        // extremes, so every column with a point outside shows a ring.
        if (limits.Any()) {
            p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 0.3 * mm));
            for (size_t i : kept)
                if (!limits.Contains(ys[i]))
                    p.drawEllipse(QPointF(X(xs[i]), Y(ys[i])), 0.8 * mm, 0.8 * mm);
        }
    }
    p.setClipping(false);

    // Legend above the plot, right aligned.
    double x = plot.right();
    for (auto it = byType.rbegin(); it != byType.rend(); ++it) {
        const QString name = QString::fromStdString(StatsGroupName(it->first));
        const double w = metrics.horizontalAdvance(name) + 6 * mm;
        x -= w;
        const double y = rect.top() + 3 * mm;
        p.setPen(QPen(TypeColour(it->first), 0.6 * mm));
        p.drawLine(QPointF(x, y), QPointF(x + 4 * mm, y));
        p.setPen(Qt::black);
        p.drawText(QPointF(x + 5 * mm, y + metrics.ascent() / 2 - 0.3 * mm), name);
    }
    p.restore();
}
