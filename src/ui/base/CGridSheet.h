#pragma once
// The contents of one grid sheet: cell texts, shared cell styles, column
// widths, row heights, joined cells and the header switches. No Qt widgets:
// CSpreadSheet shows a sheet, and a workbook writer walks one through the
// const accessors below.
//
// Addressing: columns and rows count from 1. kHeader (-1000) addresses the
// one header row or header column, kAll (-1) every data row or column.
// Storage holds (rows + 1) x (columns + 1) cells row by row; storage row 0 is
// the column-header row and storage column 0 the row-header column.
//
// Units: a column width counts characters of the grid's default font and a
// row height is in points, as in a spreadsheet (CSpreadSheet converts both
// to twips and pixels).

#include "CGridCellStyle.h"

#include <QString>

#include <functional>
#include <unordered_map>
#include <vector>

class CGridSheet {
public:
    static constexpr int kAll = -1;
    static constexpr int kHeader = -1000;
    static constexpr double kDefaultColumnWidth = 9.0;      // characters
    static constexpr double kDefaultHeaderColumnWidth = 4.0;
    static constexpr double kDefaultRowHeight = 12.75;      // points
    // Upper bound of (rows + 1) x (columns + 1): a mistyped count must fail,
    // not exhaust the memory.
    static constexpr long long kMaxCells = 20000000;

    struct CCell {
        QString strText;
        uint32_t nStyle = 0;
    };
    struct CSpan {
        int nCol = 0, nRow = 0, nCols = 1, nRows = 1;   // anchor and extent, data cells
        bool Contains(int col, int row) const
        {
            return col >= nCol && col < nCol + nCols && row >= nRow && row < nRow + nRows;
        }
    };

    CGridSheet(int columns = 10, int rows = 10);

    int ColumnCount() const { return m_nCols; }
    int RowCount() const { return m_nRows; }
    // New cells take the style of their column (set with row kAll), new
    // columns the style of the whole sheet. False for a negative or too
    // large count (nothing changes).
    bool SetColumnCount(int columns);
    bool SetRowCount(int rows);

    // One addressable cell: a data cell, a header cell, or the corner.
    bool IsCell(int col, int row) const;
    const QString& Text(int col, int row) const;            // empty when no such cell
    // Writes only when the text differs; true when it wrote.
    bool SetText(int col, int row, const QString& text);
    const CGridCellStyle& Style(int col, int row) const;    // default style when no such cell
    uint32_t StyleIndex(int col, int row) const;
    const CGridCellStyle& StyleAt(uint32_t index) const { return m_vStyles[index]; }
    std::size_t StyleCount() const { return m_vStyles.size(); }

    // Applies f to the style of every cell the address names (kAll and
    // kHeader allowed). With row kAll the column styles change too, so rows
    // added later look the same; with both kAll the sheet style as well.
    bool ModifyStyles(int col, int row, const std::function<void(CGridCellStyle&)>& f);
    // The same for the rectangle col..col2 x row..row2 of data cells. A
    // first column or row of kAll names the whole axis as above (column
    // styles, sheet style), and holds on a sheet without rows; a second one
    // of kAll means up to the present last column or row.
    bool ModifyRangeStyles(int col, int row, int col2, int row2,
                           const std::function<void(CGridCellStyle&)>& f);
    // Empties the texts of a rectangle of data cells; styles stay.
    bool ClearTexts(int col, int row, int col2, int row2);

    double ColumnWidth(int col) const;          // 1..n or kHeader; 0 otherwise
    bool SetColumnWidth(int col, double width); // kAll: every data column and new ones
    // Row 1..n or kHeader; a row past the end reports the height a new row gets.
    double RowHeight(int row) const;
    bool SetRowHeight(int row, double height);  // kAll: every data row and new ones
    double DefaultRowHeight() const { return m_dDefaultRowHeight; }
    bool HasOwnRowHeight(int row) const;        // set for this row alone

    // Joins cols x rows data cells into one, anchored at (col, row).
    // False when the block leaves the sheet or overlaps another join.
    bool Join(int col, int row, int cols, int rows);
    bool Split(int col, int row);               // undoes the join holding the cell
    const std::vector<CSpan>& Spans() const { return m_vSpans; }
    const CSpan* SpanAt(int col, int row) const;

    // Copies rows first..last (texts, styles, heights, joins inside the
    // range) so that they start at dest; overlapping ranges copy as if
    // through a buffer. The sheet grows when the copy runs past its end.
    bool CopyRows(int first, int last, int dest);

    bool ColumnHeadersShown() const { return m_bColHeadersShown; }
    bool RowHeadersShown() const { return m_bRowHeadersShown; }
    void SetColumnHeadersShown(bool shown) { m_bColHeadersShown = shown; }
    void SetRowHeadersShown(bool shown) { m_bRowHeadersShown = shown; }

private:
    bool ResolveAxis(int address, int count, int& first, int& last) const;
    std::size_t Index(int storageCol, int storageRow) const
    {
        return std::size_t(storageRow) * std::size_t(m_nCols + 1) + std::size_t(storageCol);
    }
    uint32_t Intern(const CGridCellStyle& style);
    void DropSpansOutside();
    // Applies f to the cells c1..c2 x r1..r2 (storage indexes), and to the
    // column styles of c1..c2 and the sheet style when asked.
    void RemapStyles(int c1, int c2, int r1, int r2, bool columnStyles, bool sheetStyle,
                     const std::function<void(CGridCellStyle&)>& f);

    int m_nCols = 0;
    int m_nRows = 0;
    std::vector<CCell> m_vCells;
    std::vector<uint32_t> m_vColumnStyle;   // per storage column, for rows added later
    uint32_t m_nSheetStyle = 0;             // for columns added later
    std::vector<CGridCellStyle> m_vStyles;
    std::unordered_map<CGridCellStyle, uint32_t, CGridCellStyleHash> m_mapStyles;
    std::vector<double> m_vColWidth;        // per storage column
    double m_dDefaultColWidth = kDefaultColumnWidth;
    std::vector<double> m_vRowHeight;       // per storage row (0 = header); < 0: the default
    double m_dDefaultRowHeight = kDefaultRowHeight;
    std::vector<CSpan> m_vSpans;
    bool m_bColHeadersShown = true;
    bool m_bRowHeadersShown = true;
};
