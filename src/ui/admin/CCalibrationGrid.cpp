#include "CCalibrationGrid.h"

#include "CAppTheme.h"
#include "CCalibrationFit.h"
#include "CDlgComm.h"
#include "CSpreadSheet.h"

namespace {

const double kColumnWidths[CCalibrationGrid::COLUMNS] = {18, 13, 13, 13};

bool IsKnownSize(LoadCellSize size)
{
    return size >= LOADCELL_7T && size <= LOADCELL_30T;
}

}   // namespace

QString CCalibrationGrid::LabelText(LoadCellSize size, int row)
{
    if (row == ROW_FIRST_POINT)
        return QStringLiteral("0 KN");
    if (row == ROW_PRESENT)
        return QStringLiteral("현 로드셀 값");
    if (!IsKnownSize(size))
        return QString();
    // The reference forces of the points above zero, from the one table the
    // certificate's fit uses too.
    if (row > ROW_FIRST_POINT && row <= ROW_LAST_POINT)
        return QString::fromStdString(CCalibrationFit::PointLabel(size, row - ROW_FIRST_POINT));
    if (IsCorrectionRow(row))
        return QString::fromStdString(CCalibrationFit::CorrectionLabel(size, row - ROW_FIRST_CORRECTION));
    return QString();
}

QString CCalibrationGrid::SizeWord(LoadCellSize size)
{
    switch (size) {
    case LOADCELL_7T:
        return QStringLiteral("7톤 ");
    case LOADCELL_15T:
        return QStringLiteral("15톤 ");
    case LOADCELL_30T:
        return QStringLiteral("30톤 ");
    }
    return QString();
}

bool CCalibrationGrid::ParseCorrection(const QString& text, int* value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok, 10);
    if (!ok || parsed < CORRECTION_MIN || parsed > CORRECTION_MAX)
        return false;
    *value = parsed;
    return true;
}

void CCalibrationGrid::Setup(CDlgComm& window, LoadCellSize size)
{
    const CAppTheme& theme = CAppTheme::Current();
    CSpreadSheet& g = m_grid;
    window.ApplyGridLook(g);
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetScrollBars(0);
    g.SetColumnCount(COLUMNS);
    g.SetRowCount(ROWS);

    g.SetActiveCell(COL_LABEL, CSpreadSheet::kAll);
    g.SetBackColor(theme.m_clrButtonBorder);
    g.SetActiveCell(CSpreadSheet::kAll, ROW_TITLE);
    g.SetBackColor(theme.m_clrButtonBorder);
    g.SetHeaderColors(theme.m_clrButtonBorder, theme.m_clrText);
    g.SetSelectionColor(theme.m_clrSelected);

    g.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::StaticText);
    g.SetHAlign(EGridHAlign::Center);
    g.SetVAlign(EGridVAlign::Center);

    for (int row = ROW_TITLE; row <= ROW_PRESENT; ++row)
        g.JoinCells(COL_VALUE, row, 2, 1);

    for (int row = ROW_FIRST_CORRECTION; row <= ROW_LAST_CORRECTION; ++row) {
        g.SetActiveCell(COL_NEW_VALUE, row);
        g.SetCellType(EGridCellType::Number);
        g.SetHAlign(EGridHAlign::Center);
        g.SetVAlign(EGridVAlign::Center);
        g.SetNumberMin(CORRECTION_MIN);
        g.SetNumberMax(CORRECTION_MAX);
        g.SetNumberDecimals(0);
        g.SetBackColor(theme.m_clrEditBack);
    }

    g.SetActiveCell(COL_BUTTON, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::Button);
    g.SetButtonCaption(QStringLiteral("설정"));
    for (int row : {int(ROW_TITLE), int(ROW_PRESENT)}) {
        g.SetActiveCell(COL_BUTTON, row);
        g.SetCellType(EGridCellType::StaticText);
    }

    g.SetCellText(COL_LABEL, ROW_TITLE, QStringLiteral("구 분"));
    g.SetCellText(COL_VALUE, ROW_TITLE, QStringLiteral("값"));
    g.SetCellText(COL_BUTTON, ROW_TITLE, QString());
    g.SetCellText(COL_LABEL, ROW_PRESENT, LabelText(size, ROW_PRESENT));
    SetLabels(size);

    g.SetCellBorder(1, 1, COLUMNS, ROWS,
                    kGridEdgeLeft | kGridEdgeRight | kGridEdgeTop | kGridEdgeBottom,
                    theme.m_clrBorder, EGridLine::Solid);
    for (int col = 1; col <= COLUMNS; ++col)
        g.SetColumnWidth(col, kColumnWidths[col - 1]);
}

void CCalibrationGrid::SetLabels(LoadCellSize size)
{
    for (int row = ROW_FIRST_POINT; row <= ROW_LAST_CORRECTION; ++row) {
        if (row != ROW_PRESENT)
            m_grid.SetCellText(COL_LABEL, row, LabelText(size, row));
    }
}

void CCalibrationGrid::ResetNewValues()
{
    for (int row = ROW_FIRST_CORRECTION; row <= ROW_LAST_CORRECTION; ++row)
        m_grid.SetCellText(COL_NEW_VALUE, row, QStringLiteral("0"));
}

void CCalibrationGrid::ShowRecord(const CalibrationRecord& record)
{
    for (int point = 0; point < 4; ++point)
        m_grid.SetCellText(COL_VALUE, ROW_FIRST_POINT + point, QString::number(record.nPoints[point]));
    m_grid.SetCellText(COL_VALUE, ROW_PRESENT, QString::number(record.nPresent));
    for (int i = 0; i < 3; ++i)
        m_grid.SetCellText(COL_VALUE, ROW_FIRST_CORRECTION + i, QString::number(record.nCorrections[i]));
}

void CCalibrationGrid::ClearReadings()
{
    m_grid.ClearRange(COL_VALUE, ROW_FIRST_POINT, COL_VALUE, ROW_PRESENT);
}

QString CCalibrationGrid::Label(int row) const
{
    return m_grid.GetCellText(COL_LABEL, row);
}

QString CCalibrationGrid::Value(int row) const
{
    return m_grid.GetCellText(COL_VALUE, row);
}

QString CCalibrationGrid::NewValue(int row) const
{
    return m_grid.GetCellText(COL_NEW_VALUE, row);
}
