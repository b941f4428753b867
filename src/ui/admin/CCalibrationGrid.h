#pragma once
// The calibration grid of the administrator window (control 1032): the four
// calibration points, the present reading and the three corrections of one
// load-cell size, 4 columns × 9 rows.
//
//   row 1     "구 분" | "값" (columns 2-3 joined)        | -
//   rows 2-5  force   | point value (joined, read-only)  | "설정": point := present reading
//   row 6     "현 로드셀 값" | present reading (joined)   | -
//   rows 7-9  label   | correction read | new value       | "설정": write the new value
//
// Column 2 always holds what the last successful read gave; the labels in
// column 1 always belong to the selected size.

#include "MeterCommands.h"
#include "MeterRecords.h"

#include <QString>

class CDlgComm;
class CSpreadSheet;

class CCalibrationGrid {
public:
    enum : int {
        COLUMNS = 4,
        ROWS = 9,
        COL_LABEL = 1,
        COL_VALUE = 2,
        COL_NEW_VALUE = 3,
        COL_BUTTON = 4,
        ROW_TITLE = 1,
        ROW_FIRST_POINT = 2,    // rows 2-5: points 0-3
        ROW_LAST_POINT = 5,
        ROW_PRESENT = 6,
        ROW_FIRST_CORRECTION = 7,   // rows 7-9: corrections 0-2
        ROW_LAST_CORRECTION = 9,
    };

    explicit CCalibrationGrid(CSpreadSheet& grid) : m_grid(grid) {}

    // The one-time set-up: look, shape, joins, cell types, colours, the labels
    // of size, borders and column widths. The number cells stay empty.
    void Setup(CDlgComm& window, LoadCellSize size);

    // Column 1 of size; row 6 keeps its own label.
    void SetLabels(LoadCellSize size);
    // The three new-value cells back to "0".
    void ResetNewValues();
    // Column 2, rows 2-9, from a calibration record.
    void ShowRecord(const CalibrationRecord& record);
    // Empties the points and the present reading (rows 2-6 of column 2); the
    // corrections read earlier stay, as a device search leaves them.
    void ClearReadings();

    QString Label(int row) const;
    QString Value(int row) const;      // column 2
    QString NewValue(int row) const;   // column 3
    CSpreadSheet& Grid() { return m_grid; }

    static bool IsPointRow(int row) { return row >= ROW_FIRST_POINT && row <= ROW_LAST_POINT; }
    static bool IsCorrectionRow(int row)
    {
        return row >= ROW_FIRST_CORRECTION && row <= ROW_LAST_CORRECTION;
    }
    // The label of a row for a size; empty for rows without one.
    static QString LabelText(LoadCellSize size, int row);
    // "7톤 ", "15톤 ", "30톤 ": how the questions name a size.
    static QString SizeWord(LoadCellSize size);
    // A typed correction value: a whole number within -1000..1000.
    static bool ParseCorrection(const QString& text, int* value);

private:
    CSpreadSheet& m_grid;
};
