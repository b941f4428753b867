#pragma once
// The analysis window ("분석"): the chart of the rows in view beside the
// statistics of the ticked ones, the tolerance limits, for the continuous
// series the check of the meter's own summary, and "PDF 저장".
//
// The main window and the archive window open it with one call:
//     CDlgAnalysis::Open(this, data);
// The limits come in with the data and go out through data.onLimitsChanged
// whenever the user accepts new ones.

#include "AnalysisData.h"

#include <QDialog>

class CForceChart;
class CStatsView;
class QLabel;

class CDlgAnalysis : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAnalysis(const AnalysisData& data, QWidget* parent = nullptr);

    // Runs the window modally; returns when it is closed.
    static void Open(QWidget* parent, const AnalysisData& data);

    // New rows or ticks from the caller; chart and statistics follow.
    void SetRows(const std::vector<AnalysisRow>& rows);
    const AnalysisData& Data() const { return m_data; }

    // Writes the PDF report to path; false with the reason shown (and in *error).
    bool SavePdf(const QString& path, QString* error = nullptr);

    CForceChart* Chart() const { return m_pChart; }
    CStatsView* Stats() const { return m_pStats; }
    // The summary check as shown ("" for stored records).
    QString SummaryText() const;

private:
    void OnLimitsChanged();
    void OnSavePdf();
    void ShowSummaryCheck();

    AnalysisData m_data;
    CForceChart* m_pChart = nullptr;
    CStatsView* m_pStats = nullptr;
    QLabel* m_pSummary = nullptr;
};
