#pragma once
// The records of one meter as a table model over the archive, for views of
// any size: the filter (date range, load-cell type) and the order go to
// SQLite, and rows are fetched a page at a time as the view scrolls, so an
// archive of millions of records costs one page of memory. Ticks (the rows
// chosen for a report) are kept by record id and survive re-sorting.

#include "ArchiveTypes.h"

#include <QAbstractTableModel>
#include <QSqlDatabase>

#include <functional>
#include <set>
#include <vector>

class CSqliteArchive;

class CArchiveRecordModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { ColTick = 0, ColTime, ColForce, ColCellType, ColDownload, ColCount };
    static constexpr int kPageRows = 256;

    struct Filter {
        int64_t nMeterId = 0;
        int nFromDay = 0;      // YYYYMMDD of the meter's date fields; 0: no lower bound
        int nToDay = 0;        // YYYYMMDD, inclusive; 0: no upper bound
        int nCellType = -1;    // -1: every type
    };

    explicit CArchiveRecordModel(CSqliteArchive& archive, QObject* parent = nullptr);
    // Over any connection with the archive's tables (the lab's server too);
    // the connection is asked for at each query, on the model's thread.
    explicit CArchiveRecordModel(std::function<QSqlDatabase()> database, QObject* parent = nullptr);

    // Counts the matching records and fetches the first page; the ticks
    // are cleared.
    void SetFilter(const Filter& filter);
    const Filter& GetFilter() const { return m_filter; }
    // Matching records in the archive; rowCount() is what has been fetched.
    int TotalRows() const { return m_nTotal; }
    int64_t RecordId(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // The tick column orders by time.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Ticks over every matching record, fetched or not.
    void SelectAll();
    void ClearAll();
    void Invert();
    int TickedCount() const { return int(m_setTicked.size()); }
    std::vector<int64_t> TickedIds() const;
    // The ticked records with their download time, in the view's order.
    struct Row {
        int64_t nId = 0;
        int64_t nStoredTime = 0;
        int nRawForce = 0;
        int nCellType = 0;
        int64_t tDownload = 0;
    };
    std::vector<Row> TickedRows() const;

    // Texts as the main window shows them.
    static QString TimeText(int64_t storedTime);
    static QString ForceText(int rawForce);
    static QString CellTypeText(int cellType);
    static QString DownloadText(int64_t started);

signals:
    void TicksChanged();

private:
    QString WhereClause() const;
    QString OrderClause() const;
    std::vector<Row> Query(int offset, int limit) const;
    std::vector<int64_t> AllIds() const;
    void TicksReset();

    std::function<QSqlDatabase()> m_fnDatabase;
    Filter m_filter;
    int m_nSortColumn = ColTime;
    Qt::SortOrder m_eSortOrder = Qt::AscendingOrder;
    int m_nTotal = 0;
    std::vector<Row> m_vRows;
    std::set<int64_t> m_setTicked;
};
