// brevane_bench_report [PATH]
// Builds and saves a stored-records report of 10,000 data rows (five
// bordered columns, Hangul texts, a header block with merged cells) and
// prints the time taken and how much the process's peak memory grew.
// Targets: well under 0.5 s and under 50 MB.

#include "CXlsWorkbook.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Peak resident set size so far, in kB (VmHWM of /proc/self/status).
long PeakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

constexpr int kDataRows = 10000;

bool WriteReport(const std::string& path, std::string* error)
{
    CXlsWorkbook book;
    book.SetSheetName("저장 압력 확인 데이터");
    book.SetFitToPageWidth(true);

    CXlsFormat label;
    label.m_strFontName = "굴림체";
    label.m_bBold = true;
    label.m_clrFill = XlsRgb(0xFF, 0xF2, 0xCC);
    label.SetBorder(EXlsLine::Thin);
    label.m_eHAlign = EXlsHAlign::Center;
    label.m_eVAlign = EXlsVAlign::Center;
    const int fLabel = book.AddFormat(label);
    CXlsFormat value = label;
    value.m_bBold = false;
    value.m_clrFill = kXlsAutoColour;
    value.m_eHAlign = EXlsHAlign::Left;
    const int fValue = book.AddFormat(value);
    CXlsFormat title;
    title.m_dFontPoints = 16;
    title.m_bBold = true;
    title.m_eHAlign = EXlsHAlign::Center;
    const int fTitle = book.AddFormat(title);
    CXlsFormat heading = label;
    heading.m_clrFill = XlsRgb(0xDD, 0xEB, 0xF7);
    const int fHeading = book.AddFormat(heading);
    CXlsFormat data;
    data.m_strFontName = "굴림체";
    data.SetBorder(EXlsLine::Thin);
    data.m_eHAlign = EXlsHAlign::Center;
    const int fData = book.AddFormat(data);
    data.m_eHAlign = EXlsHAlign::Right;
    data.m_strNumberFormat = "0.00";
    const int fForce = book.AddFormat(data);

    const char* const labels[] = {"작성 일시", "보고서 명", "측정기 명"};
    const char* const values[] = {"2025-03-14 09:30:00", "정기 점검 보고서", "PM-30"};
    const char* const rightLabels[] = {"회사 명", "작성자 명", "측정기 S/N", "버전 정보"};
    const char* const rightValues[] = {"브레베인 계측", "홍길동", "SN-0012345", "V1.02"};
    for (int row = 0; row < 4; ++row) {
        if (row < 3) {
            book.SetText(row, 0, labels[row], fLabel);
            book.MergeCells(row, 0, row, 1);
            book.SetText(row, 2, values[row], fValue);
        }
        book.SetText(row, 3, rightLabels[row], fLabel);
        book.SetText(row, 4, rightValues[row], fValue);
    }
    book.SetText(5, 0, std::string(30, ' ') + "저장 압력 확인 데이터", fTitle);
    book.MergeCells(5, 0, 5, 3);
    book.SetText(5, 4, " (단위: 톤)");
    const char* const headings[] = {"NO.", "측정 시간", "측정 압력 값", "로드셀 종류", "기타"};
    for (int c = 0; c < 5; ++c)
        book.SetText(6, c, headings[c], fHeading);

    const char* const models[] = {"7톤", "15톤", "30톤"};
    char text[32];
    for (int i = 0; i < kDataRows; ++i) {
        const int row = 7 + i;
        std::snprintf(text, sizeof text, "%d", i + 1);
        book.SetText(row, 0, text, fData);
        std::snprintf(text, sizeof text, "2025-03-%02d %02d:%02d:%02d", 1 + i / 8640 % 28,
                      i / 360 % 24, i / 6 % 60, i * 10 % 60);
        book.SetText(row, 1, text, fData);
        book.SetNumber(row, 2, std::round((i % 3000) * 1.037) / 100.0, fForce);
        book.SetText(row, 3, models[i % 3], fData);
        book.SetText(row, 4, "-", fData);
    }
    const double widths[] = {10, 22, 15.5, 14, 16};
    for (int c = 0; c < 5; ++c)
        book.SetColumnWidth(c, widths[c]);
    return book.Save(path, error);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1]
                                      : "/tmp/brevane_bench_report_" + std::to_string(getpid()) +
                                            ".xls";
    const long peakBefore = PeakRssKb();
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    const bool ok = WriteReport(path, &error);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peakAfter = PeakRssKb();
    if (argc <= 1)
        std::remove(path.c_str());
    if (!ok) {
        std::fprintf(stderr, "xls write failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("xls write %d rows: %.3f s\n", kDataRows, seconds);
    std::printf("xls peak memory: %.1f MB\n", double(peakAfter - peakBefore) / 1024.0);
    return 0;
}
