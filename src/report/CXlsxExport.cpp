#include "CXlsxExport.h"

#include "CExportFile.h"
#include "CExportReport.h"
#include "CExportText.h"

#include <xlsxwriter.h>

#include <ctime>
#include <string>

namespace {

// The longest text a cell holds, in characters.
constexpr size_t kMaxCellChars = 32767;

// Columns of the measurement table.
const char* const kHeadings[] = {"NO.",  "측정 시간", "측정 압력 값", "단위",
                                 "원시 값 (0.1 KN)", "로드셀 종류", "로드셀 번호"};
constexpr double kWidths[] = {10, 22, 14, 12, 16, 14, 12};
constexpr int kColumns = int(sizeof kWidths / sizeof kWidths[0]);

const char* const kSummaryHeadings[] = {"측정횟수", "압력 평균 값", "최소 값", "최대 값", "압력 편차"};

// Rows above the table: title, four header rows, the query and the result,
// the time zone, a gap; OUTPUT adds the summary headings and values.
constexpr int kHeaderRows = 8;
constexpr int kSummaryRows = 2;

// Valid UTF-8 of at most kMaxCellChars characters.
std::string CellText(const std::string& text)
{
    std::string valid = CExportText::ValidUtf8(text);
    size_t chars = 0;
    for (size_t i = 0; i < valid.size(); ++i)
        if ((static_cast<unsigned char>(valid[i]) & 0xC0) != 0x80 && ++chars > kMaxCellChars)
            return valid.substr(0, i);
    return valid;
}

std::string DateText(int64_t time)
{
    MeterDateTime when;
    if (!LocalDateTime(time, &when))
        return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", when.nYear, when.nMonth, when.nDay);
    return text;
}

class CSheetWriter {
public:
    CSheetWriter(lxw_worksheet* sheet) : m_pSheet(sheet) {}

    void Text(int row, int col, const std::string& text, lxw_format* format = nullptr)
    {
        Check(worksheet_write_string(m_pSheet, lxw_row_t(row), lxw_col_t(col), CellText(text).c_str(), format));
    }
    void Number(int row, int col, double value, lxw_format* format)
    {
        Check(worksheet_write_number(m_pSheet, lxw_row_t(row), lxw_col_t(col), value, format));
    }
    // A date cell; a time outside the years a spreadsheet can show is
    // written as its text instead.
    void Time(int row, int col, int64_t time, const std::string& fallback, lxw_format* format)
    {
        MeterDateTime when;
        if (!LocalDateTime(time, &when) || when.nYear < 1900 || when.nYear > 9999) {
            Text(row, col, fallback);
            return;
        }
        lxw_datetime cell {when.nYear, when.nMonth, when.nDay, when.nHour, when.nMinute, double(when.nSecond)};
        Check(worksheet_write_datetime(m_pSheet, lxw_row_t(row), lxw_col_t(col), &cell, format));
    }
    void Check(lxw_error result)
    {
        if (result != LXW_NO_ERROR && m_eError == LXW_NO_ERROR)
            m_eError = result;
    }
    lxw_error Error() const { return m_eError; }

private:
    lxw_worksheet* m_pSheet;
    lxw_error m_eError = LXW_NO_ERROR;
};

}   // namespace

int CXlsxExport::HeadingRow(const CExportReport& report)
{
    return kHeaderRows + (report.Kind() == EExportKind::Output ? kSummaryRows + 1 : 0);
}

bool CXlsxExport::Write(const CExportReport& report, const std::string& path, std::string* error)
{
    const int heading = HeadingRow(report);
    if (long(report.m_vRows.size()) > kMaxRows - 1 - heading) {
        if (error)
            *error = "행이 너무 많아 한 시트에 담을 수 없습니다: " + std::to_string(report.m_vRows.size())
                   + "행 (최대 " + std::to_string(kMaxRows - 1 - heading) + "행)";
        return false;
    }

    CExportFile file(path);
    if (!file.Open(error))
        return false;
    file.Release();

    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(file.TempPath().c_str(), &options);
    if (!book) {
        if (error)
            *error = "XLSX 파일을 준비할 수 없습니다: " + path;
        return false;
    }

    lxw_format* title = workbook_add_format(book);
    format_set_bold(title);
    format_set_font_size(title, 14);
    lxw_format* label = workbook_add_format(book);
    format_set_bold(label);
    format_set_bg_color(label, 0xDDEBF7);
    format_set_border(label, LXW_BORDER_THIN);
    lxw_format* value = workbook_add_format(book);
    format_set_border(value, LXW_BORDER_THIN);
    lxw_format* head = workbook_add_format(book);
    format_set_bold(head);
    format_set_bg_color(head, 0xBDD7EE);
    format_set_border(head, LXW_BORDER_THIN);
    format_set_align(head, LXW_ALIGN_CENTER);
    lxw_format* tenths = workbook_add_format(book);
    format_set_num_format(tenths, "0.0");
    lxw_format* hundredths = workbook_add_format(book);
    format_set_num_format(hundredths, "0.00");
    format_set_border(hundredths, LXW_BORDER_THIN);
    lxw_format* integer = workbook_add_format(book);
    format_set_num_format(integer, "0");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd hh:mm:ss");

    lxw_worksheet* sheet = workbook_add_worksheet(book, report.Title());
    CSheetWriter w(sheet);
    for (int c = 0; c < kColumns; ++c)
        w.Check(worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), kWidths[c], nullptr));

    // Title, then label/value pairs in columns A/B and C/D.
    const bool output = report.Kind() == EExportKind::Output;
    w.Text(0, 0, report.Title(), title);
    w.Text(0, 3, output ? "(단위: KN)" : "(단위: 톤)");
    const SExportHeader& h = report.m_header;
    const struct {
        const char* label;
        const std::string* text;
    } left[] = {{"작성 일시", &h.m_strReportDate}, {"보고서 명", &h.m_strReportName}, {"측정기 명", &h.m_strMeterName}},
      right[] = {{"회사 명", &h.m_strCompany},
                 {"작성자 명", &h.m_strAuthor},
                 {"측정기 S/N", &h.m_strSerialNumber},
                 {"버전 정보", &h.m_strVersion}};
    for (int i = 0; i < 4; ++i) {
        if (i < 3) {
            w.Text(1 + i, 0, left[i].label, label);
            w.Text(1 + i, 1, *left[i].text, value);
        }
        w.Text(1 + i, 2, right[i].label, label);
        w.Text(1 + i, 3, *right[i].text, value);
    }
    // The query sits in the gap under the left labels.
    std::string query = ExportKindName(report.Kind());
    if (!output)
        query += " " + DateText(report.m_query.m_tFrom) + " ~ " + DateText(report.m_query.m_tTo);
    w.Text(4, 0, "조회", label);
    w.Text(4, 1, query, value);

    const SExportResult& result = report.m_result;
    std::string outcome = result.m_nCode < 0 ? "실패" : result.m_bComplete ? "완료" : "중단";
    if (result.m_nCode != 0)
        outcome += " (" + std::to_string(result.m_nCode) + ") " + report.ResultText();
    w.Text(5, 0, "결과", label);
    w.Text(5, 1, outcome, value);
    w.Text(5, 2, "받은 건수", label);
    w.Number(5, 3, result.m_nCount, value);
    w.Text(6, 0, "시간대", label);
    w.Text(6, 1, "UTC" + CExportText::UtcOffset(report.m_vRows.empty() || !report.m_vRows.front().m_bTimeValid
                                                   ? int64_t(std::time(nullptr))
                                                   : report.m_vRows.front().m_tWhen),
           value);

    if (output) {
        const int r = kHeaderRows;
        for (int c = 0; c < 5; ++c)
            w.Text(r, c, kSummaryHeadings[c], head);
        if (report.m_query.m_bHasSummary) {
            const OutputSummary& s = report.m_query.m_summary;
            w.Number(r + 1, 0, s.nCount, value);
            const uint16_t values[] = {s.nAverage, s.nMinimum, s.nMaximum, s.nDeviation};
            for (int c = 0; c < 4; ++c)
                w.Number(r + 1, 1 + c, values[c] / 100.0, hundredths);
        }
    }

    for (int c = 0; c < kColumns; ++c)
        w.Text(heading, c, kHeadings[c], head);
    int row = heading;
    for (const SExportRow& record : report.m_vRows) {
        ++row;
        w.Number(row, 0, row - heading, integer);
        if (record.m_bTimeValid)
            w.Time(row, 1, record.m_tWhen, record.TimeText(), date);
        else
            w.Text(row, 1, record.TimeText());
        w.Number(row, 2, record.Force(), tenths);
        w.Text(row, 3, record.Unit());
        w.Number(row, 4, record.m_nRawForce, integer);
        w.Text(row, 5, record.ModelName());
        w.Number(row, 6, record.m_nLoadCellType, integer);
    }
    worksheet_freeze_panes(sheet, lxw_row_t(heading + 1), 0);
    w.Check(worksheet_autofilter(sheet, lxw_row_t(heading), 0, lxw_row_t(row), lxw_col_t(kColumns - 1)));

    // workbook_close frees the workbook whatever happens.
    const lxw_error closed = workbook_close(book);
    const lxw_error failure = w.Error() != LXW_NO_ERROR ? w.Error() : closed;
    if (failure != LXW_NO_ERROR) {
        if (error)
            *error = "XLSX 파일을 쓸 수 없습니다: " + path + " (" + lxw_strerror(failure) + ")";
        return false;
    }
    return file.Commit(error);
}
