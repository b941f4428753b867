// The report built without the windows against the one the main window's
// export writes from its templates: both files read by xlrd must hold the
// same cells with the same look, the same merges, widths and heights.

#include "CDlgExport.h"
#include "CReportBook.h"
#include "CReportExport.h"
#include "CSpreadSheet.h"
#include "ExportTestSupport.h"

namespace {

// Prints the first difference between two workbooks and exits 1.
const char* const kCompare = R"PY(
import sys
sys.path.insert(0, sys.argv[3])
import xlrd
from dump_xls import describe
def read(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    s = book.sheet_by_index(0)
    cells = [[(s.cell_value(r, c), describe(book, book.xf_list[s.cell_xf_index(r, c)]))
              for c in range(s.ncols)] for r in range(s.nrows)]
    return {'name': s.name, 'cells': cells, 'merges': sorted(s.merged_cells),
            'widths': {c: i.width for c, i in s.colinfo_map.items()},
            'heights': {r: i.height for r, i in s.rowinfo_map.items()}}
window, book = read(sys.argv[1]), read(sys.argv[2])
for key in window:
    if key == 'cells':
        assert len(window['cells']) == len(book['cells']), (len(window['cells']), len(book['cells']))
        for r, (a, b) in enumerate(zip(window['cells'], book['cells'])):
            assert a == b, ('row', r + 1, a, b)
    else:
        assert window[key] == book[key], (key, window[key], book[key])
print(len(window["cells"]), "rows equal")
)PY";

CExportReport Report(EExportKind kind, int records)
{
    CExportReport report;
    report.m_query.m_eKind = kind;
    report.m_header = {"2026-12-07 10:00:00", "월간 점검", "브레베인 주식회사", "홍길동", "압력계", "SN-7", "V1.2"};
    if (kind == EExportKind::Output) {
        report.m_query.m_bHasSummary = records > 0;
        report.m_query.m_summary = {records, 12345, 5, 65535, 250};
    }
    const MeasurementRecord samples[] = {
        MakeRecord(2026, 12, 6, 9, 0, 0, 98, 0),
        MakeRecord(2026, 13, 7, 8, 30, 0, 1234, 5),   // no time, unknown load cell
        MakeRecord(2026, 12, 7, 23, 59, 59, 65535, 2),
    };
    for (int i = 0; i < records; ++i)
        report.AddRecord(samples[i % 3]);
    return report;
}

// The window's export of the same report: the header grid and the records
// grid filled as the main window fills them, an unticked record between
// the ticked ones, then the template filled and written by the grid.
void WriteThroughWindow(const CExportReport& report, const QString& path)
{
    CSpreadSheet info;
    info.SetColumnCount(4);
    info.SetRowCount(4);
    const SExportHeader& h = report.m_header;
    const std::string left[3] = {h.m_strReportDate, h.m_strReportName, h.m_strMeterName};
    const std::string right[4] = {h.m_strCompany, h.m_strAuthor, h.m_strSerialNumber, h.m_strVersion};
    for (int r = 1; r <= 4; ++r) {
        if (r <= 3)
            info.SetCellText(2, r, QString::fromStdString(left[r - 1]));
        info.SetCellText(4, r, QString::fromStdString(right[r - 1]));
    }

    CSpreadSheet data;
    data.SetSheetCount(2);
    const bool output = report.Kind() == EExportKind::Output;
    data.SetAddressedSheet(output ? 2 : 1);
    data.SetColumnCount(5);
    int row = output ? 3 : 0;
    data.SetRowCount(row);
    if (output && report.m_query.m_bHasSummary) {
        const OutputSummary& m = report.m_query.m_summary;
        data.SetCellText(1, 2, QString::number(m.nCount));
        const uint16_t values[4] = {m.nAverage, m.nMinimum, m.nMaximum, m.nDeviation};
        for (int c = 0; c < 4; ++c)
            data.SetCellText(2 + c, 2, QString::fromStdString(FormatSummaryForce(values[c])));
    }
    for (const SExportRow& record : report.m_vRows) {
        if (!output) {   // an unticked record that must not appear
            data.SetRowCount(++row);
            data.SetCellText(1, row, "0");
            data.SetCellText(3, row, "1999-01-01 00:00:00");
        }
        data.SetRowCount(++row);
        const QString texts[5] = {QString::number(row - 3), QString::fromStdString(record.TimeText()),
                                  QString::fromStdString(record.ForceText()),
                                  QString::fromUtf8(record.ModelName()), "-"};
        if (output) {
            for (int c = 1; c <= 5; ++c)
                data.SetCellText(c, row, texts[c - 1]);
        } else {
            data.SetCellText(1, row, "1");
            for (int c = 3; c <= 5; ++c)
                data.SetCellText(c, row, texts[c - 2]);
        }
    }

    CDlgExport dlg;
    ASSERT_TRUE(dlg.Create());
    CSpreadSheet& grid = *dlg.m_gridReport[output ? 1 : 0];
    CReportExport::FillHeader(grid, info);
    if (output)
        CReportExport::FillOutput(grid, data);
    else
        CReportExport::FillMemory(grid, data);
    QString error;
    ASSERT_TRUE(grid.SaveAsExcel(path, &error)) << error.toStdString();
}

TEST(ReportBook, SameWorkbookAsTheWindowsExport)
{
    UseKoreanTime();
    CScratchDir dir;
    std::system(("mkdir '" + dir.File("window") + "' '" + dir.File("book") + "'").c_str());
    for (EExportKind kind : {EExportKind::Memory, EExportKind::Output}) {
        for (int records : {0, 1, 3, 40}) {
            const CExportReport report = Report(kind, records);
            const std::string name = std::string(ExportKindName(kind)) + std::to_string(records) + ".xls";
            WriteThroughWindow(report, QString::fromStdString(dir.File("window/" + name)));
            std::string error;
            ASSERT_TRUE(CReportBook::Save(report, dir.File("book/" + name), &error)) << error;
            const SPythonRun run =
                RunPython(kCompare, {dir.File("window/" + name), dir.File("book/" + name), BREVANE_XLS_DUMP_DIR});
            EXPECT_EQ(run.m_nExit, 0) << name << "\n" << run.m_strOutput;
        }
    }
}

TEST(ReportBook, FailureKeepsTheOldFile)
{
    CScratchDir dir;
    const std::string path = dir.File("old.xls");
    WriteFileBytes(path, "old");
    CExportReport tooBig = Report(EExportKind::Memory, 0);
    tooBig.m_vRows.resize(70000);
    std::string error;
    EXPECT_FALSE(CReportBook::Save(tooBig, path, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(CReportBook::Save(Report(EExportKind::Memory, 1), dir.File("no/such.xls"), &error));
    EXPECT_NE(error.find("no/such.xls"), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string> {"old.xls"});
}

}   // namespace
