#include "CReportExport.h"

#include "CDlgExport.h"
#include "CFileReveal.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
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

std::vector<int> CReportExport::TickedRows(CSpreadSheet& dataGrid)
{
    CAddressedSheetGuard guard(dataGrid);
    dataGrid.SetAddressedSheet(1);
    std::vector<int> ticked;
    for (int r = 1, rows = dataGrid.GetRowCount(); r <= rows; ++r) {
        int value = 0;
        if (dataGrid.GetInteger(1, r, &value) && value == 1)
            ticked.push_back(r);
    }
    return ticked;
}

void CReportExport::FillMemory(CSpreadSheet& report, CSpreadSheet& dataGrid)
{
    const std::vector<int> ticked = TickedRows(dataGrid);
    CAddressedSheetGuard guard(dataGrid);
    dataGrid.SetAddressedSheet(1);
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

int CReportExport::CountMeasurements(CSpreadSheet& dataGrid, int dataMode)
{
    if (dataMode == kModeMemory)
        return int(TickedRows(dataGrid).size());
    CAddressedSheetGuard guard(dataGrid);
    dataGrid.SetAddressedSheet(2);
    return std::max(0, dataGrid.GetRowCount() - 3);
}

QString CReportExport::SuggestedFileName(const QString& reportName, const QDate& date)
{
    // Characters no file system takes, and control characters, become '_';
    // the header's "-" placeholder counts as no name.
    QString name;
    for (const QChar ch : reportName.trimmed()) {
        const bool bad = ch.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(ch);
        name += bad ? QLatin1Char('_') : ch;
    }
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);   // no hidden file
    if (name.isEmpty() || name == QStringLiteral("-"))
        name = QStringLiteral("보고서");
    return name.left(100) + QLatin1Char('_') + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".xls");
}

QString CReportExport::StartFolder(const CIniSysInfo& sysInfo)
{
    const QString last = QString::fromStdString(sysInfo.m_szReportDir);
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

namespace {
QString WriteFailureText(EFileWrite failure)
{
    switch (failure) {
    case EFileWrite::ReadOnly: return QStringLiteral("읽기 전용 파일입니다");
    case EFileWrite::NotRegular: return QStringLiteral("파일이 아닌 것이 그 자리에 있습니다");
    case EFileWrite::Unreadable: return QStringLiteral("파일을 읽을 수 없어 내용을 지킬 수 없습니다");
    case EFileWrite::Ok:
    case EFileWrite::Failed: break;
    }
    return QStringLiteral("쓰기 실패");
}
}   // namespace

void CReportExport::Run(QWidget* parent, CSpreadSheet& infoGrid, CSpreadSheet& dataGrid, int dataMode,
                        CIniSysInfo& sysInfo)
{
    if (dataMode != kModeMemory && dataMode != kModeOutput)
        return;
    const QString title = QStringLiteral("다른 이름으로 저장");
    // A report without a single measurement is most likely a slip (no row
    // ticked); it is written only when the user says so.
    if (CountMeasurements(dataGrid, dataMode) == 0
        && !CUiPrompts::AskYesNo(parent,
                                 dataMode == kModeMemory
                                     ? QStringLiteral("선택된 측정 데이터가 없습니다.\n측정 데이터 없이 보고서를 저장하시겠습니까?")
                                     : QStringLiteral("측정 데이터가 없습니다.\n측정 데이터 없이 보고서를 저장하시겠습니까?"),
                                 title))
        return;

    // The dialog opens in the folder of the last report with a name made of
    // the report name and today's date.
    QString suggestion = QDir(StartFolder(sysInfo))
                             .filePath(SuggestedFileName(infoGrid.GetCellText(2, 2), QDate::currentDate()));
    QString path;
    for (;;) {
        const QString chosen = CUiPrompts::ChooseSaveFile(parent, title, FileFilter(), suggestion);
        if (chosen.isEmpty())
            return;
        path = WithXlsSuffix(chosen);
        // The file dialog asked about the name as typed; a report that the
        // added ".xls" would replace is asked about here, and No goes back
        // to the file dialog.
        if (path != chosen && QFileInfo::exists(path)
            && !CUiPrompts::AskYesNo(parent,
                                     QStringLiteral("%1 파일이 이미 있습니다.\n바꾸시겠습니까?")
                                         .arg(QDir::toNativeSeparators(path)),
                                     title)) {
            suggestion = chosen;
            continue;
        }
        break;
    }

    QString failure;
    bool settingsSaved = true;
    EFileWrite settingsFailure = EFileWrite::Ok;
    {
        CWaitCursor wait;
        CDlgExport dlg(parent);
        if (!dlg.Create()) {
            failure = QStringLiteral("CDlgExport Create Fail");
        } else {
            CSpreadSheet& report = *dlg.m_gridReport[dataMode];
            // Kept even when the workbook then fails: the user typed them.
            settingsSaved = sysInfo.SaveReportHeader(infoGrid.GetCellText(4, 1).toStdString(),
                                                     infoGrid.GetCellText(2, 2).toStdString(),
                                                     infoGrid.GetCellText(4, 2).toStdString(), &settingsFailure);
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
    if (failure.isEmpty() && settingsSaved) {
        const QString folder = QFileInfo(path).absolutePath();
        settingsSaved = sysInfo.SaveReportDir(folder.toStdString(), &settingsFailure);
    }
    if (!failure.isEmpty())
        CUiPrompts::ShowWarning(parent, failure, kCaption);
    // The report does not depend on the settings file, but the user should
    // know that the texts and the folder will not be there next time.
    if (!settingsSaved)
        CUiPrompts::ShowWarning(parent,
                                QStringLiteral("보고서 정보를 설정 파일에 저장하지 못했습니다 (%1).\n%2")
                                    .arg(WriteFailureText(settingsFailure),
                                         QDir::toNativeSeparators(QString::fromStdString(sysInfo.m_szIniPath))),
                                kCaption);
    if (!failure.isEmpty())
        return;

    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (CFileReveal::ShowInFileManager(path, false)) {
        CUiPrompts::ShowInfo(parent, SavedNotice(shown), kCaption);
    } else if (CUiPrompts::AskYesNo(parent, SavedNotice(shown) + QStringLiteral("\n\n폴더를 여시겠습니까?"), kCaption)) {
        if (!CFileReveal::OpenFolder(QFileInfo(path).absolutePath()))
            CUiPrompts::ShowWarning(parent, QStringLiteral("폴더를 열 프로그램이 없습니다."), kCaption);
    }
}

QString CReportExport::SavedNotice(const QString& shownPath)
{
    return QStringLiteral("보고서를 저장했습니다.\n%1").arg(shownPath);
}
