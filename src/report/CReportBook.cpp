#include "CReportBook.h"

#include "CExportFile.h"
#include "CExportReport.h"
#include "CXlsWorkbook.h"

#include <cstdio>

namespace {

// The printed report's own light look, as the report templates have it.
const char* const kFace = "굴림체";
constexpr double kTextPoints = 10;
constexpr double kTitlePoints = 14;
constexpr uint32_t kInk = XlsRgb(0, 0, 0);
constexpr uint32_t kPaper = XlsRgb(0xFF, 0xFF, 0xFF);
constexpr uint32_t kLabelFill = XlsRgb(0xDD, 0xEB, 0xF7);
constexpr uint32_t kHeadingFill = XlsRgb(0xBD, 0xD7, 0xEE);

constexpr int kColumns = 5;
constexpr double kWidths[kColumns] = {10, 22, 22, 16, 20};
constexpr double kHeaderRowPoints = 20;
constexpr double kGapRowPoints = 8;
constexpr double kTitleRowPoints = 28;
constexpr double kHeadingRowPoints = 20;
constexpr double kDataRowPoints = 18;

// Rows of the templates, counted from 1 as the grids count them.
constexpr int kTitleRow = 6;
constexpr int kMemoryDataRow = 8;
constexpr int kOutputSummaryRow = 8;
constexpr int kOutputDataRow = 10;

const char* const kDataHeadings[kColumns] = {"NO.", "측정 시간", "측정 압력 값", "로드셀 종류", "기타"};
const char* const kSummaryHeadings[kColumns] = {"측정횟수", "압력 평균 값", "최소 값", "최대 값", "압력 편차"};

CXlsFormat Look(bool boxed, uint32_t fill, bool bold = false)
{
    CXlsFormat f;
    f.m_strFontName = kFace;
    f.m_dFontPoints = kTextPoints;
    f.m_bBold = bold;
    f.m_clrFill = fill;
    f.m_eHAlign = EXlsHAlign::Center;
    f.m_eVAlign = EXlsVAlign::Center;
    if (boxed)
        f.SetBorder(EXlsLine::Thin, kInk);
    return f;
}

// Cells addressed from 1 like the template grids; every cell of the sheet
// gets a record, as the grid writes them all.
class CSheet {
public:
    CSheet(CXlsWorkbook& book) : m_book(book) {}

    void Cell(int col, int row, const std::string& text, int format)
    {
        m_bOk = m_book.SetText(row - 1, col - 1, text, format) && m_bOk;
    }
    void Row(int row, const std::string (&texts)[kColumns], int format, double points)
    {
        for (int c = 1; c <= kColumns; ++c)
            Cell(c, row, texts[c - 1], format);
        m_bOk = m_book.SetRowHeight(row - 1, points) && m_bOk;
    }
    void Check(bool step) { m_bOk = step && m_bOk; }
    bool Ok() const { return m_bOk; }

private:
    CXlsWorkbook& m_book;
    bool m_bOk = true;
};

std::string Number(long long value)
{
    return std::to_string(value);
}

}   // namespace

std::string CReportBook::Title(const CExportReport& report)
{
    const bool output = report.Kind() == EExportKind::Output;
    return std::string(output ? 23 : 30, ' ') + report.Title();
}

bool CReportBook::Build(const CExportReport& report, CXlsWorkbook& book)
{
    const bool output = report.Kind() == EExportKind::Output;
    const size_t records = report.m_vRows.size();
    const int firstData = output ? kOutputDataRow : kMemoryDataRow;
    const size_t lastRow = size_t(firstData) + (records > 1 ? records - 1 : 0);
    if (lastRow > size_t(CXlsWorkbook::kMaxRows))
        return false;

    book.SetFitToPageWidth(true);
    const int plain = book.AddFormat(Look(false, kPaper));
    const int label = book.AddFormat(Look(true, kLabelFill));
    const int value = book.AddFormat(Look(true, kPaper));
    const int heading = book.AddFormat(Look(true, kHeadingFill, true));
    CXlsFormat titleLook = Look(false, kPaper, true);
    titleLook.m_dFontPoints = kTitlePoints;
    titleLook.m_eHAlign = EXlsHAlign::Left;
    titleLook.m_eVAlign = EXlsVAlign::Bottom;
    const int title = book.AddFormat(titleLook);
    CXlsFormat unitLook = Look(false, kPaper);
    unitLook.m_eHAlign = EXlsHAlign::Right;
    unitLook.m_eVAlign = EXlsVAlign::Bottom;
    const int unit = book.AddFormat(unitLook);

    CSheet s(book);
    for (int c = 0; c < kColumns; ++c)
        s.Check(book.SetColumnWidth(c, kWidths[c]));

    // Header: labels in columns 1 (spanning 2) and 4, values in 3 and 5.
    const SExportHeader& h = report.m_header;
    const std::string header[4][kColumns] = {
        {"작성 일시", "", h.m_strReportDate, "회사 명", h.m_strCompany},
        {"보고서 명", "", h.m_strReportName, "작성자 명", h.m_strAuthor},
        {"측정기 명", "", h.m_strMeterName, "측정기 S/N", h.m_strSerialNumber},
        {"", "", "", "버전 정보", h.m_strVersion},
    };
    for (int r = 1; r <= 4; ++r) {
        const bool left = r <= 3;
        const int formats[kColumns] = {left ? label : plain, left ? label : plain, left ? value : plain, label, value};
        for (int c = 1; c <= kColumns; ++c)
            s.Cell(c, r, header[r - 1][c - 1], formats[c - 1]);
        s.Check(book.SetRowHeight(r - 1, kHeaderRowPoints));
        if (left)
            s.Check(book.MergeCells(r - 1, 0, r - 1, 1));
    }
    const std::string blank[kColumns];
    s.Row(5, blank, plain, kGapRowPoints);

    // Title over columns 1 to 4, the unit over column 5.
    s.Row(kTitleRow, blank, plain, kTitleRowPoints);
    s.Cell(1, kTitleRow, Title(report), title);
    s.Cell(5, kTitleRow, output ? "(단위: KN)" : " (단위: 톤)", unit);
    s.Check(book.MergeCells(kTitleRow - 1, 0, kTitleRow - 1, 3));

    const auto headings = [&](int row, const char* const* texts) {
        const std::string row5[kColumns] = {texts[0], texts[1], texts[2], texts[3], texts[4]};
        s.Row(row, row5, heading, kHeadingRowPoints);
    };
    if (output) {
        headings(7, kSummaryHeadings);
        std::string summary[kColumns];
        if (report.m_query.m_bHasSummary) {
            const OutputSummary& m = report.m_query.m_summary;
            summary[0] = Number(m.nCount);
            summary[1] = FormatSummaryForce(m.nAverage);
            summary[2] = FormatSummaryForce(m.nMinimum);
            summary[3] = FormatSummaryForce(m.nMaximum);
            summary[4] = FormatSummaryForce(m.nDeviation);
        }
        s.Row(kOutputSummaryRow, summary, value, kDataRowPoints);
        headings(9, kDataHeadings);
    } else {
        headings(7, kDataHeadings);
    }

    if (records == 0) {
        const std::string empty[kColumns] = {output ? "-" : "1", "-", "-", "-", output ? "" : "-"};
        s.Row(firstData, empty, value, kDataRowPoints);
    }
    long long number = 0;
    for (const SExportRow& row : report.m_vRows) {
        ++number;
        const std::string texts[kColumns] = {Number(number), row.TimeText(), row.ForceText(), row.ModelName(), "-"};
        s.Row(firstData + int(number) - 1, texts, value, kDataRowPoints);
    }
    return s.Ok();
}

bool CReportBook::Save(const CExportReport& report, const std::string& path, std::string* error)
{
    CXlsWorkbook book;
    // Named as the windows name it: the file's name without its last ending.
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    book.SetSheetName(name);
    if (!Build(report, book)) {
        if (error)
            *error = "보고서가 너무 커서 엑셀 97 파일에 담을 수 없습니다: " + std::to_string(report.m_vRows.size())
                   + "행";
        return false;
    }

    CExportFile file(path);
    if (!file.Open(error))
        return false;
    file.Release();
    std::string reason;
    if (!book.Save(file.TempPath(), &reason)) {
        // The reason names the file the user chose, not the temporary one.
        for (size_t at = reason.find(file.TempPath()); at != std::string::npos;
             at = reason.find(file.TempPath(), at + path.size()))
            reason.replace(at, file.TempPath().size(), path);
        if (error)
            *error = reason;
        return false;
    }
    return file.Commit(error);
}
