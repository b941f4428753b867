#include "CArchiveRecordModel.h"

#include "CSqliteArchive.h"
#include "MeterRecords.h"
#include "MeterTime.h"

#include <QSqlQuery>

#include <algorithm>

CArchiveRecordModel::CArchiveRecordModel(CSqliteArchive& archive, QObject* parent)
    : CArchiveRecordModel([&archive] { return archive.Database(); }, parent)
{
}

CArchiveRecordModel::CArchiveRecordModel(std::function<QSqlDatabase()> database, QObject* parent)
    : QAbstractTableModel(parent), m_fnDatabase(std::move(database))
{
}

QString CArchiveRecordModel::WhereClause() const
{
    // The bounds compare the meter's date fields, as stored, so that a day
    // means the meter's day whatever the PC's time zone.
    QString where = QStringLiteral(" WHERE r.meter_id = %1").arg(m_filter.nMeterId);
    if (m_filter.nFromDay > 0)
        where += QStringLiteral(" AND r.stored_time >= %1").arg(qint64(m_filter.nFromDay) * 1000000);
    if (m_filter.nToDay > 0)
        where += QStringLiteral(" AND r.stored_time <= %1").arg(qint64(m_filter.nToDay) * 1000000 + 235959);
    if (m_filter.nCellType >= 0)
        where += QStringLiteral(" AND r.cell_type = %1").arg(m_filter.nCellType);
    return where;
}

QString CArchiveRecordModel::OrderClause() const
{
    const char* column = "r.stored_time";
    switch (m_nSortColumn) {
    case ColForce: column = "r.raw_force"; break;
    case ColCellType: column = "r.cell_type"; break;
    case ColDownload: column = "d.started"; break;
    default: break;
    }
    const char* dir = m_eSortOrder == Qt::DescendingOrder ? "DESC" : "ASC";
    // The id breaks ties, so that pages neither repeat nor skip rows.
    if (m_nSortColumn == ColTime || m_nSortColumn == ColTick)
        return QStringLiteral(" ORDER BY r.stored_time %1, r.id %1").arg(QLatin1String(dir));
    return QStringLiteral(" ORDER BY %1 %2, r.stored_time %2, r.id %2")
        .arg(QLatin1String(column), QLatin1String(dir));
}

std::vector<CArchiveRecordModel::Row> CArchiveRecordModel::Query(int offset, int limit) const
{
    std::vector<Row> rows;
    if (m_filter.nMeterId == 0)
        return rows;
    QSqlQuery q(m_fnDatabase());
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT r.id, r.stored_time, r.raw_force, r.cell_type, d.started"
                                 " FROM records r JOIN downloads d ON d.id = r.download_id") +
                  WhereClause() + OrderClause();
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1 OFFSET %2").arg(limit).arg(offset);
    if (!q.exec(sql))
        return rows;
    while (q.next()) {
        Row row;
        row.nId = q.value(0).toLongLong();
        row.nStoredTime = q.value(1).toLongLong();
        row.nRawForce = q.value(2).toInt();
        row.nCellType = q.value(3).toInt();
        row.tDownload = q.value(4).toLongLong();
        rows.push_back(row);
    }
    return rows;
}

std::vector<int64_t> CArchiveRecordModel::AllIds() const
{
    std::vector<int64_t> ids;
    if (m_filter.nMeterId == 0)
        return ids;
    QSqlQuery q(m_fnDatabase());
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("SELECT r.id FROM records r") + WhereClause()))
        while (q.next())
            ids.push_back(q.value(0).toLongLong());
    return ids;
}

void CArchiveRecordModel::SetFilter(const Filter& filter)
{
    beginResetModel();
    m_filter = filter;
    m_setTicked.clear();
    m_vRows.clear();
    m_nTotal = 0;
    if (m_filter.nMeterId != 0) {
        QSqlQuery q(m_fnDatabase());
        if (q.exec(QStringLiteral("SELECT count(*) FROM records r") + WhereClause()) && q.next())
            m_nTotal = q.value(0).toInt();
        m_vRows = Query(0, kPageRows);
    }
    endResetModel();
    emit TicksChanged();
}

int64_t CArchiveRecordModel::RecordId(int row) const
{
    return row >= 0 && row < int(m_vRows.size()) ? m_vRows[size_t(row)].nId : 0;
}

int CArchiveRecordModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_vRows.size());
}

int CArchiveRecordModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QString CArchiveRecordModel::TimeText(int64_t storedTime)
{
    return QString::fromStdString(FormatStoredTime(storedTime));
}

QString CArchiveRecordModel::ForceText(int rawForce)
{
    return QString::fromStdString(FormatForceTons(uint16_t(rawForce)));
}

QString CArchiveRecordModel::CellTypeText(int cellType)
{
    return QString::fromUtf8(LoadCellModelName(cellType));
}

QString CArchiveRecordModel::DownloadText(int64_t started)
{
    return QString::fromStdString(FormatLocalTime(started));
}

QVariant CArchiveRecordModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_vRows.size()))
        return QVariant();
    const Row& row = m_vRows[size_t(index.row())];
    if (role == Qt::CheckStateRole && index.column() == ColTick)
        return m_setTicked.count(row.nId) ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case ColTime: return TimeText(row.nStoredTime);
    case ColForce: return ForceText(row.nRawForce);
    case ColCellType: return CellTypeText(row.nCellType);
    case ColDownload: return DownloadText(row.tDownload);
    default: return QVariant();
    }
}

bool CArchiveRecordModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != ColTick || role != Qt::CheckStateRole ||
        index.row() >= int(m_vRows.size()))
        return false;
    const int64_t id = m_vRows[size_t(index.row())].nId;
    if (value.toInt() == Qt::Checked)
        m_setTicked.insert(id);
    else
        m_setTicked.erase(id);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit TicksChanged();
    return true;
}

QVariant CArchiveRecordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    static const char* const kHeaders[ColCount] = {"CK", "측정 시간", "측정 압력 값", "로드셀 종류",
                                                   "받은 시간"};
    return section >= 0 && section < ColCount ? QString::fromUtf8(kHeaders[section]) : QVariant();
}

Qt::ItemFlags CArchiveRecordModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ColTick)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool CArchiveRecordModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && int(m_vRows.size()) < m_nTotal;
}

void CArchiveRecordModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    std::vector<Row> page = Query(int(m_vRows.size()), kPageRows);
    if (page.empty()) {
        // Records removed meanwhile: stop asking for more.
        m_nTotal = int(m_vRows.size());
        return;
    }
    const int first = int(m_vRows.size());
    beginInsertRows(QModelIndex(), first, first + int(page.size()) - 1);
    m_vRows.insert(m_vRows.end(), page.begin(), page.end());
    endInsertRows();
}

void CArchiveRecordModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColCount)
        return;
    beginResetModel();
    m_nSortColumn = column;
    m_eSortOrder = order;
    m_vRows = Query(0, kPageRows);
    endResetModel();
}

void CArchiveRecordModel::TicksReset()
{
    if (!m_vRows.empty())
        emit dataChanged(index(0, ColTick), index(int(m_vRows.size()) - 1, ColTick), {Qt::CheckStateRole});
    emit TicksChanged();
}

void CArchiveRecordModel::SelectAll()
{
    const std::vector<int64_t> ids = AllIds();
    m_setTicked = std::set<int64_t>(ids.begin(), ids.end());
    TicksReset();
}

void CArchiveRecordModel::ClearAll()
{
    m_setTicked.clear();
    TicksReset();
}

void CArchiveRecordModel::Invert()
{
    std::set<int64_t> inverted;
    for (int64_t id : AllIds())
        if (!m_setTicked.count(id))
            inverted.insert(id);
    m_setTicked.swap(inverted);
    TicksReset();
}

std::vector<int64_t> CArchiveRecordModel::TickedIds() const
{
    return std::vector<int64_t>(m_setTicked.begin(), m_setTicked.end());
}

std::vector<CArchiveRecordModel::Row> CArchiveRecordModel::TickedRows() const
{
    std::vector<Row> rows;
    if (m_setTicked.empty())
        return rows;
    for (const Row& row : Query(0, -1))
        if (m_setTicked.count(row.nId))
            rows.push_back(row);
    return rows;
}
