#pragma once
// The statistics block of the ticked rows: one line per load-cell type and
// the total, the tolerance limits to type in, the inside and outside counts,
// the inside share and Cp/Cpk. Numbers that do not exist show their reason.

#include "AnalysisData.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableWidget;

class CStatsView : public QWidget {
    Q_OBJECT
public:
    explicit CStatsView(QWidget* parent = nullptr);

    // Recomputes from the rows (only the ticked ones count).
    void SetRows(const std::vector<AnalysisRow>& rows, EForceUnit unit);
    // Shows these limits in the entry fields and uses them.
    void SetLimits(const ToleranceLimits& limits);
    const ToleranceLimits& Limits() const { return m_limits; }

    // For tests and the window: the cell texts and the entry's message.
    QString CellText(int row, int column) const;
    int RowCount() const;
    QString LimitsMessage() const;
    // Reads the typed limits as if "적용" had been pressed.
    bool ApplyTypedLimits();
    QLineEdit* LowerEdit() const { return m_pLower; }
    QLineEdit* UpperEdit() const { return m_pUpper; }

signals:
    // New limits were typed and accepted.
    void limitsChanged();

private:
    void Refresh();

    std::vector<AnalysisRow> m_vRows;
    EForceUnit m_eUnit = EForceUnit::Tons;
    ToleranceLimits m_limits;
    QLineEdit* m_pLower = nullptr;
    QLineEdit* m_pUpper = nullptr;
    QLabel* m_pMessage = nullptr;
    QLabel* m_pUnit = nullptr;
    QTableWidget* m_pTable = nullptr;
};
