#include "CSpreadSheet.h"

#include "CAppTheme.h"
#include "CSpreadSheetDelegate.h"
#include "CSpreadSheetModel.h"
#include "DlgFontScaler.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {
QString CssColour(COLORREF colour)
{
    return CAppTheme::ToQColor(colour).name(QColor::HexRgb);
}

// The first and last address an axis address stands for: kAll the data
// range, kHeader and 1..count themselves. False for anything else.
bool AxisRange(int address, int count, int& first, int& last)
{
    if (address == CGridSheet::kAll) {
        first = 1;
        last = count;
        return true;
    }
    if (address == CGridSheet::kHeader || (address >= 1 && address <= count)) {
        first = last = address;
        return true;
    }
    return false;
}
}   // namespace

CSpreadSheet::CSpreadSheet(QWidget* parent)
    : QTableView(parent)
    , m_pModel(new CSpreadSheetModel(this))
{
    DlgFontScaler::InstallFontSubstitutions();
    m_pDelegate = new CSpreadSheetDelegate(this, m_pModel);
    setModel(m_pModel);
    setItemDelegate(m_pDelegate);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setMinimumSectionSize(0);
        header->setHighlightSections(false);
    }
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    connect(m_pModel, &CSpreadSheetModel::SheetShapeChanged, this, &CSpreadSheet::ApplyShownGeometry);
    // Which layout the next one is: rows added at the end, or anything else.
    const auto full = [this] { m_bFullLayout = true; };
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        if (last + 1 != m_pModel->rowCount())
            m_bFullLayout = true;
        else if (m_nAppendedFrom < 0 || first < m_nAppendedFrom)
            m_nAppendedFrom = first;
    });
    connect(m_pModel, &QAbstractItemModel::rowsRemoved, this, full);
    connect(m_pModel, &QAbstractItemModel::rowsMoved, this, full);
    connect(m_pModel, &QAbstractItemModel::columnsInserted, this, full);
    connect(m_pModel, &QAbstractItemModel::columnsRemoved, this, full);
    connect(m_pModel, &QAbstractItemModel::columnsMoved, this, full);
    connect(m_pModel, &QAbstractItemModel::modelReset, this, full);
    connect(m_pModel, &QAbstractItemModel::layoutChanged, this, full);
    connect(m_pModel, &CSpreadSheetModel::SheetShapeChanged, this, full);
    SetScrollBars(3);
    ApplyStyleSheet();
    ApplyShownGeometry();
}

CSpreadSheet::~CSpreadSheet() = default;

CGridSheet& CSpreadSheet::Addressed()
{
    return m_pModel->MutableSheet(m_nAddressed);
}

const CGridSheet& CSpreadSheet::AddressedSheet() const
{
    return m_pModel->Sheet(m_nAddressed);
}

bool CSpreadSheet::IsAddressedShown() const
{
    return m_nAddressed == m_pModel->ShownSheet();
}

bool CSpreadSheet::IsTicked(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok && v != 0;
}

// ---- active cell and texts ----

void CSpreadSheet::SetActiveCell(int col, int row)
{
    m_nActiveCol = col;
    m_nActiveRow = row;
}

QString CSpreadSheet::GetText() const
{
    return AddressedSheet().Text(m_nActiveCol, m_nActiveRow);
}

bool CSpreadSheet::SetText(const QString& text)
{
    const CGridSheet& sheet = AddressedSheet();
    int c1, c2, r1, r2;
    if (!AxisRange(m_nActiveCol, sheet.ColumnCount(), c1, c2)
        || !AxisRange(m_nActiveRow, sheet.RowCount(), r1, r2))
        return false;
    bool wrote = false;
    for (int r = r1; r <= r2; ++r)
        for (int c = c1; c <= c2; ++c)
            wrote |= m_pModel->SetText(m_nAddressed, c, r, text);
    return wrote;
}

QString CSpreadSheet::GetCellText(int col, int row) const
{
    return AddressedSheet().Text(col, row);
}

bool CSpreadSheet::SetCellText(int col, int row, const QString& text)
{
    return m_pModel->SetText(m_nAddressed, col, row, text);
}

bool CSpreadSheet::GetInteger(int col, int row, int* value) const
{
    const CGridSheet& sheet = AddressedSheet();
    int result = 0;
    bool ok = false;
    if (sheet.IsCell(col, row)) {
        const QString text = sheet.Text(col, row).trimmed();
        if (sheet.Style(col, row).eType == EGridCellType::CheckBox) {
            result = IsTicked(text) ? 1 : 0;
            ok = true;
        } else {
            result = text.toInt(&ok);
            if (!ok) {
                const double d = text.toDouble(&ok);
                ok = ok && std::isfinite(d) && std::fabs(d) < 2147483647.0;
                result = ok ? int(std::lround(d)) : 0;
            }
        }
    }
    if (value)
        *value = result;
    return ok;
}

bool CSpreadSheet::SetInteger(int col, int row, int value)
{
    const CGridSheet& sheet = AddressedSheet();
    if (!sheet.IsCell(col, row))
        return false;
    const bool box = sheet.Style(col, row).eType == EGridCellType::CheckBox;
    const QString text = box ? QString(value != 0 ? QStringLiteral("1") : QStringLiteral("0"))
                             : QString::number(value);
    m_pModel->SetText(m_nAddressed, col, row, text);
    return true;
}

// ---- formatting ----

void CSpreadSheet::ModifyActive(const std::function<void(CGridCellStyle&)>& f)
{
    if (Addressed().ModifyStyles(m_nActiveCol, m_nActiveRow, f))
        m_pModel->CellsChanged(m_nAddressed, m_nActiveCol, m_nActiveRow, m_nActiveCol, m_nActiveRow);
}

void CSpreadSheet::SetBackColor(COLORREF colour)
{
    ModifyActive([colour](CGridCellStyle& s) { s.clrBack = colour; });
}

COLORREF CSpreadSheet::GetBackColor() const
{
    return CellBackColor(m_nActiveCol, m_nActiveRow);
}

void CSpreadSheet::SetForeColor(COLORREF colour)
{
    ModifyActive([colour](CGridCellStyle& s) { s.clrFore = colour; });
}

COLORREF CSpreadSheet::GetForeColor() const
{
    return CellForeColor(m_nActiveCol, m_nActiveRow);
}

COLORREF CSpreadSheet::CellBackColor(int col, int row) const
{
    const bool header = col == kHeader || row == kHeader;
    return m_pModel->BackOf(AddressedSheet().Style(col, row), header);
}

COLORREF CSpreadSheet::CellForeColor(int col, int row) const
{
    const bool header = col == kHeader || row == kHeader;
    return m_pModel->ForeOf(AddressedSheet().Style(col, row), header);
}

void CSpreadSheet::SetCellType(EGridCellType type)
{
    ModifyActive([type](CGridCellStyle& s) { s.eType = type; });
}

EGridCellType CSpreadSheet::GetCellType() const
{
    return AddressedSheet().Style(m_nActiveCol, m_nActiveRow).eType;
}

void CSpreadSheet::SetEditMaxLength(int length)
{
    ModifyActive([length](CGridCellStyle& s) { s.nMaxLength = length > 0 ? length : 0; });
}

void CSpreadSheet::SetButtonCaption(const QString& caption)
{
    ModifyActive([&caption](CGridCellStyle& s) { s.strCaption = caption; });
}

void CSpreadSheet::SetCheckBoxCaption(const QString& caption)
{
    ModifyActive([&caption](CGridCellStyle& s) { s.strCaption = caption; });
}

void CSpreadSheet::SetNumberMin(double value)
{
    if (std::isfinite(value))
        ModifyActive([value](CGridCellStyle& s) { s.dMin = value; });
}

void CSpreadSheet::SetNumberMax(double value)
{
    if (std::isfinite(value))
        ModifyActive([value](CGridCellStyle& s) { s.dMax = value; });
}

void CSpreadSheet::SetNumberDecimals(int decimals)
{
    const int d = decimals < 0 ? 0 : (decimals > 15 ? 15 : decimals);
    ModifyActive([d](CGridCellStyle& s) { s.nDecimals = d; });
}

void CSpreadSheet::SetHAlign(EGridHAlign align)
{
    ModifyActive([align](CGridCellStyle& s) { s.eHAlign = align; });
}

void CSpreadSheet::SetVAlign(EGridVAlign align)
{
    ModifyActive([align](CGridCellStyle& s) { s.eVAlign = align; });
}

void CSpreadSheet::SetFontName(const QString& name)
{
    ModifyActive([&name](CGridCellStyle& s) { s.strFontName = name; });
}

QString CSpreadSheet::GetFontName() const
{
    return AddressedSheet().Style(m_nActiveCol, m_nActiveRow).strFontName;
}

void CSpreadSheet::SetFontSize(float points)
{
    if (std::isfinite(points) && points > 0.0f)
        ModifyActive([points](CGridCellStyle& s) { s.fFontSize = points; });
}

float CSpreadSheet::GetFontSize() const
{
    return AddressedSheet().Style(m_nActiveCol, m_nActiveRow).fFontSize;
}

void CSpreadSheet::SetFontBold(bool bold)
{
    ModifyActive([bold](CGridCellStyle& s) { s.bBold = bold; });
}

bool CSpreadSheet::GetFontBold() const
{
    return AddressedSheet().Style(m_nActiveCol, m_nActiveRow).bBold;
}

void CSpreadSheet::SetLock(bool locked)
{
    ModifyActive([locked](CGridCellStyle& s) { s.bLocked = locked; });
}

bool CSpreadSheet::GetLock() const
{
    return AddressedSheet().Style(m_nActiveCol, m_nActiveRow).bLocked;
}

bool CSpreadSheet::SetCellBorder(int col, int row, int col2, int row2, int edges, COLORREF colour,
                                 EGridLine line)
{
    const bool ok = Addressed().ModifyRangeStyles(col, row, col2, row2, [=](CGridCellStyle& s) {
        for (int e = 0; e < 4; ++e)
            if (edges & (1 << e))
                s.edges[e] = CGridBorderEdge{line, colour};
    });
    if (ok)
        m_pModel->CellsChanged(m_nAddressed, col, row, col2, row2);
    return ok;
}

bool CSpreadSheet::ClearRange(int col, int row, int col2, int row2)
{
    const bool ok = Addressed().ClearTexts(col, row, col2, row2);
    if (ok)
        m_pModel->CellsChanged(m_nAddressed, col, row, col2, row2);
    return ok;
}

bool CSpreadSheet::JoinCells(int col, int row, int cols, int rows)
{
    if (!Addressed().Join(col, row, cols, rows))
        return false;
    if (IsAddressedShown() && (cols > 1 || rows > 1))
        setSpan(row - 1, col - 1, rows, cols);
    return true;
}

bool CSpreadSheet::SplitCells(int col, int row)
{
    if (!Addressed().Split(col, row))
        return false;
    if (IsAddressedShown())
        ApplyShownGeometry();
    return true;
}

bool CSpreadSheet::CopyRowRange(int first, int last, int dest)
{
    CGridSheet& sheet = Addressed();
    if (first < 1 || last < first || last > sheet.RowCount() || dest < 1)
        return false;
    const int needed = dest + (last - first);
    if (needed > sheet.RowCount() && !m_pModel->SetRowCount(m_nAddressed, needed))
        return false;
    if (!sheet.CopyRows(first, last, dest))
        return false;
    if (IsAddressedShown()) {
        m_pModel->CellsChanged(m_nAddressed, kAll, dest, kAll, needed);
        ApplyShownGeometry();
    }
    return true;
}

// ---- shape ----

int CSpreadSheet::GetColumnCount() const
{
    return AddressedSheet().ColumnCount();
}

bool CSpreadSheet::SetColumnCount(int columns)
{
    return m_pModel->SetColumnCount(m_nAddressed, columns);
}

int CSpreadSheet::GetRowCount() const
{
    return AddressedSheet().RowCount();
}

bool CSpreadSheet::SetRowCount(int rows)
{
    return m_pModel->SetRowCount(m_nAddressed, rows);
}

void CSpreadSheet::SetColumnHeadersShown(bool shown)
{
    m_pModel->SetHeadersShown(m_nAddressed, shown, AddressedSheet().RowHeadersShown());
}

bool CSpreadSheet::GetColumnHeadersShown() const
{
    return AddressedSheet().ColumnHeadersShown();
}

void CSpreadSheet::SetRowHeadersShown(bool shown)
{
    m_pModel->SetHeadersShown(m_nAddressed, AddressedSheet().ColumnHeadersShown(), shown);
}

bool CSpreadSheet::GetRowHeadersShown() const
{
    return AddressedSheet().RowHeadersShown();
}

// ---- sizes ----

double CSpreadSheet::GetColumnWidth(int col) const
{
    return AddressedSheet().ColumnWidth(col);
}

bool CSpreadSheet::SetColumnWidth(int col, double width)
{
    if (!Addressed().SetColumnWidth(col, width))
        return false;
    if (!IsAddressedShown())
        return true;
    if (col == kHeader) {
        verticalHeader()->setFixedWidth(ColumnWidthToPixels(width));
    } else {
        const int px = ColumnWidthToPixels(width);
        const int first = col == kAll ? 1 : col;
        const int last = col == kAll ? AddressedSheet().ColumnCount() : col;
        for (int c = first; c <= last; ++c)
            horizontalHeader()->resizeSection(c - 1, px);
    }
    return true;
}

double CSpreadSheet::GetRowHeight(int row) const
{
    return AddressedSheet().RowHeight(row);
}

bool CSpreadSheet::SetRowHeight(int row, double height)
{
    if (!Addressed().SetRowHeight(row, height))
        return false;
    if (!IsAddressedShown())
        return true;
    if (row == kHeader)
        horizontalHeader()->setFixedHeight(RowHeightToPixels(height));
    else if (row == kAll)
        ApplyRowHeights();
    else
        verticalHeader()->resizeSection(row - 1, RowHeightToPixels(height));
    return true;
}

int CSpreadSheet::ColumnWidthToPixels(double width) const
{
    const double px = ColumnWidthToTwips(width) * logicalDpiX() / 1440.0;
    return px > 0.0 && px < 1.0e6 ? int(std::lround(px)) : 0;
}

int CSpreadSheet::RowHeightToPixels(double height) const
{
    const double px = RowHeightToTwips(height) * logicalDpiY() / 1440.0;
    return px > 0.0 && px < 1.0e6 ? int(std::lround(px)) : 0;
}

void CSpreadSheet::ApplyRowHeights()
{
    const CGridSheet& sheet = m_pModel->Shown();
    QHeaderView* header = verticalHeader();
    const int defaultPx = RowHeightToPixels(sheet.DefaultRowHeight());
    header->setDefaultSectionSize(defaultPx);
    for (int r = 1; r <= sheet.RowCount(); ++r) {
        const int want = sheet.HasOwnRowHeight(r) ? RowHeightToPixels(sheet.RowHeight(r)) : defaultPx;
        if (header->sectionSize(r - 1) != want)
            header->resizeSection(r - 1, want);
    }
}

void CSpreadSheet::ApplyShownGeometry()
{
    const CGridSheet& sheet = m_pModel->Shown();
    horizontalHeader()->setVisible(sheet.ColumnHeadersShown());
    verticalHeader()->setVisible(sheet.RowHeadersShown());
    horizontalHeader()->setFixedHeight(RowHeightToPixels(sheet.RowHeight(kHeader)));
    verticalHeader()->setFixedWidth(ColumnWidthToPixels(sheet.ColumnWidth(kHeader)));
    for (int c = 1; c <= sheet.ColumnCount(); ++c)
        horizontalHeader()->resizeSection(c - 1, ColumnWidthToPixels(sheet.ColumnWidth(c)));
    ApplyRowHeights();
    clearSpans();
    for (const CGridSheet::CSpan& s : sheet.Spans())
        setSpan(s.nRow - 1, s.nCol - 1, s.nRows, s.nCols);
}

// ---- the control ----

void CSpreadSheet::SetScrollBars(int setting)
{
    if (setting < 0 || setting > 3)
        return;
    m_nScrollBars = setting;
    setHorizontalScrollBarPolicy((setting & 1) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy((setting & 2) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

int CSpreadSheet::GetVerticalScrollBarWidth() const
{
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
}

int CSpreadSheet::GetHorizontalScrollBarHeight() const
{
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar());
}

void CSpreadSheet::SetBorderStyle(int style)
{
    m_nBorderStyle = style == 0 ? 0 : 1;
    ApplyStyleSheet();
}

void CSpreadSheet::SetRedraw(bool redraw)
{
    setUpdatesEnabled(redraw);
    if (redraw)
        viewport()->update();
}

void CSpreadSheet::SetHeaderColors(COLORREF back, COLORREF text)
{
    m_clrHeaderBack = back;
    m_clrHeaderText = text;
    m_pModel->SetHeaderColours(back, text);
    ApplyStyleSheet();
}

void CSpreadSheet::SetGridLineColor(COLORREF colour)
{
    m_clrGridLine = colour;
    ApplyStyleSheet();
}

void CSpreadSheet::SetSelectionColor(COLORREF colour)
{
    m_clrSelection = colour;
    viewport()->update();
}

void CSpreadSheet::SetEmptyAreaColor(COLORREF colour)
{
    m_clrEmptyArea = colour;
    ApplyStyleSheet();
}

void CSpreadSheet::ApplyStyleSheet()
{
    const QString grid = CssColour(m_clrGridLine);
    const QString headerBack = CssColour(m_clrHeaderBack);
    const QString section =
        QStringLiteral("background-color: %1; color: %2; border: none; border-right: 1px solid %3;"
                       " border-bottom: 1px solid %3; padding: 0px;")
            .arg(headerBack, CssColour(m_clrHeaderText), grid);
    setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; background-color: %2; border: %3; }"
                                 " QHeaderView::section { %4 }"
                                 " QTableCornerButton::section { %4 }")
                      .arg(grid, CssColour(m_clrEmptyArea),
                           m_nBorderStyle ? QStringLiteral("1px solid ") + grid : QStringLiteral("none"),
                           section));
}

// ---- sheets ----

int CSpreadSheet::GetSheetCount() const
{
    return m_pModel->SheetCount();
}

bool CSpreadSheet::SetSheetCount(int count)
{
    if (!m_pModel->SetSheetCount(count))
        return false;
    if (m_nAddressed >= count)
        m_nAddressed = 0;
    return true;
}

int CSpreadSheet::GetShownSheet() const
{
    return m_pModel->ShownSheet() + 1;
}

bool CSpreadSheet::SetShownSheet(int sheet)
{
    m_nPressedCol = m_nPressedRow = -1;
    return m_pModel->SetShownSheet(sheet - 1);
}

bool CSpreadSheet::SetAddressedSheet(int sheet)
{
    if (sheet < 1 || sheet > m_pModel->SheetCount())
        return false;
    m_nAddressed = sheet - 1;
    return true;
}

// ---- clicks on buttons and check boxes ----

bool CSpreadSheet::PressCell(const QModelIndex& index)
{
    if (!index.isValid())
        return false;
    const int col = index.column() + 1;
    const int row = index.row() + 1;
    const CGridCellStyle& style = m_pModel->Shown().Style(col, row);
    if (style.bLocked
        || (style.eType != EGridCellType::Button && style.eType != EGridCellType::CheckBox))
        return false;
    m_nPressedCol = col;
    m_nPressedRow = row;
    viewport()->update(visualRect(index));
    return true;
}

void CSpreadSheet::ActivateCell(int col, int row)
{
    const int shown = m_pModel->ShownSheet();
    const CGridSheet& sheet = m_pModel->Sheet(shown);
    const CGridCellStyle& style = sheet.Style(col, row);
    if (style.bLocked)
        return;
    if (style.eType == EGridCellType::CheckBox)
        m_pModel->SetText(shown, col, row,
                          IsTicked(sheet.Text(col, row)) ? QStringLiteral("0") : QStringLiteral("1"));
    else if (style.eType != EGridCellType::Button)
        return;
    emit ButtonClicked(col, row);
}

void CSpreadSheet::mousePressEvent(QMouseEvent* event)
{
    m_nPressedCol = m_nPressedRow = -1;
    if (event->button() == Qt::LeftButton)
        PressCell(indexAt(event->position().toPoint()));
    QTableView::mousePressEvent(event);
}

void CSpreadSheet::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_nPressedCol = m_nPressedRow = -1;
    if (event->button() == Qt::LeftButton && PressCell(indexAt(event->position().toPoint())))
        return;   // a second click on a button or check box is one more click
    QTableView::mouseDoubleClickEvent(event);
}

void CSpreadSheet::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (m_nPressedCol < 0 || event->button() != Qt::LeftButton)
        return;
    const int col = m_nPressedCol;
    const int row = m_nPressedRow;
    m_nPressedCol = m_nPressedRow = -1;
    const QModelIndex index = indexAt(event->position().toPoint());
    viewport()->update();
    if (index.isValid() && index.column() + 1 == col && index.row() + 1 == row)
        ActivateCell(col, row);
}

void CSpreadSheet::doItemsLayout()
{
    const int appendedFrom = m_nAppendedFrom;
    const bool full = m_bFullLayout || appendedFrom < 0;
    m_nAppendedFrom = -1;
    m_bFullLayout = false;
    if (full) {
        QTableView::doItemsLayout();
        return;
    }
    // Scroll bars and headers take the new length; of the cells only the
    // added rows that fall inside the viewport are drawn.
    updateGeometries();
    const int top = rowViewportPosition(appendedFrom);
    const QRect area = viewport()->rect();
    if (top < area.bottom())
        viewport()->update(QRect(area.left(), std::max(top, area.top()), area.width(),
                                 area.bottom() - std::max(top, area.top()) + 1));
}

void CSpreadSheet::changeEvent(QEvent* event)
{
    // A new style or font moves every cell.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::LayoutDirectionChange)
        m_bFullLayout = true;
    QTableView::changeEvent(event);
}

void CSpreadSheet::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex index = currentIndex();
    if (event->key() == Qt::Key_Space && index.isValid()) {
        const CGridCellStyle& style = m_pModel->Shown().Style(index.column() + 1, index.row() + 1);
        if (style.eType == EGridCellType::Button || style.eType == EGridCellType::CheckBox) {
            ActivateCell(index.column() + 1, index.row() + 1);
            return;
        }
    }
    QTableView::keyPressEvent(event);
}
