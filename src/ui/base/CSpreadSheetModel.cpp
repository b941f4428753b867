#include "CSpreadSheetModel.h"

#include "CAppTheme.h"

#include <QFont>

#include <algorithm>

namespace {
// Spreadsheet header labels: A..Z, AA..AZ, ...
QString ColumnLetters(int col)
{
    QString s;
    while (col > 0) {
        const int rem = (col - 1) % 26;
        s.prepend(QChar('A' + rem));
        col = (col - 1) / 26;
    }
    return s;
}

bool IsTickedText(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok && v != 0;
}
}   // namespace

CSpreadSheetModel::CSpreadSheetModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    m_vSheets.push_back(std::make_unique<CGridSheet>());
}

CSpreadSheetModel::~CSpreadSheetModel() = default;

bool CSpreadSheetModel::SetSheetCount(int count)
{
    if (count < 1 || count > 256)
        return false;
    if (count == SheetCount())
        return true;
    const bool shownGoes = m_nShown >= count;
    if (shownGoes)
        beginResetModel();
    m_vSheets.resize(std::size_t(count));
    for (auto& sheet : m_vSheets)
        if (!sheet)
            sheet = std::make_unique<CGridSheet>();
    if (shownGoes) {
        m_nShown = 0;
        endResetModel();
        emit SheetShapeChanged();
    }
    return true;
}

bool CSpreadSheetModel::SetShownSheet(int index)
{
    if (index < 0 || index >= SheetCount())
        return false;
    if (index == m_nShown)
        return true;
    beginResetModel();
    m_nShown = index;
    endResetModel();
    emit SheetShapeChanged();
    return true;
}

bool CSpreadSheetModel::SetText(int sheet, int col, int row, const QString& text)
{
    if (!MutableSheet(sheet).SetText(col, row, text))
        return false;
    if (sheet == m_nShown)
        CellsChanged(sheet, col, row, col, row);
    return true;
}

bool CSpreadSheetModel::SetRowCount(int sheet, int rows)
{
    CGridSheet& s = MutableSheet(sheet);
    const int old = s.RowCount();
    if (rows == old)
        return true;
    if (sheet != m_nShown)
        return s.SetRowCount(rows);
    if (rows < 0 || (long long)(rows + 1) * (long long)(s.ColumnCount() + 1) > CGridSheet::kMaxCells)
        return false;
    if (rows > old) {
        beginInsertRows(QModelIndex(), old, rows - 1);
        s.SetRowCount(rows);
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), rows, old - 1);
        s.SetRowCount(rows);
        endRemoveRows();
    }
    // New rows take the header's default height and no joins: the view needs
    // no new layout (which would cost the whole sheet for every added row).
    return true;
}

bool CSpreadSheetModel::SetColumnCount(int sheet, int columns)
{
    CGridSheet& s = MutableSheet(sheet);
    const int old = s.ColumnCount();
    if (columns == old)
        return true;
    if (sheet != m_nShown)
        return s.SetColumnCount(columns);
    if (columns < 0
        || (long long)(columns + 1) * (long long)(s.RowCount() + 1) > CGridSheet::kMaxCells)
        return false;
    if (columns > old) {
        beginInsertColumns(QModelIndex(), old, columns - 1);
        s.SetColumnCount(columns);
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), columns, old - 1);
        s.SetColumnCount(columns);
        endRemoveColumns();
    }
    emit SheetShapeChanged();
    return true;
}

bool CSpreadSheetModel::SetHeadersShown(int sheet, bool columnHeaders, bool rowHeaders)
{
    CGridSheet& s = MutableSheet(sheet);
    s.SetColumnHeadersShown(columnHeaders);
    s.SetRowHeadersShown(rowHeaders);
    if (sheet == m_nShown)
        emit SheetShapeChanged();
    return true;
}

void CSpreadSheetModel::CellsChanged(int sheet, int col, int row, int col2, int row2)
{
    if (sheet != m_nShown)
        return;
    const CGridSheet& s = Shown();
    if (col == CGridSheet::kHeader || row == CGridSheet::kHeader) {
        if (row == CGridSheet::kHeader && s.ColumnCount() > 0)
            emit headerDataChanged(Qt::Horizontal, 0, s.ColumnCount() - 1);
        if (col == CGridSheet::kHeader && s.RowCount() > 0)
            emit headerDataChanged(Qt::Vertical, 0, s.RowCount() - 1);
        return;
    }
    if (col == CGridSheet::kAll) { col = 1; col2 = s.ColumnCount(); }
    if (row == CGridSheet::kAll) { row = 1; row2 = s.RowCount(); }
    if (col2 == CGridSheet::kAll) col2 = s.ColumnCount();
    if (row2 == CGridSheet::kAll) row2 = s.RowCount();
    col = std::max(col, 1);
    row = std::max(row, 1);
    col2 = std::min(col2, s.ColumnCount());
    row2 = std::min(row2, s.RowCount());
    if (col > col2 || row > row2)
        return;
    emit dataChanged(index(row - 1, col - 1), index(row2 - 1, col2 - 1));
}

int CSpreadSheetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Shown().RowCount();
}

int CSpreadSheetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Shown().ColumnCount();
}

COLORREF CSpreadSheetModel::BackOf(const CGridCellStyle& style, bool header) const
{
    return style.BackOr(header ? m_clrHeaderBack : CGridCellStyle::kDefaultBack);
}

COLORREF CSpreadSheetModel::ForeOf(const CGridCellStyle& style, bool header) const
{
    return style.ForeOr(header ? m_clrHeaderFore : CGridCellStyle::kDefaultFore);
}

void CSpreadSheetModel::SetHeaderColours(COLORREF back, COLORREF fore)
{
    m_clrHeaderBack = back;
    m_clrHeaderFore = fore;
}

QVariant CSpreadSheetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const CGridSheet& s = Shown();
    const int col = index.column() + 1;
    const int row = index.row() + 1;
    const CGridCellStyle& style = s.Style(col, row);
    switch (role) {
    case Qt::DisplayRole:
        if (style.eType == EGridCellType::Button || style.eType == EGridCellType::CheckBox)
            return style.strCaption;
        return s.Text(col, row);
    case Qt::EditRole:
        return s.Text(col, row);
    case Qt::CheckStateRole:
        if (style.eType != EGridCellType::CheckBox)
            return QVariant();
        return IsTickedText(s.Text(col, row)) ? Qt::Checked : Qt::Unchecked;
    case Qt::BackgroundRole:
        return CAppTheme::ToQColor(BackOf(style, false));
    case Qt::ForegroundRole:
        return CAppTheme::ToQColor(ForeOf(style, false));
    case Qt::FontRole: {
        QFont font(style.strFontName);
        if (style.fFontSize > 0.0f)
            font.setPointSizeF(double(style.fFontSize));
        font.setBold(style.bBold);
        return font;
    }
    case Qt::TextAlignmentRole: {
        int a = style.eHAlign == EGridHAlign::Center ? Qt::AlignHCenter
              : style.eHAlign == EGridHAlign::Right  ? Qt::AlignRight
                                                     : Qt::AlignLeft;
        a |= style.eVAlign == EGridVAlign::Center ? Qt::AlignVCenter
           : style.eVAlign == EGridVAlign::Bottom ? Qt::AlignBottom
                                                  : Qt::AlignTop;
        return a;
    }
    default:
        return QVariant();
    }
}

bool CSpreadSheetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    SetText(m_nShown, index.column() + 1, index.row() + 1, value.toString());
    return true;
}

QVariant CSpreadSheetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    const CGridSheet& s = Shown();
    const QString& text = orientation == Qt::Horizontal ? s.Text(section + 1, CGridSheet::kHeader)
                                                        : s.Text(CGridSheet::kHeader, section + 1);
    if (!text.isEmpty())
        return text;
    return orientation == Qt::Horizontal ? ColumnLetters(section + 1) : QString::number(section + 1);
}

Qt::ItemFlags CSpreadSheetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const CGridCellStyle& style = Shown().Style(index.column() + 1, index.row() + 1);
    if (!style.bLocked && (style.eType == EGridCellType::Edit || style.eType == EGridCellType::Number))
        f |= Qt::ItemIsEditable;
    return f;
}
