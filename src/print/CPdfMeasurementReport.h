#pragma once
// The measurement report as a PDF ("PDF 저장"): the report header, the query
// period, the statistics of the ticked rows with the tolerance limits and the
// pass/fail counts, the meter's own summary and its check for the continuous
// series, the chart, and every ticked row with the headings repeated on each
// page.

#include "AnalysisData.h"

#include <QString>

class CPdfDocument;

class CPdfMeasurementReport {
public:
    explicit CPdfMeasurementReport(const AnalysisData& data);

    // False with a Korean reason in *error when the file could not be written.
    bool Write(const QString& path, QString* error) const;

    // The parts, for documents that show the same blocks.
    static void DrawHeader(CPdfDocument& doc, const ReportHeader& header, const QString& period);
    void DrawStatistics(CPdfDocument& doc) const;
    void DrawChart(CPdfDocument& doc) const;
    void DrawRows(CPdfDocument& doc) const;

private:
    const AnalysisData& m_data;
};
