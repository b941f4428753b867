#include "CForceChart.h"

#include "CAppTheme.h"
#include "SeriesReduction.h"
#include "StatsTable.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

CForceChart::CForceChart(QWidget* parent)
    : QChartView(parent)
{
    m_pChart = new QChart();
    m_pChart->legend()->setAlignment(Qt::AlignBottom);
    m_pChart->setMargins(QMargins(4, 4, 4, 4));
    const CAppTheme& theme = CAppTheme::Current();
    m_pChart->setBackgroundBrush(CAppTheme::ToQColor(theme.m_clrEditBack));
    m_pChart->setPlotAreaBackgroundVisible(false);
    m_pChart->legend()->setLabelColor(CAppTheme::ToQColor(theme.m_clrText));
    setChart(m_pChart);
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::RectangleRubberBand);
    setFocusPolicy(Qt::StrongFocus);

    m_pAxisX = new QDateTimeAxis(m_pChart);
    m_pAxisX->setFormat(QStringLiteral("MM-dd HH:mm"));
    m_pAxisX->setTickCount(6);
    m_pAxisY = new QValueAxis(m_pChart);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(m_pAxisX), static_cast<QAbstractAxis*>(m_pAxisY)}) {
        axis->setLabelsColor(CAppTheme::ToQColor(theme.m_clrText));
        axis->setGridLineColor(CAppTheme::ToQColor(theme.m_clrBorder));
        axis->setTitleBrush(CAppTheme::ToQColor(theme.m_clrText));
    }
    m_pChart->addAxis(m_pAxisX, Qt::AlignBottom);
    m_pChart->addAxis(m_pAxisY, Qt::AlignLeft);

    m_pReduceTimer = new QTimer(this);
    m_pReduceTimer->setSingleShot(true);
    m_pReduceTimer->setInterval(0);
    connect(m_pReduceTimer, &QTimer::timeout, this, &CForceChart::Reduce);
    connect(m_pAxisX, &QDateTimeAxis::rangeChanged, this, &CForceChart::ScheduleReduce);
}

CForceChart::~CForceChart() = default;

QColor CForceChart::TypeColour(int loadCellType)
{
    // The theme's highlight, and the same colour turned a third and two
    // thirds round the hue circle, so three sizes are told apart.
    QColor base = CAppTheme::ToQColor(CAppTheme::Current().m_clrHilite);
    if (!base.isValid())
        base = QColor(0x00, 0x7A, 0xCC);
    const int steps = loadCellType >= 0 && loadCellType <= 2 ? loadCellType : 3;
    const int hue = (std::max(0, base.hsvHue()) + steps * 120 + (steps == 3 ? 60 : 0)) % 360;
    return QColor::fromHsv(hue, std::max(160, base.hsvSaturation()), std::max(200, base.value()));
}

void CForceChart::SetRows(const std::vector<AnalysisRow>& rows, EForceUnit unit)
{
    m_eUnit = unit;
    for (auto& [type, series] : m_mapSeries) {
        m_pChart->removeSeries(series.pLine);
        delete series.pLine;
    }
    m_mapSeries.clear();

    std::map<int, std::vector<std::pair<double, double>>> byType;
    for (const AnalysisRow& row : rows)
        if (row.bTicked && row.bTimeValid && std::isfinite(row.dValue))
            byType[row.nLoadCellType].push_back({static_cast<double>(row.tWhen) * 1000.0, row.dValue});
    m_bAny = false;
    double sum = 0.0;
    size_t count = 0;
    for (auto& [type, points] : byType) {
        std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        TypeSeries& series = m_mapSeries[type];
        series.xs.reserve(points.size());
        series.ys.reserve(points.size());
        for (const auto& [x, y] : points) {
            series.xs.push_back(x);
            series.ys.push_back(y);
            m_dY0 = m_bAny ? std::min(m_dY0, y) : y;
            m_dY1 = m_bAny ? std::max(m_dY1, y) : y;
            sum += y;
            ++count;
            m_bAny = true;
        }
        m_dX0 = m_mapSeries.size() == 1 ? series.xs.front() : std::min(m_dX0, series.xs.front());
        m_dX1 = m_mapSeries.size() == 1 ? series.xs.back() : std::max(m_dX1, series.xs.back());
        series.pLine = new QLineSeries();
        series.pLine->setName(QString::fromStdString(StatsGroupName(type)));
        // A cosmetic one-pixel pen: wider pens go through the path stroker,
        // which costs more than everything else in a frame.
        QPen pen(TypeColour(type), 1.0);
        pen.setCosmetic(true);
        series.pLine->setPen(pen);
        m_pChart->addSeries(series.pLine);
        series.pLine->attachAxis(m_pAxisX);
        series.pLine->attachAxis(m_pAxisY);
        connect(series.pLine, &QLineSeries::hovered, this, &CForceChart::OnHovered);
    }
    m_vComputed.clear();
    if (count > 0)
        m_vComputed = {sum / static_cast<double>(count), m_dY0, m_dY1};
    m_pAxisY->setTitleText(QString::fromUtf8(ForceUnitText(unit)));
    Rebuild();
}

void CForceChart::SetLimits(const ToleranceLimits& limits)
{
    m_limits = limits;
    Rebuild();
}

void CForceChart::SetMeterSummary(const std::optional<OutputSummary>& summary)
{
    m_summary = summary;
    Rebuild();
}

void CForceChart::AddLevel(const QString& name, double value, const QColor& colour, Qt::PenStyle style)
{
    auto* line = new QLineSeries();
    line->setName(name);
    line->setPen(QPen(colour, 1.2, style));
    // Two points at the ends of the visible range; Reduce moves them along
    // with every zoom and pan (points far outside would overflow the chart's
    // pixel coordinates when zoomed in).
    line->append(m_dX0, value);
    line->append(m_dX1, value);
    m_pChart->addSeries(line);
    line->attachAxis(m_pAxisX);
    line->attachAxis(m_pAxisY);
    m_vLevels.push_back(line);
}

// The level lines and marks depend on the limits and summary as well as the
// rows; they are few, so they are made anew each time.
void CForceChart::Rebuild()
{
    for (QLineSeries* line : m_vLevels) {
        m_pChart->removeSeries(line);
        delete line;
    }
    m_vLevels.clear();
    if (m_pMarks) {
        m_pChart->removeSeries(m_pMarks);
        delete m_pMarks;
        m_pMarks = nullptr;
    }
    double y0 = m_dY0, y1 = m_dY1;
    const QColor limitColour(0xE0, 0x40, 0x40);
    if (m_bAny) {
        if (m_limits.lower) {
            AddLevel(QStringLiteral("하한"), *m_limits.lower, limitColour, Qt::DashLine);
            y0 = std::min(y0, *m_limits.lower);
            y1 = std::max(y1, *m_limits.lower);
        }
        if (m_limits.upper) {
            AddLevel(QStringLiteral("상한"), *m_limits.upper, limitColour, Qt::DashLine);
            y0 = std::min(y0, *m_limits.upper);
            y1 = std::max(y1, *m_limits.upper);
        }
        if (m_summary && m_eUnit == EForceUnit::KiloNewton) {
            // The meter's levels as its summary texts show them, beside ours.
            const QColor meter(0xF0, 0xC0, 0x30);
            const QColor ours(0x60, 0xD0, 0xF0);
            const char* names[] = {"평균", "최소", "최대"};
            const uint16_t values[] = {m_summary->nAverage, m_summary->nMinimum, m_summary->nMaximum};
            for (int i = 0; i < 3; ++i) {
                const double level = (values[i] / 10 * 10) / 100.0;
                AddLevel(QStringLiteral("장비 %1").arg(QString::fromUtf8(names[i])), level, meter, Qt::DotLine);
                y0 = std::min(y0, level);
                y1 = std::max(y1, level);
                if (i < static_cast<int>(m_vComputed.size()))
                    AddLevel(QStringLiteral("계산 %1").arg(QString::fromUtf8(names[i])), m_vComputed[i], ours,
                             Qt::DashDotLine);
            }
        }
        if (m_limits.Any()) {
            m_pMarks = new QScatterSeries();
            m_pMarks->setName(QStringLiteral("허용 범위 밖"));
            m_pMarks->setMarkerShape(QScatterSeries::MarkerShapeCircle);
            m_pMarks->setMarkerSize(9);
            m_pMarks->setColor(Qt::transparent);
            m_pMarks->setBorderColor(limitColour);
            m_pChart->addSeries(m_pMarks);
            m_pMarks->attachAxis(m_pAxisX);
            m_pMarks->attachAxis(m_pAxisY);
            connect(m_pMarks, &QScatterSeries::hovered, this, &CForceChart::OnHovered);
        }
    }
    const double pad = y1 > y0 ? (y1 - y0) * 0.05 : 1.0;
    m_dYView0 = y0 - pad;
    m_dYView1 = y1 + pad;
    ResetZoom();
}

void CForceChart::ResetZoom()
{
    m_pChart->zoomReset();
    double x0 = m_dX0, x1 = m_dX1;
    if (!m_bAny) {
        const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
        x0 = now - 3600e3;
        x1 = now;
    } else if (x1 <= x0) {
        x0 -= 30e3;
        x1 += 30e3;
    }
    m_pAxisY->setRange(m_bAny ? m_dYView0 : 0.0, m_bAny ? m_dYView1 : 1.0);
    m_pAxisY->applyNiceNumbers();
    m_pAxisX->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(x0)),
                       QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(x1)));
    Reduce();
}

void CForceChart::ScheduleReduce()
{
    m_pReduceTimer->start();
}

void CForceChart::Reduce()
{
    m_pReduceTimer->stop();
    const double x0 = static_cast<double>(m_pAxisX->min().toMSecsSinceEpoch());
    const double x1 = static_cast<double>(m_pAxisX->max().toMSecsSinceEpoch());
    // Qt Charts' cost grows with every point it is handed (it strokes the
    // whole path for hit testing), so two pixels share one column: a low and
    // a high point per column, one point per pixel on average.
    const int columns = std::max(1, static_cast<int>(m_pChart->plotArea().width()) / 2);
    QList<QPointF> marks;
    for (auto& [type, series] : m_mapSeries) {
        const std::vector<size_t> kept
            = ReduceToColumns(series.xs.data(), series.ys.data(), series.xs.size(), x0, x1, columns);
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(kept.size()));
        for (size_t i : kept) {
            points.append(QPointF(series.xs[i], series.ys[i]));
            if (m_limits.Any() && !m_limits.Contains(series.ys[i]))
                marks.append(points.back());
        }
        series.pLine->replace(points);
    }
    if (m_pMarks)
        m_pMarks->replace(marks);
    for (QLineSeries* line : m_vLevels) {
        const double level = line->at(0).y();
        line->replace(QList<QPointF>{QPointF(x0, level), QPointF(x1, level)});
    }
}

void CForceChart::OnHovered(const QPointF& point, bool state)
{
    if (!state) {
        QToolTip::hideText();
        return;
    }
    const QString when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(point.x()))
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QToolTip::showText(QCursor::pos(),
                       QStringLiteral("%1\n%2").arg(when, QString::fromStdString(FormatRowValue(point.y(), m_eUnit))),
                       this);
}

int CForceChart::DrawnPoints(int loadCellType) const
{
    auto it = m_mapSeries.find(loadCellType);
    return it == m_mapSeries.end() ? 0 : static_cast<int>(it->second.pLine->count());
}

int CForceChart::MarkedPoints() const
{
    return m_pMarks ? static_cast<int>(m_pMarks->count()) : 0;
}

void CForceChart::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0.0 || !m_bAny)
        return;
    const double factor = std::pow(1.25, steps);
    // Zoom about the pointer: the plot area shrinks around it.
    const QRectF area = m_pChart->plotArea();
    const QPointF at = event->position();
    const double w = area.width() / factor;
    const double h = area.height() / factor;
    const double fx = std::clamp((at.x() - area.left()) / area.width(), 0.0, 1.0);
    const double fy = std::clamp((at.y() - area.top()) / area.height(), 0.0, 1.0);
    m_pChart->zoomIn(QRectF(at.x() - fx * w, at.y() - fy * h, w, h));
    event->accept();
}

void CForceChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        m_bPanning = true;
        m_ptPan = m_ptPanStart = event->pos();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void CForceChart::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bPanning) {
        const QPoint delta = event->pos() - m_ptPan;
        m_ptPan = event->pos();
        m_pChart->scroll(-delta.x(), delta.y());
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void CForceChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && m_bPanning) {
        // A right click without a drag keeps its usual meaning: zoom out.
        m_bPanning = false;
        if ((event->pos() - m_ptPanStart).manhattanLength() < 3)
            m_pChart->zoomOut();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void CForceChart::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Home: ResetZoom(); return;
    case Qt::Key_Left: m_pChart->scroll(-m_pChart->plotArea().width() / 10, 0); return;
    case Qt::Key_Right: m_pChart->scroll(m_pChart->plotArea().width() / 10, 0); return;
    case Qt::Key_Plus: m_pChart->zoom(1.25); return;
    case Qt::Key_Minus: m_pChart->zoom(0.8); return;
    default: QChartView::keyPressEvent(event);
    }
}

void CForceChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    ScheduleReduce();
}
