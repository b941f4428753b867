#pragma once
// The Excel report of the main window's button 1006: the ticked stored
// records (MEMORY) or the continuous series with its summary (OUTPUT) under
// the report header, written as an .xls workbook from a fresh report
// template, then shown selected in the file manager. The report name,
// company and author are kept in the settings file on the way.
//
// A workbook that cannot be written leaves any earlier file of that name
// untouched and is reported in a message box with the reason; the file
// manager opens only on a saved file.

#include <QString>

class CIniSysInfo;
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

    // Fill a template of CDlgExport (exposed for the tests and the benchmark).
    static void FillHeader(CSpreadSheet& report, const CSpreadSheet& infoGrid);
    static void FillMemory(CSpreadSheet& report, CSpreadSheet& dataGrid);
    static void FillOutput(CSpreadSheet& report, CSpreadSheet& dataGrid);

private:
    // Copies template row `row` to the `copies` rows below it.
    static void RepeatRow(CSpreadSheet& report, int row, int copies);
};
