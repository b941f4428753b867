#include "CXlsxExport.h"
#include "ExportTestSupport.h"

namespace {

// openpyxl checks the cell types, the header, the table's frozen heading row
// and its autofilter. Arguments: path, kind, heading row (1-based).
const char* const kCheck = R"PY(
import sys, datetime, openpyxl
path, kind, head = sys.argv[1], sys.argv[2], int(sys.argv[3])
ws = openpyxl.load_workbook(path).active
def v(ref): return ws[ref].value
assert ws.title == ('연속 측정 모드 데이터' if kind == 'OUTPUT' else '저장 압력 확인 데이터'), ws.title
assert v('A1') == ws.title
assert [v('A2'), v('B2'), v('C2'), v('D2')] == ['작성 일시', '2026-03-07 09:00:00', '회사 명', '회사\ufffd']
# A control character travels in the file's own escape, which openpyxl leaves as it is.
assert v('B3') in ('정기\n점검\x01', '정기\n점검_x0001_'), v('B3')
assert [v('D3'), v('B4'), v('D4'), v('D5')] == ['=1+1', '계측기 "A"', 'SN\\0042', '1.07']
assert ws['D3'].data_type == 's', 'typed text stays text, never a formula'
assert v('B6').startswith('실패 (-1086)') and v('D6') == 3, (v('B6'), v('D6'))
assert v('B7') == 'UTC+09:00', v('B7')
if kind == 'OUTPUT':
    assert [v('A9'), v('B9'), v('E9')] == ['측정횟수', '압력 평균 값', '압력 편차']
    assert [v('A10'), v('B10'), v('C10'), v('D10'), v('E10')] == [2, 123.45, 0.05, 655.35, 2.5]
else:
    assert v('B5').startswith('MEMORY'), v('B5')
h = head
assert [c.value for c in ws[h]] == ['NO.', '측정 시간', '측정 압력 값', '단위', '원시 값 (0.1 KN)', '로드셀 종류', '로드셀 번호']
assert ws.freeze_panes == 'A%d' % (h + 1), ws.freeze_panes
assert ws.auto_filter.ref == 'A%d:G%d' % (h, h + 3), ws.auto_filter.ref
r1, r2, r3 = ws[h + 1], ws[h + 2], ws[h + 3]
assert r1[0].value == 1 and r1[1].value == datetime.datetime(2026, 3, 5, 14, 7, 9), r1[1].value
assert r1[1].is_date and r1[2].number_format == '0.0'
force = 123.4 if kind == 'OUTPUT' else 12.5
unit = 'kN' if kind == 'OUTPUT' else 't'
assert [r1[2].value, r1[3].value, r1[4].value, r1[5].value, r1[6].value] == [force, unit, 1234, 'VR150', 1]
assert r2[1].value == '시간 오류 (2026-00-05 08:00:00)' and r2[5].value is None and r2[6].value == 3, r2[1].value
assert r3[2].value == (6553.5 if kind == 'OUTPUT' else 668.7) and r3[4].value == 65535
assert ws.max_row == h + 3, ws.max_row
assert ws.column_dimensions['B'].width > 20
)PY";

TEST(XlsxExport, ReadsBackInOpenpyxl)
{
    UseKoreanTime();
    CScratchDir dir;
    for (EExportKind kind : {EExportKind::Memory, EExportKind::Output}) {
        const CExportReport report = FilledReport(kind);
        const std::string path = dir.File(std::string(ExportKindName(kind)) + ".xlsx");
        std::string error;
        ASSERT_TRUE(CXlsxExport::Write(report, path, &error)) << error;
        const SPythonRun run = RunPython(kCheck, {path, ExportKindName(kind),
                                                  std::to_string(CXlsxExport::HeadingRow(report) + 1)});
        EXPECT_EQ(run.m_nExit, 0) << ExportKindName(kind) << "\n" << run.m_strOutput;
    }
    EXPECT_EQ(dir.Entries().size(), 2u);
}

TEST(XlsxExport, RefusalsLeaveTheOldFile)
{
    CScratchDir dir;
    const std::string path = dir.File("old.xlsx");
    WriteFileBytes(path, "old");
    CExportReport tooMany;
    tooMany.m_vRows.resize(size_t(CXlsxExport::kMaxRows));
    std::string error;
    EXPECT_FALSE(CXlsxExport::Write(tooMany, path, &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(CXlsxExport::Write(CExportReport(), dir.File("missing/new.xlsx"), &error));
    EXPECT_NE(error.find("missing/new.xlsx"), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string> {"old.xlsx"});
}

}   // namespace
