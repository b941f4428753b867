#pragma once
// Force over time for the rows in view: one line per load-cell type in the
// theme's colours, the tolerance limits as dashed lines with the points
// outside them ringed, and for the continuous series the meter's own
// average, minimum and maximum beside the computed ones.
//
// Drag a rectangle to zoom, turn the wheel to zoom about the pointer, drag
// with the right button to pan, Home or ResetZoom for the whole series.
// Only the lowest and highest point of every column of two pixels is handed
// to Qt Charts, re-chosen whenever the visible time range changes, so a
// million rows draw nearly as fast as a thousand.

#include "AnalysisData.h"

#include <QChartView>
#include <QPointF>

#include <map>
#include <optional>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QTimer;
class QValueAxis;

class CForceChart : public QChartView {
    Q_OBJECT
public:
    explicit CForceChart(QWidget* parent = nullptr);
    ~CForceChart() override;

    // The ticked rows are drawn; rows without a valid time are left out.
    void SetRows(const std::vector<AnalysisRow>& rows, EForceUnit unit);
    void SetLimits(const ToleranceLimits& limits);
    // The meter's summary of the continuous series (lines beside the computed
    // ones); nullopt removes them.
    void SetMeterSummary(const std::optional<OutputSummary>& summary);

    void ResetZoom();

    // The colour of a load-cell type's line, made from the theme's highlight.
    static QColor TypeColour(int loadCellType);

    // For tests: how many points the series of a type hands to Qt Charts and
    // how many out-of-tolerance rings are shown.
    int DrawnPoints(int loadCellType) const;
    int MarkedPoints() const;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct TypeSeries {
        std::vector<double> xs; // ms since 1970, ascending
        std::vector<double> ys;
        QLineSeries* pLine = nullptr;
    };
    void Rebuild();
    void ScheduleReduce();
    void Reduce();
    void AddLevel(const QString& name, double value, const QColor& colour, Qt::PenStyle style);
    void OnHovered(const QPointF& point, bool state);

    QChart* m_pChart = nullptr;
    QDateTimeAxis* m_pAxisX = nullptr;
    QValueAxis* m_pAxisY = nullptr;
    QScatterSeries* m_pMarks = nullptr;
    std::map<int, TypeSeries> m_mapSeries;
    std::vector<QLineSeries*> m_vLevels;
    std::vector<double> m_vComputed; // mean, minimum, maximum of the drawn rows
    EForceUnit m_eUnit = EForceUnit::Tons;
    ToleranceLimits m_limits;
    std::optional<OutputSummary> m_summary;
    double m_dX0 = 0, m_dX1 = 0, m_dY0 = 0, m_dY1 = 0; // the whole series
    double m_dYView0 = 0, m_dYView1 = 1; // the series with limits and levels, padded
    bool m_bAny = false;
    QTimer* m_pReduceTimer = nullptr;
    bool m_bPanning = false;
    QPoint m_ptPan;
    QPoint m_ptPanStart;
};
