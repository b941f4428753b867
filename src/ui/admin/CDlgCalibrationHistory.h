#pragma once
// "보정 이력": the calibration snapshots of the meter at hand, newest first.
// Choosing one shows its points and corrections of every size beside those
// of the snapshot before it (or of the other one when two are chosen), with
// what changed between them highlighted and listed. "이 보정값으로 복원"
// hands the chosen snapshot to the restore.

#include "CCalibrationSnapshot.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

class CDlgCalibrationHistory : public QDialog {
    Q_OBJECT
public:
    using RestoreFn = std::function<void(const CCalibrationSnapshot&)>;

    // snapshots newest first; entries that fail their checksum are listed as
    // damaged and cannot be chosen for a restore.
    CDlgCalibrationHistory(QWidget* parent, const QString& meterText, std::vector<QByteArray> snapshots,
                           RestoreFn restore);

    QTableWidget* List() const { return m_pList; }
    QTableWidget* Values() const { return m_pValues; }
    QString ChangesText() const;
    // Shows row (and, when other >= 0, compares it with other instead of the
    // row below it).
    void Select(int row, int other = -1);
    // The rows of the value table whose values differ.
    std::vector<int> ChangedRows() const;

private:
    void ShowComparison();

    std::vector<QByteArray> m_vContent;
    std::vector<CCalibrationSnapshot> m_vSnapshots;
    std::vector<bool> m_vIntact;
    RestoreFn m_fnRestore;
    QTableWidget* m_pList = nullptr;
    QTableWidget* m_pValues = nullptr;
    QLabel* m_pChanges = nullptr;
    QPushButton* m_pRestore = nullptr;
    std::vector<int> m_vChangedRows;
};
