// CSpreadSheet::SaveAsExcel: the addressed sheet as an Excel 97 workbook
// through the report writer, saved so that an existing file is replaced only
// by a complete new one.

#include "CSpreadSheet.h"

#include "CXlsWorkbook.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// A report is printed: cells that never got a colour come out white with
// black (automatic) text, whatever theme the grid is shown in.
constexpr uint32_t kPaperWhite = XlsRgb(0xFF, 0xFF, 0xFF);

std::u16string U16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
}

EXlsLine LineOf(EGridLine line)
{
    switch (line) {
    case EGridLine::None: return EXlsLine::None;
    case EGridLine::Solid: return EXlsLine::Thin;
    case EGridLine::Dot: return EXlsLine::Dotted;
    case EGridLine::Dash:
    case EGridLine::DashDot:
    case EGridLine::DashDotDot: return EXlsLine::Dashed;
    }
    return EXlsLine::Thin;
}

EXlsHAlign HAlignOf(EGridHAlign align)
{
    switch (align) {
    case EGridHAlign::Left: return EXlsHAlign::Left;
    case EGridHAlign::Right: return EXlsHAlign::Right;
    case EGridHAlign::Center: return EXlsHAlign::Center;
    }
    return EXlsHAlign::General;
}

EXlsVAlign VAlignOf(EGridVAlign align)
{
    switch (align) {
    case EGridVAlign::Top: return EXlsVAlign::Top;
    case EGridVAlign::Bottom: return EXlsVAlign::Bottom;
    case EGridVAlign::Center: return EXlsVAlign::Center;
    }
    return EXlsVAlign::Bottom;
}

// fill and font are 0x00BBGGRR or kXlsAutoColour.
CXlsFormat FormatOf(const CGridCellStyle& style, uint32_t fill, uint32_t font)
{
    CXlsFormat f;
    f.m_strFontName = style.strFontName.toStdString();
    f.m_dFontPoints = style.fFontSize > 0.0f ? double(style.fFontSize) : 0.0;
    f.m_bBold = style.bBold;
    f.m_clrFont = font;
    f.m_clrFill = fill;
    for (int e = 0; e < 4; ++e) {
        const CGridBorderEdge& edge = style.edges[e];
        // The grid's edge order (left, right, top, bottom) is the writer's.
        f.m_aEdge[e].m_eLine = LineOf(edge.eLine);
        f.m_aEdge[e].m_clrLine = edge.eLine == EGridLine::None ? kXlsAutoColour
                                                               : CXlsFormat::NormaliseColour(edge.clr);
    }
    f.m_eHAlign = HAlignOf(style.eHAlign);
    f.m_eVAlign = VAlignOf(style.eVAlign);
    return f;
}

// What the cell shows, as text: a check box its state, a button its caption.
QString ShownText(const CGridCellStyle& style, const QString& text)
{
    switch (style.eType) {
    case EGridCellType::CheckBox: return CSpreadSheet::IsTicked(text) ? QStringLiteral("1") : QStringLiteral("0");
    case EGridCellType::Button: return style.strCaption;
    default: return text;
    }
}

// A, B, ..., Z, AA, AB, ...
QString ColumnLetters(int col)
{
    QString letters;
    for (int n = col; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

QString SystemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Puts from in the place of to in one step; an existing to is replaced.
bool ReplaceFile(const QString& from, const QString& to, QString* reason)
{
#ifdef _WIN32
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(from.utf16()), reinterpret_cast<const wchar_t*>(to.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *reason = QStringLiteral("오류 코드 %1").arg(GetLastError());
    return false;
#else
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *reason = SystemError(errno);
    return false;
#endif
}

// A new empty file beside target, named after it, that nobody else has.
bool CreateTempBeside(const QFileInfo& target, QString* temp, QString* reason)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = target.absolutePath() + QStringLiteral("/.") + target.fileName()
                                + QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate(), 36)
                                + QStringLiteral(".tmp");
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.close();
            *temp = candidate;
            return true;
        }
        if (!QFileInfo::exists(candidate)) {
            *reason = file.errorString();
            return false;
        }
    }
    *reason = QStringLiteral("임시 파일 이름을 정할 수 없습니다");
    return false;
}

}   // namespace

void CSpreadSheet::SetPrintTitleRows(int firstRow, int lastRow)
{
    const bool valid = firstRow >= 1 && lastRow >= firstRow;
    m_nPrintTitleFirst = valid ? firstRow : 0;
    m_nPrintTitleLast = valid ? lastRow : 0;
}

bool CSpreadSheet::SaveAsExcel(const QString& path, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("파일 이름이 없습니다"));

    const CGridSheet& sheet = AddressedSheet();
    // A shown header row or column is part of what the grid shows and is
    // written in front of the data; a hidden one is left out.
    const int rowOffset = sheet.ColumnHeadersShown() ? 1 : 0;
    const int colOffset = sheet.RowHeadersShown() ? 1 : 0;
    const int rows = sheet.RowCount();
    const int cols = sheet.ColumnCount();
    if (rows + rowOffset > CXlsWorkbook::kMaxRows || cols + colOffset > CXlsWorkbook::kMaxColumns)
        return fail(QStringLiteral("표가 너무 큽니다: %1행 %2열 (엑셀 97 파일은 %3행 %4열까지)")
                        .arg(rows)
                        .arg(cols)
                        .arg(CXlsWorkbook::kMaxRows)
                        .arg(CXlsWorkbook::kMaxColumns));

    CXlsWorkbook book;
    const QFileInfo target(path);
    book.SetSheetName(target.completeBaseName().toStdString());   // cut to 31, "Sheet1" when empty
    book.SetFitToPageWidth(true);
    if (m_nPrintTitleFirst > 0)
        book.SetPrintTitleRows(m_nPrintTitleFirst - 1 + rowOffset, m_nPrintTitleLast - 1 + rowOffset);
    // A footer past the file's 255 characters is left out rather than cut
    // in the middle of a page code.
    book.SetFooter(m_strPrintFooter.toStdString());

    // Cells share styles by index, so each style becomes one format once.
    std::vector<int> formatOfStyle(sheet.StyleCount(), -2);
    const auto dataFormat = [&](int col, int row) {
        const uint32_t index = sheet.StyleIndex(col, row);
        int& id = formatOfStyle[index];
        if (id == -2) {
            const CGridCellStyle& style = sheet.StyleAt(index);
            id = book.AddFormat(FormatOf(style, CXlsFormat::NormaliseColour(style.BackOr(kPaperWhite)),
                                         style.clrFore == CGridCellStyle::kDefaultColour
                                             ? kXlsAutoColour
                                             : CXlsFormat::NormaliseColour(style.clrFore)));
        }
        return id;
    };
    // Header cells show the grid's header colours.
    const auto headerFormat = [&](int col, int row) {
        return book.AddFormat(FormatOf(sheet.Style(col, row), CXlsFormat::NormaliseColour(CellBackColor(col, row)),
                                       CXlsFormat::NormaliseColour(CellForeColor(col, row))));
    };
    const QString tooManyFormats = QStringLiteral("서식이 너무 많아 엑셀 97 파일에 담을 수 없습니다");

    if (rowOffset) {
        if (colOffset) {
            const int f = headerFormat(kHeader, kHeader);
            if (f < 0)
                return fail(tooManyFormats);
            book.SetBlank(0, 0, f);
        }
        for (int c = 1; c <= cols; ++c) {
            const int f = headerFormat(c, kHeader);
            if (f < 0)
                return fail(tooManyFormats);
            QString text = sheet.Text(c, kHeader);
            if (text.isEmpty())   // the view shows the column letters then
                text = ColumnLetters(c);
            book.SetText(0, c - 1 + colOffset, U16(text), f);
        }
        book.SetRowHeight(0, std::clamp(sheet.RowHeight(kHeader), 0.1, 409.5));
    }
    if (colOffset)
        book.SetColumnWidth(0, std::clamp(sheet.ColumnWidth(kHeader), 0.0, 255.0));

    for (int r = 1; r <= rows; ++r) {
        const int xr = r - 1 + rowOffset;
        if (colOffset) {
            const int f = headerFormat(kHeader, r);
            if (f < 0)
                return fail(tooManyFormats);
            QString text = sheet.Text(kHeader, r);
            if (text.isEmpty())
                text = QString::number(r);
            book.SetText(xr, 0, U16(text), f);
        }
        for (int c = 1; c <= cols; ++c) {
            const int f = dataFormat(c, r);
            if (f < 0)
                return fail(tooManyFormats);
            // A text past the cell limit of the file is cut there; the rest
            // of the sheet is still worth having.
            book.SetText(xr, c - 1 + colOffset, U16(ShownText(sheet.Style(c, r), sheet.Text(c, r))), f);
        }
        book.SetRowHeight(xr, std::clamp(sheet.RowHeight(r), 0.1, 409.5));
    }
    for (int c = 1; c <= cols; ++c)
        book.SetColumnWidth(c - 1 + colOffset, std::clamp(sheet.ColumnWidth(c), 0.0, 255.0));
    for (const CGridSheet::CSpan& s : sheet.Spans()) {
        if (s.nCols > 1 || s.nRows > 1)
            book.MergeCells(s.nRow - 1 + rowOffset, s.nCol - 1 + colOffset, s.nRow + s.nRows - 2 + rowOffset,
                            s.nCol + s.nCols - 2 + colOffset);
    }

    // The workbook goes to a new file beside the target and replaces it only
    // when complete: a failed save leaves the earlier file as it was.
    QString temp;
    QString reason;
    if (!CreateTempBeside(target, &temp, &reason))
        return fail(QStringLiteral("파일을 만들 수 없습니다: %1 (%2)").arg(path, reason));
    if (QFileInfo::exists(path))
        QFile::setPermissions(temp, QFile::permissions(path));
    std::string writeError;
    if (!book.Save(temp.toStdString(), &writeError)) {
        QFile::remove(temp);
        // The reason names the file the user chose, not the temporary one.
        return fail(QString::fromStdString(writeError).replace(temp, path));
    }
    if (!ReplaceFile(temp, path, &reason)) {
        QFile::remove(temp);
        return fail(QStringLiteral("파일을 저장할 수 없습니다: %1 (%2)").arg(path, reason));
    }
    return true;
}
