#include "CReportExport.h"

#include "CDlgExport.h"
#include "CFileReveal.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <vector>

namespace {

const QString kCaption = QStringLiteral("압력 계측기");

// Puts the records grid back on the sheet it addressed, on every way out.
class CAddressedSheetGuard {
public:
    explicit CAddressedSheetGuard(CSpreadSheet& grid) : m_grid(grid), m_nSheet(grid.GetAddressedSheet()) {}
    ~CAddressedSheetGuard() { m_grid.SetAddressedSheet(m_nSheet); }
    CAddressedSheetGuard(const CAddressedSheetGuard&) = delete;
    CAddressedSheetGuard& operator=(const CAddressedSheetGuard&) = delete;

private:
    CSpreadSheet& m_grid;
    int m_nSheet;
};

}   // namespace

QString CReportExport::FileFilter()
{
    return QStringLiteral("Excel Files (*.xls)|*.xls;| All Files(*.*)|*.*||");
}

QString CReportExport::WithXlsSuffix(const QString& chosen)
{
    return chosen.toLower().endsWith(QStringLiteral(".xls")) ? chosen : chosen + QStringLiteral(".xls");
}

void CReportExport::RepeatRow(CSpreadSheet& report, int row, int copies)
{
    // Doubling the copied block gives the same rows as one copy per row, in
    // a handful of grid operations instead of one per record.
    int have = 1;
    while (have <= copies) {
        const int n = std::min(have, copies + 1 - have);
        report.CopyRowRange(row, row + n - 1, row + have);
        have += n;
    }
}

void CReportExport::FillHeader(CSpreadSheet& report, const CSpreadSheet& infoGrid)
{
    // Header grid (value column, row) -> report (value column, row).
    for (int r = 1; r <= 3; ++r)
        report.SetCellText(3, r, infoGrid.GetCellText(2, r));
    for (int r = 1; r <= 4; ++r)
        report.SetCellText(5, r, infoGrid.GetCellText(4, r));
}

void CReportExport::FillMemory(CSpreadSheet& report, CSpreadSheet& dataGrid)
{
    CAddressedSheetGuard guard(dataGrid);
    dataGrid.SetAddressedSheet(1);
    const int rows = dataGrid.GetRowCount();
    std::vector<int> ticked;
    for (int r = 1; r <= rows; ++r) {
        int value = 0;
        if (dataGrid.GetInteger(1, r, &value) && value == 1)
            ticked.push_back(r);
    }
    const int first = CDlgExport::kMemoryDataRow;
    if (ticked.size() > 1)
        RepeatRow(report, first, int(ticked.size()) - 1);
    // Records: time (3), force (4), load cell (5) -> report columns 2 to 4;
    // column 5 keeps the template's "-".
    for (std::size_t k = 0; k < ticked.size(); ++k) {
        const int row = first + int(k);
        const int src = ticked[k];
        report.SetCellText(1, row, QString::asprintf("%d", int(k) + 1));
        for (int c = 2; c <= 4; ++c)
            report.SetCellText(c, row, dataGrid.GetCellText(c + 1, src));
    }
}

void CReportExport::FillOutput(CSpreadSheet& report, CSpreadSheet& dataGrid)
{
    CAddressedSheetGuard guard(dataGrid);
    dataGrid.SetAddressedSheet(2);
    // Sheet 2: row 1 summary headings, row 2 the summary, row 3 headings,
    // rows 4.. the measurements.
    const int rows = dataGrid.GetRowCount();
    const int measurements = rows - 3;
    const int first = CDlgExport::kOutputDataRow;
    if (measurements > 1)
        RepeatRow(report, first, measurements - 1);
    for (int c = 1; c <= CDlgExport::kColumns; ++c)
        report.SetCellText(c, CDlgExport::kOutputSummaryRow, dataGrid.GetCellText(c, 2));
    for (int r = 4; r <= rows; ++r) {
        report.SetCellText(1, r + 6, QString::asprintf("%d", r - 3));
        for (int c = 2; c <= CDlgExport::kColumns; ++c)
            report.SetCellText(c, r + 6, dataGrid.GetCellText(c, r));
    }
}

void CReportExport::Run(QWidget* parent, CSpreadSheet& infoGrid, CSpreadSheet& dataGrid, int dataMode,
                        CIniSysInfo& sysInfo)
{
    if (dataMode != kModeMemory && dataMode != kModeOutput)
        return;
    const QString chosen = CUiPrompts::ChooseSaveFile(parent, QStringLiteral("다른 이름으로 저장"), FileFilter());
    if (chosen.isEmpty())
        return;

    QString failure;
    const QString path = WithXlsSuffix(chosen);
    // The file dialog asked about the name as typed; a report that the added
    // ".xls" would replace is asked about here.
    if (path != chosen && QFileInfo::exists(path)
        && !CUiPrompts::AskYesNo(parent,
                                 QStringLiteral("%1 파일이 이미 있습니다.\n바꾸시겠습니까?")
                                     .arg(QDir::toNativeSeparators(path)),
                                 QStringLiteral("다른 이름으로 저장")))
        return;
    {
        CWaitCursor wait;
        CDlgExport dlg(parent);
        if (!dlg.Create()) {
            failure = QStringLiteral("CDlgExport Create Fail");
        } else {
            CSpreadSheet& report = *dlg.m_gridReport[dataMode];
            // Kept even when the workbook then fails: the user typed them.
            sysInfo.SaveReportHeader(infoGrid.GetCellText(4, 1).toStdString(),
                                     infoGrid.GetCellText(2, 2).toStdString(),
                                     infoGrid.GetCellText(4, 2).toStdString());
            FillHeader(report, infoGrid);
            if (dataMode == kModeMemory)
                FillMemory(report, dataGrid);
            else
                FillOutput(report, dataGrid);
            QString reason;
            if (!report.SaveAsExcel(path, &reason))
                failure = QStringLiteral("엑셀 저장 실패 : %1").arg(reason);
        }
    }
    if (!failure.isEmpty()) {
        CUiPrompts::ShowInfo(parent, failure, kCaption);
        return;
    }
    CFileReveal::ShowInFileManager(path);
}
