#pragma once
// The Excel report of the main window's button 1006: the ticked stored
// records (MEMORY) or the continuous series with its summary (OUTPUT) under
// the report header, written as an .xls workbook from a fresh report
// template, then shown selected in the file manager. The report name,
// company and author are kept in the settings file on the way.
//
// The save dialog opens in the folder of the last report (kept in the
// settings file) with a name made of the report name and the date. A report
// without measurements is written only when the user agrees; No to replacing
// an existing report goes back to the file dialog.
//
// A workbook that cannot be written leaves any earlier file of that name
// untouched and is reported in a message box with the reason. A saved one is
// shown in the file manager and named in a short notice, which offers to
// open its folder when no file manager answers. A settings file that cannot
// be written is named in a warning; the report is not affected by it.

#include <QString>

#include <vector>

class CIniSysInfo;
class QDate;
class CSpreadSheet;
class QWidget;

class CReportExport {
public:
    static constexpr int kModeMemory = 0;
    static constexpr int kModeOutput = 1;

    // infoGrid: the header grid (report date, name, company, author, meter
    // identity). dataGrid: the records grid, sheet 1 MEMORY, sheet 2 OUTPUT;
    // its addressed sheet is the same afterwards.
    static void Run(QWidget* parent, CSpreadSheet& infoGrid, CSpreadSheet& dataGrid, int dataMode,
                    CIniSysInfo& sysInfo);

    // The name as chosen, with ".xls" appended unless it ends in ".xls" in
    // any letter case (so "a.XLS" stays, "a.xlsx" becomes "a.xlsx.xls").
    static QString WithXlsSuffix(const QString& chosen);

    static QString FileFilter();

    // "<report name>_<yyyy-MM-dd>.xls", "보고서" standing in for an empty
    // name; characters no file name may hold become '_'.
    static QString SuggestedFileName(const QString& reportName, const QDate& date);
    // The last report's folder when it still exists, else the documents
    // folder, else home.
    static QString StartFolder(const CIniSysInfo& sysInfo);
    static QString SavedNotice(const QString& shownPath);

    // Ticked rows of sheet 1 (MEMORY) or measurements of sheet 2 (OUTPUT).
    static int CountMeasurements(CSpreadSheet& dataGrid, int dataMode);

    // Fill a template of CDlgExport (exposed for the tests and the benchmark).
    static void FillHeader(CSpreadSheet& report, const CSpreadSheet& infoGrid);
    static void FillMemory(CSpreadSheet& report, CSpreadSheet& dataGrid);
    static void FillOutput(CSpreadSheet& report, CSpreadSheet& dataGrid);

private:
    // Rows of sheet 1 whose check box is ticked, in grid order.
    static std::vector<int> TickedRows(CSpreadSheet& dataGrid);
    // Copies template row `row` to the `copies` rows below it.
    static void RepeatRow(CSpreadSheet& report, int row, int copies);
};
