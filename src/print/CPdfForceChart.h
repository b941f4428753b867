#pragma once
// Force over time drawn with QPainter as vector graphics, for printed
// documents: one line per load-cell type from the column-reduced series,
// the tolerance limits as dashed lines and points outside them marked with
// a ring. (The window's chart is Qt Charts, which needs Widgets.)

#include "AnalysisData.h"

#include <QColor>
#include <QRectF>

class QPainter;

class CPdfForceChart {
public:
    explicit CPdfForceChart(const AnalysisData& data);

    // Draws into rect; unit is the painter's device units per millimetre.
    void Draw(QPainter& painter, const QRectF& rect, double unitsPerMm) const;

    // The line colour of a load-cell type: darker than the window's theme
    // colours, which are made for a dark background, so that lines read on paper.
    static QColor TypeColour(int loadCellType);

private:
    const AnalysisData& m_data;
};
