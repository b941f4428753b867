#pragma once
// A workbook with one worksheet, kept in memory until Save writes it as an
// Excel 97-2003 file (.xls). Rows and columns count from 0, as in the file:
// row 0 column 0 is cell A1.
//
// Texts and numbers go into cells with a format id from AddFormat (0 = the
// default look). Equal formats share one id; equal texts are stored once.

#include "CXlsFormat.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CXlsWorkbook {
public:
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxColumns = 256;
    static constexpr size_t kMaxTextUnits = 32767;   // longest text a cell may hold
    static constexpr int kMaxFormats = 4029;         // cell XFs left after the built-in 21
    static constexpr int kMaxFonts = 506;            // fonts left after the built-in 4 (+ gap)

    enum ECellKind : uint8_t { CellBlank = 0, CellText, CellNumber, CellError };
    static constexpr uint8_t kErrorNum = 0x24;   // #NUM!

    struct SCell {
        uint16_t m_nColumn;
        ECellKind m_eKind;
        uint32_t m_nFormat;
        union {
            double m_dNumber;
            uint32_t m_nText;   // index into the text pool
            uint8_t m_nError;   // error code of a CellError
        };
    };

    struct SRow {
        std::vector<SCell> m_vCells;   // ascending by column
        uint16_t m_nHeightTwips = 0;   // 0 = default height
    };

    struct SMerge {
        uint16_t m_nFirstRow, m_nLastRow;
        uint16_t m_nFirstColumn, m_nLastColumn;
    };

    CXlsWorkbook();

    // The tab name, made acceptable (see CXlsText::SanitizeSheetName).
    void SetSheetName(const std::string& utf8);
    const std::u16string& SheetName() const { return m_strSheetName; }

    // Face and size of the default format, which also sets the unit of the
    // column widths. Defaults: "맑은 고딕", 10 pt.
    void SetDefaultFont(const std::string& utf8Face, double points);
    const std::string& DefaultFontName() const { return m_strDefaultFont; }
    double DefaultFontPoints() const { return m_dDefaultPoints; }

    // Printing: scale the sheet so that all its columns fit one page
    // width (as many pages down as needed). Off by default: 100 %.
    void SetFitToPageWidth(bool fit) { m_bFitToWidth = fit; }
    bool FitToPageWidth() const { return m_bFitToWidth; }

    // Printing: rows firstRow..lastRow printed again at the top of every
    // page (the print titles); false and nothing changed for rows outside
    // the sheet or in the wrong order. ClearPrintTitleRows removes them.
    bool SetPrintTitleRows(int firstRow, int lastRow);
    void ClearPrintTitleRows() { m_nTitleFirstRow = m_nTitleLastRow = -1; }
    bool HasPrintTitleRows() const { return m_nTitleFirstRow >= 0; }
    int PrintTitleFirstRow() const { return m_nTitleFirstRow; }
    int PrintTitleLastRow() const { return m_nTitleLastRow; }

    // Printing: the page footer in the codes of Excel's page set-up, e.g.
    // "&C페이지 &P / &N" (&L, &C, &R sections; &P the page, &N the pages;
    // "&&" a plain '&'). At most 255 characters: a longer text is refused
    // with false and the footer stays as it was. Empty: no footer.
    bool SetFooter(const std::string& utf8);
    const std::u16string& Footer() const { return m_strFooter; }
    static constexpr size_t kMaxFooterUnits = 255;

    // The id of a format, equal formats giving the same id; 0 is the
    // default look. -1 when the format cannot be kept: too many distinct
    // formats or fonts for the file, or a number format over 255 characters.
    int AddFormat(const CXlsFormat& format);
    const CXlsFormat& Format(int id) const { return m_vFormats[size_t(id)]; }
    int FormatCount() const { return int(m_vFormats.size()); }

    // Cell setters return false and change nothing when the cell is outside
    // the sheet or the format id is unknown. A text longer than 32767 units
    // is cut to that length and the setter returns false to say so. An empty
    // text makes a blank cell that keeps its format. A number that is not
    // finite is stored as the error value #NUM!.
    bool SetText(int row, int column, const std::string& utf8, int format = 0);
    bool SetText(int row, int column, const std::u16string& text, int format = 0);
    bool SetNumber(int row, int column, double value, int format = 0);
    bool SetBlank(int row, int column, int format);

    // Width in characters of the default font's digit '0' (stored in 1/256
    // of that), 0..255. Height in points, 0.1..409.5. False when out of range.
    bool SetColumnWidth(int column, double characters);
    bool SetRowHeight(int row, double points);

    // A merged area of more than one cell that overlaps no earlier one.
    bool MergeCells(int firstRow, int firstColumn, int lastRow, int lastColumn);

    // Writes the whole file at path or returns false with the reason in
    // *error (which may be null). A failed write leaves no partial file.
    bool Save(const std::string& path, std::string* error) const;

    // Read access for the writer.
    const std::vector<SRow>& Rows() const { return m_vRows; }
    const std::u16string& Text(uint32_t index) const { return m_dqTexts[index]; }
    size_t TextCount() const { return m_dqTexts.size(); }
    const std::map<int, uint16_t>& ColumnWidths() const { return m_mapColumnWidths; }
    const std::vector<SMerge>& Merges() const { return m_vMerges; }

private:
    SCell* Place(int row, int column, int format);
    uint32_t InternText(const std::u16string& text);

    std::u16string m_strSheetName = u"Sheet1";
    std::string m_strDefaultFont = "맑은 고딕";
    double m_dDefaultPoints = 10.0;
    bool m_bFitToWidth = false;
    int m_nTitleFirstRow = -1;   // print titles, -1: none
    int m_nTitleLastRow = -1;
    std::u16string m_strFooter;

    std::vector<CXlsFormat> m_vFormats;
    std::unordered_map<std::string, int> m_mapFormatIds;   // CXlsFormat::Key -> id
    std::unordered_set<std::string> m_setFontKeys;         // font part of each format

    std::vector<SRow> m_vRows;
    std::deque<std::u16string> m_dqTexts;   // a deque keeps the views below valid
    std::unordered_map<std::u16string_view, uint32_t> m_mapTextIds;

    std::map<int, uint16_t> m_mapColumnWidths;   // column -> 1/256 characters
    std::vector<SMerge> m_vMerges;
};
