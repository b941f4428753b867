// brevane_xls_sample OUTDIR
// Writes sample workbooks into OUTDIR together with manifest.json, which
// lists every cell, format, merge, width and height each file must show.
// check_xls_samples.py reads the files back with an independent reader and
// compares them with the manifest.

#include "CXlsText.h"
#include "CXlsWorkbook.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string JsonText(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string JsonColour(uint32_t colour)
{
    if (colour == kXlsAutoColour)
        return "null";
    char text[16];
    std::snprintf(text, sizeof text, "[%u,%u,%u]", colour & 0xFF, (colour >> 8) & 0xFF,
                  (colour >> 16) & 0xFF);
    return text;
}

std::string JsonNumber(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A workbook that notes everything put into it for the manifest.
class CSample {
public:
    explicit CSample(std::string file) : m_strFile(std::move(file)) {}

    int Format(const CXlsFormat& format)
    {
        const int id = m_book.AddFormat(format);
        m_mapFormats[id] = format;
        return id;
    }
    void Text(int row, int column, const std::string& text, int format = 0)
    {
        m_book.SetText(row, column, text, format);
        Note(row, column, "t", JsonText(text), format);
    }
    void Number(int row, int column, double value, int format = 0)
    {
        m_book.SetNumber(row, column, value, format);
        Note(row, column, std::isfinite(value) ? "n" : "e",
             std::isfinite(value) ? JsonNumber(value) : "36", format);
    }
    void Blank(int row, int column, int format)
    {
        m_book.SetBlank(row, column, format);
        Note(row, column, "b", "null", format);
    }
    void Merge(int r1, int c1, int r2, int c2)
    {
        if (m_book.MergeCells(r1, c1, r2, c2))
            m_vMerges.push_back({r1, r2, c1, c2});
    }
    void Width(int column, double characters)
    {
        if (m_book.SetColumnWidth(column, characters))
            m_mapWidths[column] = int(std::lround(characters * 256));
    }
    void Height(int row, double points)
    {
        if (m_book.SetRowHeight(row, points))
            m_mapHeights[row] = int(std::lround(points * 20));
    }
    void Sheet(const std::string& name, const std::string& expected)
    {
        m_book.SetSheetName(name);
        m_strSheet = expected;
    }
    void ExactColours(bool exact) { m_bExactColours = exact; }
    void FitToWidth() { m_book.SetFitToPageWidth(true); }

    bool Save(const std::string& dir)
    {
        std::string error;
        if (!m_book.Save(dir + "/" + m_strFile, &error)) {
            std::fprintf(stderr, "%s: %s\n", m_strFile.c_str(), error.c_str());
            return false;
        }
        return true;
    }

    std::string Manifest() const
    {
        std::ostringstream j;
        j << "{\"file\":" << JsonText(m_strFile) << ",\"sheet\":" << JsonText(m_strSheet)
          << ",\"exact_colours\":" << (m_bExactColours ? "true" : "false")
          << ",\"default_font\":" << JsonText(m_book.DefaultFontName())
          << ",\"default_points\":" << JsonNumber(m_book.DefaultFontPoints())
          << ",\"formats\":{";
        bool first = true;
        for (const auto& f : m_mapFormats) {
            const CXlsFormat& x = f.second;
            j << (first ? "" : ",") << "\"" << f.first << "\":{\"font\":"
              << JsonText(x.m_strFontName) << ",\"points\":" << JsonNumber(x.m_dFontPoints)
              << ",\"bold\":" << (x.m_bBold ? "true" : "false")
              << ",\"italic\":" << (x.m_bItalic ? "true" : "false")
              << ",\"font_colour\":" << JsonColour(x.m_clrFont)
              << ",\"fill\":" << JsonColour(x.m_clrFill) << ",\"edges\":[";
            for (int e = 0; e < CXlsFormat::EdgeCount; ++e) {
                j << (e ? "," : "") << "[" << int(x.m_aEdge[e].m_eLine) << ","
                  << JsonColour(x.m_aEdge[e].m_clrLine) << "]";
            }
            j << "],\"halign\":" << int(x.m_eHAlign) << ",\"valign\":" << int(x.m_eVAlign)
              << ",\"wrap\":" << (x.m_bWrap ? "true" : "false")
              << ",\"number_format\":" << JsonText(x.m_strNumberFormat) << "}";
            first = false;
        }
        j << "},\"cells\":[" << m_strCells << "],\"merges\":[";
        for (size_t i = 0; i < m_vMerges.size(); ++i) {
            const auto& m = m_vMerges[i];
            j << (i ? "," : "") << "[" << m[0] << "," << m[1] << "," << m[2] << "," << m[3] << "]";
        }
        j << "],\"widths\":{";
        first = true;
        for (const auto& w : m_mapWidths) {
            j << (first ? "" : ",") << "\"" << w.first << "\":" << w.second;
            first = false;
        }
        j << "},\"heights\":{";
        first = true;
        for (const auto& h : m_mapHeights) {
            j << (first ? "" : ",") << "\"" << h.first << "\":" << h.second;
            first = false;
        }
        j << "}}";
        return j.str();
    }

private:
    void Note(int row, int column, const char* kind, const std::string& value, int format)
    {
        // A later write to the same cell replaces the earlier one in the file;
        // the samples never do that, so every note stands.
        if (!m_strCells.empty())
            m_strCells += ",";
        m_strCells += "[" + std::to_string(row) + "," + std::to_string(column) + ",\"" + kind +
                      "\"," + value + "," + std::to_string(format) + "]";
    }

    std::string m_strFile;
    std::string m_strSheet = "Sheet1";
    bool m_bExactColours = true;
    CXlsWorkbook m_book;
    std::map<int, CXlsFormat> m_mapFormats{{0, CXlsFormat()}};
    std::string m_strCells;
    std::vector<std::vector<int>> m_vMerges;
    std::map<int, int> m_mapWidths;
    std::map<int, int> m_mapHeights;
};

// The look of a measurement report: a header block of label/value pairs, a
// title row, column headings and bordered data rows.
void BuildReport(CSample& s, int dataRows)
{
    CXlsFormat label;
    label.m_strFontName = "굴림체";
    label.m_dFontPoints = 10;
    label.m_bBold = true;
    label.m_clrFill = XlsRgb(0xFF, 0xF2, 0xCC);
    label.SetBorder(EXlsLine::Thin, XlsRgb(0x7F, 0x7F, 0x7F));
    label.m_eHAlign = EXlsHAlign::Center;
    label.m_eVAlign = EXlsVAlign::Center;
    const int fLabel = s.Format(label);

    CXlsFormat value = label;
    value.m_bBold = false;
    value.m_clrFill = kXlsAutoColour;
    value.m_eHAlign = EXlsHAlign::Left;
    const int fValue = s.Format(value);

    CXlsFormat title;
    title.m_strFontName = "맑은 고딕";
    title.m_dFontPoints = 16;
    title.m_bBold = true;
    title.m_clrFont = XlsRgb(0x1F, 0x4E, 0x79);
    title.m_aEdge[CXlsFormat::EdgeBottom] = {EXlsLine::Double, XlsRgb(0x1F, 0x4E, 0x79)};
    title.m_eHAlign = EXlsHAlign::Center;
    title.m_eVAlign = EXlsVAlign::Bottom;
    const int fTitle = s.Format(title);

    CXlsFormat unit;
    unit.m_strFontName = "굴림체";
    unit.m_dFontPoints = 9;
    unit.m_bItalic = true;
    unit.m_eHAlign = EXlsHAlign::Right;
    unit.m_eVAlign = EXlsVAlign::Bottom;
    const int fUnit = s.Format(unit);

    CXlsFormat heading = label;
    heading.m_clrFill = XlsRgb(0xDD, 0xEB, 0xF7);
    heading.m_aEdge[CXlsFormat::EdgeBottom] = {EXlsLine::Medium, XlsRgb(0x2E, 0x75, 0xB6)};
    const int fHeading = s.Format(heading);

    CXlsFormat data;
    data.m_strFontName = "굴림체";
    data.m_dFontPoints = 10;
    data.SetBorder(EXlsLine::Thin);
    data.m_eHAlign = EXlsHAlign::Center;
    data.m_eVAlign = EXlsVAlign::Center;
    const int fData = s.Format(data);
    CXlsFormat force = data;
    force.m_eHAlign = EXlsHAlign::Right;
    force.m_strNumberFormat = "0.00";
    const int fForce = s.Format(force);

    static const char* const kLabels[4][2] = {{"작성 일시", "회사 명"},
                                              {"보고서 명", "작성자 명"},
                                              {"측정기 명", "측정기 S/N"},
                                              {nullptr, "버전 정보"}};
    static const char* const kValues[4][2] = {{"2025-03-14 09:30:00", "브레베인 계측"},
                                              {"정기 점검 보고서", "홍길동"},
                                              {"PM-30", "SN-0012345"},
                                              {nullptr, "V1.02"}};
    for (int row = 0; row < 4; ++row) {
        if (kLabels[row][0]) {
            s.Text(row, 0, kLabels[row][0], fLabel);
            s.Blank(row, 1, fLabel);
            s.Merge(row, 0, row, 1);
            s.Text(row, 2, kValues[row][0], fValue);
        }
        s.Text(row, 3, kLabels[row][1], fLabel);
        s.Text(row, 4, kValues[row][1], fValue);
    }
    s.Text(5, 0, std::string(30, ' ') + "저장 압력 확인 데이터", fTitle);
    s.Merge(5, 0, 5, 3);
    s.Text(5, 4, " (단위: 톤)", fUnit);
    s.Height(5, 30);

    static const char* const kHeadings[] = {"NO.", "측정 시간", "측정 압력 값", "로드셀 종류", "기타"};
    for (int c = 0; c < 5; ++c)
        s.Text(6, c, kHeadings[c], fHeading);
    s.Height(6, 21.75);

    static const char* const kModels[] = {"7톤", "15톤", "30톤"};
    for (int i = 0; i < dataRows; ++i) {
        const int row = 7 + i;
        char time[32];
        std::snprintf(time, sizeof time, "2025-03-%02d %02d:%02d:%02d", 1 + i / 8640 % 28,
                      i / 360 % 24, i / 6 % 60, i * 10 % 60);
        s.Number(row, 0, i + 1, fData);
        s.Text(row, 1, time, fData);
        s.Number(row, 2, std::round((i % 300) * 10.37 + 0.25) / 100.0, fForce);
        s.Text(row, 3, kModels[i % 3], fData);
        s.Text(row, 4, "-", fData);
    }

    s.FitToWidth();
    s.Width(0, 10);
    s.Width(1, 22);
    s.Width(2, 15.5);
    s.Width(3, 14);
    s.Width(4, 16);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    std::vector<CSample> samples;

    samples.emplace_back("report.xls");
    samples.back().Sheet("저장 압력 확인 데이터", "저장 압력 확인 데이터");
    BuildReport(samples.back(), 30);
    samples.back().Number(40, 2, std::numeric_limits<double>::quiet_NaN());
    samples.back().Text(41, 0, "emoji 😀 and 한글 mixed");

    samples.emplace_back("big.xls");
    samples.back().Sheet("a/b:c", "a_b_c");
    BuildReport(samples.back(), 10000);

    // Enough text to need many CONTINUE records, with strings crossing
    // record ends in both character widths.
    samples.emplace_back("continue.xls");
    {
        CSample& s = samples.back();
        std::string hangul;
        while (hangul.size() < 3 * 20000)
            hangul += "연속 측정 모드 데이터 ";
        std::string latin;
        while (latin.size() < 30000)
            latin += "continuous measuring mode ";
        s.Text(0, 0, hangul);
        s.Text(1, 0, latin);
        for (int i = 0; i < 3000; ++i) {
            s.Text(2 + i, 0, (i % 2 ? "압력 편차 " : "deviation ") + std::to_string(i * 7919));
            s.Text(2 + i, 1, std::string(size_t(i % 97), i % 3 ? 'x' : 'y') + "끝");
        }
    }

    // More fill colours than the palette has slots: the first 56 exact.
    samples.emplace_back("colours.xls");
    {
        CSample& s = samples.back();
        s.ExactColours(false);
        for (int i = 0; i < 70; ++i) {
            CXlsFormat f;
            f.m_clrFill = XlsRgb(uint8_t(i * 3), uint8_t(255 - i * 2), uint8_t(i * 37 % 256));
            f.m_clrFont = i % 2 ? XlsRgb(0xFF, 0xFF, 0xFF) : kXlsAutoColour;
            f.SetBorder(EXlsLine(1 + i % 7), XlsRgb(uint8_t(i), 0, 0));
            s.Text(i, 0, "색 " + std::to_string(i), s.Format(f));
        }
    }

    std::ofstream manifest(dir + "/manifest.json");
    manifest << "[";
    bool ok = true;
    for (size_t i = 0; i < samples.size(); ++i) {
        ok = samples[i].Save(dir) && ok;
        manifest << (i ? ",\n" : "") << samples[i].Manifest();
    }
    manifest << "]\n";
    manifest.close();
    if (!manifest)
        ok = false;
    return ok ? 0 : 1;
}
