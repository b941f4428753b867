#pragma once
// Pushes the station's archive file to the lab's server, in the background.
//
// The station always writes its own file first; this worker, on a thread of
// its own with its own connections to the file and the server, sends what
// the server lacks: after each download (PushSoon) and on a timer, in
// batches of one transaction each. A failed round is tried again later with
// a growing pause, and nothing of the file is ever changed but the note of
// what was sent last (for the waiting count while the server is away).
//
// Nothing is sent twice and nothing is lost: the server keeps, per station
// and table, the local id of the last row it took (a high-water mark) and
// moves it in the same transaction as the rows. A row's identity on the
// server is the table's natural key (records: meter, stored time, source,
// force, cell type, occurrence — the same records from two stations are
// stored once) or the station and its local id (downloads), kept in
// sync_rows. Downloads pushed while they ran are brought up to date once
// they end.

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

class CServerArchive;
class CSqliteArchive;
class QSqlDatabase;
class QSqlError;
class QTimer;

class CArchiveSync : public QObject {
    Q_OBJECT
public:
    struct Status {
        bool bStarted = false;       // a round has finished
        bool bFailing = false;       // the last round failed
        int64_t nPending = -1;       // rows the server lacks; -1 not known yet
        int64_t tLastPush = 0;       // PC time of the last good round, 0 none
        std::string strProblem;      // why the last round failed
        int nRounds = 0;
        int nFailuresInRow = 0;
    };
    struct Timing {
        int nIntervalMs = 60000;     // between good rounds
        int nFirstRetryMs = 5000;    // after the first failure, doubling ...
        int nMaxRetryMs = 300000;    // ... up to this
        int nBatchRows = 5000;       // rows per transaction
    };

    CArchiveSync(std::string archivePath, std::string serverSetting, QObject* parent = nullptr);
    ~CArchiveSync() override;

    // A running worker when a server is set ([ARCHIVE] SERVER not empty),
    // else none. The program's one call.
    static std::unique_ptr<CArchiveSync> StartIfConfigured(const std::string& archivePath,
                                                           const std::string& serverSetting);
    // The worker the program runs, for the archive window; null when none.
    static CArchiveSync* Running();

    void SetTiming(const Timing& timing) { m_timing = timing; }
    // The name the lab view shows for this station; the PC's host name
    // unless set (before Start).
    void SetStationName(const std::string& name) { m_strStationName = name; }
    void Start();
    // Ends the round in progress between two batches and the thread.
    void Stop();

    // One round on the calling thread, for tools, tests and timed drivers
    // (not while the worker runs). True when the server took everything.
    bool PushOnce(std::string* problem = nullptr);

    Status GetStatus() const;
    // "서버 동기화: n건 대기 (마지막 동기화 …)", and the failure's text on a
    // second line while the rounds fail.
    QString StatusText() const;
    const std::string& ServerSetting() const { return m_strSetting; }

public slots:
    // A download ended: push now (from any thread).
    void PushSoon();

signals:
    void StatusChanged();

public:
    // A table the server takes from every station. The print columns tell
    // the row at the mark apart from a later row that got its id again
    // (SQLite gives out the highest id anew once that row is deleted).
    struct TableSpec {
        const char* szName;
        bool bNaturalKey;      // false: the row is the station's and its local id's
        const char* szPrint;
        const char* szRefColumn;   // a column naming a row of ...
        const char* szRefTable;    // ... this earlier table by its local id, or null
    };

private:
    bool Round();
    bool PushAll(std::string* problem);
    bool PushMeters(std::string* problem);
    bool PushTable(const TableSpec& table, std::string* problem);
    bool RefreshOpenDownloads(std::string* problem);
    bool PushSeries(int64_t localDownload, int64_t serverDownload, std::string* problem);
    bool LoadRowMap(const std::string& table, std::string* problem);
    bool ServerFailed(const QSqlError& error, std::string* problem);
    int64_t CountPending();
    void KeepMarksLocally();
    void RunScheduled();

    std::string m_strPath;
    std::string m_strSetting;
    std::string m_strStationName;
    Timing m_timing;

    // Used only by the thread that runs the rounds.
    std::unique_ptr<CSqliteArchive> m_pLocal;
    std::unique_ptr<CServerArchive> m_pServer;
    std::string m_strStation;
    std::unordered_map<int64_t, int64_t> m_mapMeters;      // local meter id -> server's
    // Per table whose rows are the station's: local id -> server's id.
    std::map<std::string, std::unordered_map<int64_t, int64_t>> m_mapRows;
    std::map<std::string, int64_t> m_mapMarks;             // table -> last local id the server has

    QThread m_thread;
    QObject* m_pContext = nullptr;   // lives in m_thread
    QTimer* m_pTimer = nullptr;      // in m_thread
    std::atomic<bool> m_bStop{false};

    mutable std::mutex m_mutex;
    Status m_status;
};
