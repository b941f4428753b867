#pragma once
// A report as an Office Open XML workbook (.xlsx) through libxlsxwriter: the
// title, the report header, the query and the download's result (OUTPUT
// also the meter's summary), then a table of the measurements under a
// frozen heading row with an autofilter. Forces and raw values are numbers
// with a display format, times are date cells in the PC's local time (the
// zone's offset stands in the header); a record whose fields make no time
// keeps its "시간 오류 (…)" text in the time cell.
//
// Rows are written in order in libxlsxwriter's constant-memory mode, so a
// large report needs little memory.

#include <string>

class CExportReport;

class CXlsxExport {
public:
    // The most rows a sheet holds.
    static constexpr long kMaxRows = 1048576;

    // Writes the workbook through a temporary beside the target; false with
    // a Korean reason, and the old file untouched, on failure (a report with
    // more rows than a sheet holds is refused before anything is written).
    static bool Write(const CExportReport& report, const std::string& path, std::string* error);

    // The 0-based sheet row of the table's heading line.
    static int HeadingRow(const CExportReport& report);
};
