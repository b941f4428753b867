#include "CGridSheet.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QString s_strEmpty;
const CGridCellStyle s_defaultStyle;

bool IsUsableSize(double value)
{
    return std::isfinite(value) && value >= 0.0;
}
}   // namespace

CGridSheet::CGridSheet(int columns, int rows)
{
    m_vStyles.push_back(CGridCellStyle());
    m_mapStyles.emplace(m_vStyles.front(), 0u);
    m_vCells.resize(1);
    m_vColumnStyle.assign(1, 0u);
    m_vColWidth.assign(1, kDefaultHeaderColumnWidth);
    m_vRowHeight.assign(1, kDefaultRowHeight);
    SetColumnCount(std::max(columns, 0));
    SetRowCount(std::max(rows, 0));
}

uint32_t CGridSheet::Intern(const CGridCellStyle& style)
{
    auto it = m_mapStyles.find(style);
    if (it != m_mapStyles.end())
        return it->second;
    const uint32_t index = uint32_t(m_vStyles.size());
    m_vStyles.push_back(style);
    m_mapStyles.emplace(style, index);
    return index;
}

bool CGridSheet::SetColumnCount(int columns)
{
    if (columns < 0 || (long long)(columns + 1) * (long long)(m_nRows + 1) > kMaxCells)
        return false;
    if (columns == m_nCols)
        return true;
    const int oldCols = m_nCols;
    std::vector<CCell> cells(std::size_t(m_nRows + 1) * std::size_t(columns + 1));
    for (int r = 0; r <= m_nRows; ++r) {
        for (int c = 0; c <= columns; ++c) {
            CCell& cell = cells[std::size_t(r) * std::size_t(columns + 1) + std::size_t(c)];
            if (c <= oldCols)
                cell = std::move(m_vCells[Index(c, r)]);
            else
                cell.nStyle = r == 0 ? 0u : m_nSheetStyle;
        }
    }
    m_vCells.swap(cells);
    m_nCols = columns;
    m_vColumnStyle.resize(std::size_t(columns + 1), m_nSheetStyle);
    m_vColWidth.resize(std::size_t(columns + 1), m_dDefaultColWidth);
    DropSpansOutside();
    return true;
}

bool CGridSheet::SetRowCount(int rows)
{
    if (rows < 0 || (long long)(rows + 1) * (long long)(m_nCols + 1) > kMaxCells)
        return false;
    if (rows == m_nRows)
        return true;
    const int oldRows = m_nRows;
    m_vCells.resize(std::size_t(rows + 1) * std::size_t(m_nCols + 1));
    for (int r = oldRows + 1; r <= rows; ++r)
        for (int c = 0; c <= m_nCols; ++c)
            m_vCells[Index(c, r)].nStyle = m_vColumnStyle[std::size_t(c)];
    m_nRows = rows;
    m_vRowHeight.resize(std::size_t(rows + 1), -1.0);
    DropSpansOutside();
    return true;
}

void CGridSheet::DropSpansOutside()
{
    m_vSpans.erase(std::remove_if(m_vSpans.begin(), m_vSpans.end(),
                                  [this](const CSpan& s) {
                                      return s.nCol + s.nCols - 1 > m_nCols
                                          || s.nRow + s.nRows - 1 > m_nRows;
                                  }),
                   m_vSpans.end());
}

bool CGridSheet::ResolveAxis(int address, int count, int& first, int& last) const
{
    if (address == kAll) {
        first = 1;
        last = count;   // may be empty
        return true;
    }
    if (address == kHeader) {
        first = last = 0;
        return true;
    }
    if (address >= 1 && address <= count) {
        first = last = address;
        return true;
    }
    return false;
}

bool CGridSheet::IsCell(int col, int row) const
{
    const bool colOk = col == kHeader || (col >= 1 && col <= m_nCols);
    const bool rowOk = row == kHeader || (row >= 1 && row <= m_nRows);
    return colOk && rowOk;
}

const QString& CGridSheet::Text(int col, int row) const
{
    if (!IsCell(col, row))
        return s_strEmpty;
    return m_vCells[Index(col == kHeader ? 0 : col, row == kHeader ? 0 : row)].strText;
}

bool CGridSheet::SetText(int col, int row, const QString& text)
{
    if (!IsCell(col, row))
        return false;
    QString& cell = m_vCells[Index(col == kHeader ? 0 : col, row == kHeader ? 0 : row)].strText;
    if (cell == text)
        return false;
    cell = text;
    return true;
}

uint32_t CGridSheet::StyleIndex(int col, int row) const
{
    if (!IsCell(col, row))
        return 0;
    return m_vCells[Index(col == kHeader ? 0 : col, row == kHeader ? 0 : row)].nStyle;
}

const CGridCellStyle& CGridSheet::Style(int col, int row) const
{
    if (!IsCell(col, row))
        return s_defaultStyle;
    return m_vStyles[StyleIndex(col, row)];
}

bool CGridSheet::ModifyStyles(int col, int row, const std::function<void(CGridCellStyle&)>& f)
{
    int c1, c2, r1, r2;
    if (!ResolveAxis(col, m_nCols, c1, c2) || !ResolveAxis(row, m_nRows, r1, r2))
        return false;
    RemapStyles(c1, c2, r1, r2, row == kAll, row == kAll && col == kAll, f);
    return true;
}

bool CGridSheet::ModifyRangeStyles(int col, int row, int col2, int row2,
                                   const std::function<void(CGridCellStyle&)>& f)
{
    // kAll as the first column or row means the whole axis, including the
    // rows or columns added later - also while the sheet has none yet. As
    // the second it means up to the present last one.
    const bool wholeCols = col == kAll;
    const bool wholeRows = row == kAll;
    if (wholeCols) { col = 1; col2 = m_nCols; }
    if (wholeRows) { row = 1; row2 = m_nRows; }
    if (col2 == kAll) col2 = m_nCols;
    if (row2 == kAll) row2 = m_nRows;
    if (col > col2 && !wholeCols) std::swap(col, col2);
    if (row > row2 && !wholeRows) std::swap(row, row2);
    if (!wholeCols && (col < 1 || col2 > m_nCols))
        return false;
    if (!wholeRows && (row < 1 || row2 > m_nRows))
        return false;
    RemapStyles(col, col2, row, row2, wholeRows, wholeRows && wholeCols, f);
    return true;
}

void CGridSheet::RemapStyles(int c1, int c2, int r1, int r2, bool columnStyles, bool sheetStyle,
                             const std::function<void(CGridCellStyle&)>& f)
{
    // Cells sharing a style share the result: f runs once per distinct style.
    std::vector<uint32_t> remapped(m_vStyles.size(), std::numeric_limits<uint32_t>::max());
    auto remap = [&](uint32_t& index) {
        if (index < remapped.size() && remapped[index] != std::numeric_limits<uint32_t>::max()) {
            index = remapped[index];
            return;
        }
        CGridCellStyle style = m_vStyles[index];
        f(style);
        const uint32_t result = Intern(style);
        if (index < remapped.size())
            remapped[index] = result;
        index = result;
    };

    for (int r = r1; r <= r2; ++r)
        for (int c = c1; c <= c2; ++c)
            remap(m_vCells[Index(c, r)].nStyle);
    // The styles rows and columns added later start from.
    if (columnStyles)
        for (int c = c1; c <= c2; ++c)
            remap(m_vColumnStyle[std::size_t(c)]);
    if (sheetStyle)
        remap(m_nSheetStyle);
}

bool CGridSheet::ClearTexts(int col, int row, int col2, int row2)
{
    if (col == kAll) { col = 1; col2 = m_nCols; }
    if (row == kAll) { row = 1; row2 = m_nRows; }
    if (col2 == kAll) col2 = m_nCols;
    if (row2 == kAll) row2 = m_nRows;
    if (col > col2) std::swap(col, col2);
    if (row > row2) std::swap(row, row2);
    if (col < 1 || row < 1 || col2 > m_nCols || row2 > m_nRows)
        return false;
    for (int r = row; r <= row2; ++r)
        for (int c = col; c <= col2; ++c)
            m_vCells[Index(c, r)].strText.clear();
    return true;
}

double CGridSheet::ColumnWidth(int col) const
{
    if (col == kHeader)
        return m_vColWidth[0];
    if (col >= 1 && col <= m_nCols)
        return m_vColWidth[std::size_t(col)];
    return 0.0;
}

bool CGridSheet::SetColumnWidth(int col, double width)
{
    if (!IsUsableSize(width))
        return false;
    if (col == kAll) {
        std::fill(m_vColWidth.begin() + 1, m_vColWidth.end(), width);
        m_dDefaultColWidth = width;
        return true;
    }
    if (col == kHeader) {
        m_vColWidth[0] = width;
        return true;
    }
    if (col < 1 || col > m_nCols)
        return false;
    m_vColWidth[std::size_t(col)] = width;
    return true;
}

double CGridSheet::RowHeight(int row) const
{
    if (row == kHeader)
        return m_vRowHeight[0];
    if (row >= 1 && row <= m_nRows) {
        const double h = m_vRowHeight[std::size_t(row)];
        return h < 0.0 ? m_dDefaultRowHeight : h;
    }
    if (row > m_nRows)
        return m_dDefaultRowHeight;
    return 0.0;
}

bool CGridSheet::HasOwnRowHeight(int row) const
{
    return row >= 1 && row <= m_nRows && m_vRowHeight[std::size_t(row)] >= 0.0;
}

bool CGridSheet::SetRowHeight(int row, double height)
{
    if (!IsUsableSize(height))
        return false;
    if (row == kAll) {
        std::fill(m_vRowHeight.begin() + 1, m_vRowHeight.end(), -1.0);
        m_dDefaultRowHeight = height;
        return true;
    }
    if (row == kHeader) {
        m_vRowHeight[0] = height;
        return true;
    }
    if (row < 1 || row > m_nRows)
        return false;
    m_vRowHeight[std::size_t(row)] = height;
    return true;
}

const CGridSheet::CSpan* CGridSheet::SpanAt(int col, int row) const
{
    for (const CSpan& s : m_vSpans)
        if (s.Contains(col, row))
            return &s;
    return nullptr;
}

bool CGridSheet::Join(int col, int row, int cols, int rows)
{
    if (cols < 1 || rows < 1 || col < 1 || row < 1 || cols > m_nCols || rows > m_nRows
        || col > m_nCols - cols + 1 || row > m_nRows - rows + 1)
        return false;
    if (cols == 1 && rows == 1)
        return true;   // a single cell is joined already
    const CSpan span{col, row, cols, rows};
    for (const CSpan& s : m_vSpans) {
        if (s.nCol == col && s.nRow == row && s.nCols == cols && s.nRows == rows)
            return true;
        const bool apart = s.nCol + s.nCols <= col || col + cols <= s.nCol
                        || s.nRow + s.nRows <= row || row + rows <= s.nRow;
        if (!apart)
            return false;
    }
    m_vSpans.push_back(span);
    return true;
}

bool CGridSheet::Split(int col, int row)
{
    for (auto it = m_vSpans.begin(); it != m_vSpans.end(); ++it) {
        if (it->Contains(col, row)) {
            m_vSpans.erase(it);
            return true;
        }
    }
    return false;
}

bool CGridSheet::CopyRows(int first, int last, int dest)
{
    if (first < 1 || last < first || last > m_nRows || dest < 1)
        return false;
    const int count = last - first + 1;
    if (dest > m_nRows - count + 1 && !SetRowCount(dest + count - 1))
        return false;
    if (dest == first)
        return true;

    // Joins wholly inside the source, taken before the destination's are dropped.
    std::vector<CSpan> copied;
    for (const CSpan& s : m_vSpans)
        if (s.nRow >= first && s.nRow + s.nRows - 1 <= last)
            copied.push_back(CSpan{s.nCol, s.nRow - first + dest, s.nCols, s.nRows});

    auto copyRow = [this](int from, int to) {
        for (int c = 1; c <= m_nCols; ++c)
            m_vCells[Index(c, to)] = m_vCells[Index(c, from)];
        m_vRowHeight[std::size_t(to)] = m_vRowHeight[std::size_t(from)];
    };
    if (dest > first)
        for (int i = count - 1; i >= 0; --i)
            copyRow(first + i, dest + i);
    else
        for (int i = 0; i < count; ++i)
            copyRow(first + i, dest + i);

    const int destLast = dest + count - 1;
    m_vSpans.erase(std::remove_if(m_vSpans.begin(), m_vSpans.end(),
                                  [dest, destLast](const CSpan& s) {
                                      return s.nRow <= destLast && s.nRow + s.nRows - 1 >= dest;
                                  }),
                   m_vSpans.end());
    for (const CSpan& s : copied)
        Join(s.nCol, s.nRow, s.nCols, s.nRows);
    return true;
}
