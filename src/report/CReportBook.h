#pragma once
// The Excel 97 report of the windows, made without them: the same workbook
// the main window's export writes from its report templates (header block,
// title, headings, one data row per record), built straight into a
// CXlsWorkbook from a CExportReport so that the command-line tool writes
// the same reports.
//
// MEMORY: every row of the report is a ticked record, numbered from 1;
// no rows leave the template's data row ("1", "-", "-", "-", "-").
// OUTPUT: the meter's summary in row 8 (blank cells when none arrived),
// the measurements from row 10; none leave row 10's "-" cells.

#include <string>

class CExportReport;
class CXlsWorkbook;

class CReportBook {
public:
    // Fills an empty workbook; false when the workbook refused a part (too
    // many rows for an .xls sheet).
    static bool Build(const CExportReport& report, CXlsWorkbook& book);

    // Builds and writes the workbook, the sheet named after the file as the
    // windows name it, through a temporary file beside the target; false
    // with a Korean reason, and the old file untouched, on failure.
    static bool Save(const CExportReport& report, const std::string& path, std::string* error);

    // The report's title as the templates show it, with its leading spaces.
    static std::string Title(const CExportReport& report);
};
