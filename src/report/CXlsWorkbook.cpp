#include "CXlsWorkbook.h"

#include "CXlsText.h"
#include "CXlsWriter.h"

#include <algorithm>
#include <cmath>

namespace {

// The part of a format that becomes a FONT record.
std::string FontKey(const CXlsFormat& format)
{
    CXlsFormat font;
    font.m_strFontName = format.m_strFontName;
    font.m_dFontPoints = format.m_dFontPoints;
    font.m_bBold = format.m_bBold;
    font.m_bItalic = format.m_bItalic;
    font.m_bUnderline = format.m_bUnderline;
    font.m_clrFont = format.m_clrFont;
    return font.Key();
}

}  // namespace

CXlsWorkbook::CXlsWorkbook()
{
    m_vFormats.emplace_back();
    m_mapFormatIds.emplace(m_vFormats.front().Key(), 0);
    m_setFontKeys.insert(FontKey(m_vFormats.front()));
}

void CXlsWorkbook::SetSheetName(const std::string& utf8)
{
    m_strSheetName = CXlsText::SanitizeSheetName(CXlsText::FromUtf8(utf8));
}

void CXlsWorkbook::SetDefaultFont(const std::string& utf8Face, double points)
{
    if (!utf8Face.empty())
        m_strDefaultFont = utf8Face;
    if (std::isfinite(points) && points >= 1.0 && points <= 409.0)
        m_dDefaultPoints = points;
}

bool CXlsWorkbook::SetPrintTitleRows(int firstRow, int lastRow)
{
    if (firstRow < 0 || lastRow < firstRow || lastRow >= kMaxRows)
        return false;
    m_nTitleFirstRow = firstRow;
    m_nTitleLastRow = lastRow;
    return true;
}

bool CXlsWorkbook::SetFooter(const std::string& utf8)
{
    std::u16string footer = CXlsText::FromUtf8(utf8);
    if (footer.size() > kMaxFooterUnits)
        return false;
    m_strFooter = std::move(footer);
    return true;
}

int CXlsWorkbook::AddFormat(const CXlsFormat& format)
{
    std::string key = format.Key();
    auto it = m_mapFormatIds.find(key);
    if (it != m_mapFormatIds.end())
        return it->second;
    if (int(m_vFormats.size()) > kMaxFormats)   // id 0 is not a cell XF of ours
        return -1;
    if (CXlsText::FromUtf8(format.m_strNumberFormat).size() > 255)
        return -1;
    std::string fontKey = FontKey(format);
    if (m_setFontKeys.count(fontKey) == 0) {
        if (int(m_setFontKeys.size()) > kMaxFonts)   // the default's key is in the set
            return -1;
        m_setFontKeys.insert(std::move(fontKey));
    }
    const int id = int(m_vFormats.size());
    m_vFormats.push_back(format);
    m_mapFormatIds.emplace(std::move(key), id);
    return id;
}

CXlsWorkbook::SCell* CXlsWorkbook::Place(int row, int column, int format)
{
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns)
        return nullptr;
    if (format < 0 || format >= int(m_vFormats.size()))
        return nullptr;
    if (size_t(row) >= m_vRows.size())
        m_vRows.resize(size_t(row) + 1);
    std::vector<SCell>& cells = m_vRows[size_t(row)].m_vCells;

    // Rows are mostly filled left to right: appending is the common case.
    auto at = cells.end();
    if (!cells.empty() && cells.back().m_nColumn >= column) {
        at = std::lower_bound(cells.begin(), cells.end(), column,
                              [](const SCell& cell, int c) { return cell.m_nColumn < c; });
    }
    if (at == cells.end() || at->m_nColumn != column) {
        SCell blank{};
        blank.m_nColumn = uint16_t(column);
        at = cells.insert(at, blank);
    }
    at->m_nFormat = uint32_t(format);
    return &*at;
}

uint32_t CXlsWorkbook::InternText(const std::u16string& text)
{
    auto it = m_mapTextIds.find(std::u16string_view(text));
    if (it != m_mapTextIds.end())
        return it->second;
    const uint32_t id = uint32_t(m_dqTexts.size());
    m_dqTexts.push_back(text);
    m_mapTextIds.emplace(std::u16string_view(m_dqTexts.back()), id);
    return id;
}

bool CXlsWorkbook::SetText(int row, int column, const std::string& utf8, int format)
{
    return SetText(row, column, CXlsText::FromUtf8(utf8), format);
}

bool CXlsWorkbook::SetText(int row, int column, const std::u16string& text, int format)
{
    SCell* cell = Place(row, column, format);
    if (!cell)
        return false;
    if (text.empty()) {
        cell->m_eKind = CellBlank;
        return true;
    }
    const bool fits = text.size() <= kMaxTextUnits;
    cell->m_eKind = CellText;
    cell->m_nText = InternText(fits ? text : CXlsText::Truncate(text, kMaxTextUnits));
    return fits;
}

bool CXlsWorkbook::SetNumber(int row, int column, double value, int format)
{
    SCell* cell = Place(row, column, format);
    if (!cell)
        return false;
    if (std::isfinite(value)) {
        cell->m_eKind = CellNumber;
        cell->m_dNumber = value;
    } else {
        // The file has no infinity or NaN; #NUM! is what Excel shows for them.
        cell->m_eKind = CellError;
        cell->m_nError = kErrorNum;
    }
    return true;
}

bool CXlsWorkbook::SetBlank(int row, int column, int format)
{
    SCell* cell = Place(row, column, format);
    if (!cell)
        return false;
    cell->m_eKind = CellBlank;
    return true;
}

bool CXlsWorkbook::SetColumnWidth(int column, double characters)
{
    if (column < 0 || column >= kMaxColumns || !std::isfinite(characters) ||
        characters < 0 || characters > 255)
        return false;
    m_mapColumnWidths[column] = uint16_t(std::lround(characters * 256.0) > 0xFFFF
                                             ? 0xFFFF
                                             : std::lround(characters * 256.0));
    return true;
}

bool CXlsWorkbook::SetRowHeight(int row, double points)
{
    if (row < 0 || row >= kMaxRows || !std::isfinite(points) || points < 0.1 ||
        points > 409.5)
        return false;
    if (size_t(row) >= m_vRows.size())
        m_vRows.resize(size_t(row) + 1);
    long twips = std::lround(points * 20.0);
    m_vRows[size_t(row)].m_nHeightTwips = uint16_t(twips < 2 ? 2 : twips);
    return true;
}

bool CXlsWorkbook::MergeCells(int firstRow, int firstColumn, int lastRow, int lastColumn)
{
    if (firstRow < 0 || firstColumn < 0 || lastRow >= kMaxRows || lastColumn >= kMaxColumns ||
        firstRow > lastRow || firstColumn > lastColumn)
        return false;
    if (firstRow == lastRow && firstColumn == lastColumn)
        return false;   // a single cell is no merge; Excel treats it as damage
    for (const SMerge& m : m_vMerges) {
        const bool rowsMeet = firstRow <= m.m_nLastRow && m.m_nFirstRow <= lastRow;
        const bool columnsMeet = firstColumn <= m.m_nLastColumn && m.m_nFirstColumn <= lastColumn;
        if (rowsMeet && columnsMeet)
            return false;
    }
    m_vMerges.push_back({uint16_t(firstRow), uint16_t(lastRow), uint16_t(firstColumn),
                         uint16_t(lastColumn)});
    return true;
}

bool CXlsWorkbook::Save(const std::string& path, std::string* error) const
{
    return CXlsWriter(*this).Save(path, error);
}
