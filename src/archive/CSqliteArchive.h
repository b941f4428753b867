#pragma once
// The archive in one SQLite file ("archive.sqlite" in the program's data
// folder), reached through Qt's SQLite driver. Write-ahead logging lets the
// windows read while a download writes through another connection; every
// batch is one transaction, so a crash or an unplugged meter keeps every
// batch that had arrived.
//
// Opening never destroys a file: a damaged one (or one that is no archive)
// is renamed aside before a fresh archive starts, one written by a newer
// program is refused untouched, one that cannot be written opens read-only.

#include "IMeasurementArchive.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <map>
#include <memory>
#include <tuple>

class CSqliteArchive : public IMeasurementArchive {
public:
    static constexpr const char* kFileName = "archive.sqlite";
    // <dataDir>/archive.sqlite
    static std::string ArchivePath(const std::string& dataDir);

    CSqliteArchive();
    ~CSqliteArchive() override;
    CSqliteArchive(const CSqliteArchive&) = delete;
    CSqliteArchive& operator=(const CSqliteArchive&) = delete;

    // bSetAsideDamaged: rename a damaged file aside and start afresh (the
    // program's own open at start); a second connection (the download sink)
    // only reports it. The message for the user is in OpenMessage().
    EArchiveOpen Open(const std::string& path, bool bSetAsideDamaged = true);
    void Close();
    const std::string& OpenMessage() const { return m_strOpenMessage; }
    const std::string& SetAsidePath() const { return m_strSetAsidePath; }
    const std::string& Path() const { return m_strPath; }
    std::string StationId() const { return m_strStation; }
    // The connection, for the record model (same thread only).
    QSqlDatabase Database() const;

    bool IsOpen() const override;
    bool IsReadOnly() const override { return m_bReadOnly; }

    int64_t BeginDownload(const DownloadMeter& meter, const DownloadRequest& request,
                          std::string* error) override;
    bool SetOutputSummary(int64_t download, const uint8_t* summary, std::string* error) override;
    bool AddRecords(int64_t download, const std::vector<DownloadedRecord>& batch,
                    std::string* error) override;
    bool EndDownload(int64_t download, int result, bool complete, std::string* error) override;

    std::vector<ArchiveMeter> Meters() override;
    std::vector<ArchiveDownload> Downloads(int64_t meterId) override;
    bool FindDownload(int64_t download, ArchiveDownload* out) override;
    bool FindMeter(const DownloadMeter& meter, ArchiveMeter* out) override;
    std::vector<ArchiveRecord> Records(int64_t meterId) override;
    int64_t NewRecordsStart(const DownloadMeter& meter, int64_t earliest) override;
    // As above, never later than the day of `today` (a meter whose clock once
    // ran ahead must not hide the records made since).
    int64_t NewRecordsStart(const DownloadMeter& meter, int64_t earliest, int64_t today);
    // The first and last day (YYYYMMDD of the meter's fields) of a meter's
    // records; false when it has none.
    bool RecordDayRange(int64_t meterId, int* firstDay, int* lastDay);
    // The same on any connection with the archive's tables (the lab's server).
    static bool RecordDayRange(const QSqlDatabase& db, int64_t meterId, int* firstDay, int* lastDay);
    static std::vector<ArchiveRecord> Records(const QSqlDatabase& db, int64_t meterId);
    // A row of the meters query (id, key, serial, unset, name, version, first
    // and last seen, record count, last download) and of the downloads query
    // (id, meter, station, kind, started, range, finished, result, received,
    // new, known, complete), shared with the server's reads.
    static ArchiveMeter MeterOfRow(const QSqlQuery& q);
    static ArchiveDownload DownloadOfRow(const QSqlQuery& q);
    int DeleteRecords(const std::vector<int64_t>& ids, std::string* error) override;
    bool Backup(const std::string& path, std::string* error) override;

    // The key a meter is archived under: its serial, or its name when the
    // serial reads "-" (never set).
    static std::string MeterKey(const DownloadMeter& meter);
    // The user's text for a failed write (full disk told apart).
    static std::string WriteErrorText(const QSqlError& error);

private:
    struct OpenDownload {
        EDownloadKind eKind = EDownloadKind::Memory;
        // (stored time, raw force, cell type) -> copies seen in this download
        std::map<std::tuple<int64_t, int, int>, int> mapSeen;
        int64_t nCount = 0;
        double dSum = 0.0, dSumSquares = 0.0;
        int nMin = 0, nMax = 0;
        bool bLost = false;    // a batch the archive could not keep
    };

    enum class EProbe { Archive, Empty, Foreign, Damaged, Unreadable };
    bool Connect(bool bReadOnly, bool bImmutable);
    EProbe Probe(int* version, QString* error);
    EArchiveOpen OpenFresh();
    bool SetAside();
    bool Exec(const QString& sql, QString* error = nullptr);
    bool CheckWritable(std::string* error) const;
    int64_t MeterIdOf(const DownloadMeter& meter);

    QString m_strConnection;
    std::string m_strPath;
    std::string m_strOpenMessage;
    std::string m_strSetAsidePath;
    std::string m_strStation;
    bool m_bReadOnly = false;
    std::unique_ptr<QSqlQuery> m_pInsertRecord;
    std::map<int64_t, OpenDownload> m_mapOpen;
};
