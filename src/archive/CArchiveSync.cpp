#include "CArchiveSync.h"

#include "CServerArchive.h"
#include "CSqliteArchive.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QSysInfo>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <vector>

namespace {

// In the order their references need; a new table of the archive is one
// line here. A column meter_id and the reference column are translated to
// the server's ids, every other column the file and the server share is
// copied as it stands.
const CArchiveSync::TableSpec kTables[] = {
    {"downloads", false, "meter_id, kind, started, range_from, range_to", nullptr, nullptr},
    {"records", true, "meter_id, stored_time, source, raw_force, cell_type, occurrence, download_id",
     "download_id", "downloads"},
    {"calibration_snapshots", false, "station, meter_key, taken, reason", nullptr, nullptr},
    {"clock_readings", false, "station, meter_key, pc_time", nullptr, nullptr},
    {"firmware_uploads", false, "station, meter_key, started", "snapshot_id", "calibration_snapshots"},
};

std::atomic<CArchiveSync*> s_pRunning{nullptr};

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QString PrintOf(const QSqlRecord& row)
{
    QStringList parts;
    for (int i = 0; i < row.count(); ++i)
        parts << (row.value(i).isNull() ? QStringLiteral("\\N") : row.value(i).toString());
    return parts.join(QChar(0x1F));
}

// Columns of a table in the station's file, in their order, without id.
QStringList LocalColumns(const QSqlDatabase& db, const QString& table)
{
    QStringList columns;
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
        while (q.next())
            if (q.value(1).toString() != QLatin1String("id"))
                columns << q.value(1).toString();
    return columns;
}

// Columns of a table on the server with their types.
std::map<QString, QString> ServerColumns(const QSqlDatabase& db, const QString& table)
{
    std::map<QString, QString> columns;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT column_name, data_type FROM information_schema.columns"
                             " WHERE table_schema = current_schema() AND table_name = ?"));
    q.addBindValue(table);
    if (q.exec())
        while (q.next())
            columns[q.value(0).toString()] = q.value(1).toString();
    return columns;
}

// One column of a batch as a PostgreSQL array literal, so that a batch of
// thousands of rows is one short statement (unnest of one array per column).
QString ArrayOf(const std::vector<std::vector<QVariant>>& batch, size_t column)
{
    QString out = QStringLiteral("{");
    for (size_t r = 0; r < batch.size(); ++r) {
        if (r)
            out += QLatin1Char(',');
        const QVariant& v = batch[r][column];
        if (v.isNull()) {
            out += QLatin1String("NULL");
        } else if (v.typeId() == QMetaType::Double) {
            out += QString::number(v.toDouble(), 'g', 17);
        } else {
            QString text = v.toString();
            text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
            out += QLatin1Char('"') + text + QLatin1Char('"');
        }
    }
    return out + QLatin1Char('}');
}

}  // namespace

CArchiveSync::CArchiveSync(std::string archivePath, std::string serverSetting, QObject* parent)
    : QObject(parent), m_strPath(std::move(archivePath)), m_strSetting(std::move(serverSetting))
{
    m_thread.setObjectName(QStringLiteral("archive-sync"));
}

CArchiveSync::~CArchiveSync()
{
    Stop();
    m_pLocal.reset();
    m_pServer.reset();
}

std::unique_ptr<CArchiveSync> CArchiveSync::StartIfConfigured(const std::string& archivePath,
                                                              const std::string& serverSetting)
{
    if (QString::fromStdString(serverSetting).trimmed().isEmpty())
        return nullptr;
    auto sync = std::make_unique<CArchiveSync>(archivePath, serverSetting);
    sync->Start();
    return sync;
}

CArchiveSync* CArchiveSync::Running()
{
    return s_pRunning.load();
}

void CArchiveSync::Start()
{
    if (m_thread.isRunning())
        return;
    m_bStop = false;
    m_pContext = new QObject;
    m_pContext->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(m_pContext, [this] {
        m_pTimer = new QTimer(m_pContext);
        m_pTimer->setSingleShot(true);
        connect(m_pTimer, &QTimer::timeout, m_pContext, [this] { RunScheduled(); });
        m_pTimer->start(0);
    });
    s_pRunning = this;
}

void CArchiveSync::Stop()
{
    CArchiveSync* self = this;
    s_pRunning.compare_exchange_strong(self, nullptr);
    if (!m_thread.isRunning())
        return;
    m_bStop = true;
    // The connections were made on the worker's thread and end there.
    QMetaObject::invokeMethod(
        m_pContext,
        [this] {
            delete m_pTimer;
            m_pTimer = nullptr;
            m_pLocal.reset();
            m_pServer.reset();
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_pContext;
    m_pContext = nullptr;
}

void CArchiveSync::PushSoon()
{
    if (!m_thread.isRunning())
        return;
    QMetaObject::invokeMethod(m_pContext, [this] {
        if (m_pTimer && !m_bStop)
            m_pTimer->start(0);
    });
}

void CArchiveSync::RunScheduled()
{
    const bool ok = Round();
    if (m_bStop || !m_pTimer)
        return;
    const Status status = GetStatus();
    int delay = m_timing.nIntervalMs;
    if (!ok) {
        delay = m_timing.nFirstRetryMs;
        for (int i = 1; i < status.nFailuresInRow && delay < m_timing.nMaxRetryMs; ++i)
            delay *= 2;
        delay = std::min(delay, m_timing.nMaxRetryMs);
    } else if (status.nPending > 0) {
        // Rows that came while the round ran.
        delay = std::min(m_timing.nFirstRetryMs, m_timing.nIntervalMs);
    }
    m_pTimer->start(delay);
}

bool CArchiveSync::PushOnce(std::string* problem)
{
    const bool ok = Round();
    if (problem)
        *problem = GetStatus().strProblem;
    return ok;
}

CArchiveSync::Status CArchiveSync::GetStatus() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

QString CArchiveSync::StatusText() const
{
    const Status s = GetStatus();
    QString text = s.nPending < 0 ? QStringLiteral("서버 동기화: 대기 건수 확인 중")
                                  : QStringLiteral("서버 동기화: %1건 대기").arg(s.nPending);
    text += s.tLastPush ? QStringLiteral(" (마지막 동기화 %1)")
                              .arg(QDateTime::fromSecsSinceEpoch(s.tLastPush)
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                        : QStringLiteral(" (동기화한 적 없음)");
    if (s.bFailing)
        text += QLatin1Char('\n') + Q(s.strProblem);
    return text;
}

bool CArchiveSync::Round()
{
    std::string problem;
    const bool ok = PushAll(&problem);
    if (!ok && m_pServer)
        m_pServer->Close();   // a fresh connection next round
    if (ok)
        KeepMarksLocally();
    const int64_t pending = CountPending();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status.bStarted = true;
        m_status.bFailing = !ok;
        m_status.strProblem = ok ? std::string() : problem;
        m_status.nPending = pending;
        ++m_status.nRounds;
        m_status.nFailuresInRow = ok ? 0 : m_status.nFailuresInRow + 1;
        if (ok)
            m_status.tLastPush = QDateTime::currentSecsSinceEpoch();
    }
    emit StatusChanged();
    return ok;
}

bool CArchiveSync::ServerFailed(const QSqlError& error, std::string* problem)
{
    *problem = CServerArchive::ErrorText(error);
    // The ids handed out in a transaction that did not commit are void.
    m_mapRows.clear();
    if (m_pServer)
        m_pServer->Database().rollback();
    return false;
}

bool CArchiveSync::PushAll(std::string* problem)
{
    if (!m_pLocal || !m_pLocal->IsOpen()) {
        m_pLocal = std::make_unique<CSqliteArchive>();
        // The program's own open sets a damaged file aside; this one only reads.
        const EArchiveOpen opened = m_pLocal->Open(m_strPath, false);
        if (opened == EArchiveOpen::Failed || opened == EArchiveOpen::TooNew) {
            *problem = m_pLocal->OpenMessage();
            m_pLocal.reset();
            return false;
        }
        m_strStation = m_pLocal->StationId();
        if (m_mapMarks.empty()) {
            // What the server had at the last good round, for the waiting count.
            QSqlQuery q(m_pLocal->Database());
            if (q.exec(QStringLiteral("SELECT key, value FROM archive_info WHERE key LIKE 'sync.mark.%'")))
                while (q.next())
                    m_mapMarks[q.value(0).toString().mid(10).toStdString()] = q.value(1).toLongLong();
        }
    }
    if (m_strStation.empty()) {
        *problem = "보관함 파일에 이 PC의 식별자가 없어 서버로 보내지 않습니다.";
        return false;
    }
    if (!m_pServer)
        m_pServer = std::make_unique<CServerArchive>();
    if (!m_pServer->IsOpen()) {
        m_mapRows.clear();
        if (m_pServer->Open(m_strSetting) != EServerOpen::Ok) {
            *problem = m_pServer->OpenMessage();
            return false;
        }
    }
    int version = 0;
    if (!m_pServer->CheckVersion(&version, problem))
        return false;
    QSqlQuery q(m_pServer->Database());
    q.prepare(QStringLiteral("INSERT INTO stations (station, name) VALUES (?, ?)"
                             " ON CONFLICT (station) DO UPDATE SET name = EXCLUDED.name"));
    q.addBindValue(Q(m_strStation));
    q.addBindValue(m_strStationName.empty() ? QSysInfo::machineHostName() : Q(m_strStationName));
    if (!q.exec())
        return ServerFailed(q.lastError(), problem);
    if (!PushMeters(problem))
        return false;
    for (const TableSpec& table : kTables)
        if (!PushTable(table, problem))
            return false;
    if (!RefreshOpenDownloads(problem))
        return false;
    q.prepare(QStringLiteral("UPDATE stations SET last_push = ? WHERE station = ?"));
    q.addBindValue(QDateTime::currentSecsSinceEpoch());
    q.addBindValue(Q(m_strStation));
    if (!q.exec())
        return ServerFailed(q.lastError(), problem);
    return true;
}

bool CArchiveSync::PushMeters(std::string* problem)
{
    // Every meter each round (a lab has dozens): its name and firmware are
    // what the latest download anywhere said. In key order, so that two
    // stations lock the rows in the same order.
    QSqlQuery local(m_pLocal->Database());
    if (!local.exec(QStringLiteral("SELECT id, meter_key, serial, serial_unset, name, version, first_seen,"
                                   " last_seen FROM meters ORDER BY meter_key"))) {
        *problem = "보관함 파일을 읽지 못했습니다: " + local.lastError().text().toStdString();
        return false;
    }
    QSqlDatabase db = m_pServer->Database();
    if (!db.transaction())
        return ServerFailed(db.lastError(), problem);
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO meters (meter_key, serial, serial_unset, name, version, first_seen, last_seen)"
        " VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (meter_key) DO UPDATE SET"
        " name = CASE WHEN EXCLUDED.last_seen >= meters.last_seen THEN EXCLUDED.name ELSE meters.name END,"
        " version = CASE WHEN EXCLUDED.last_seen >= meters.last_seen THEN EXCLUDED.version"
        " ELSE meters.version END,"
        " first_seen = LEAST(meters.first_seen, EXCLUDED.first_seen),"
        " last_seen = GREATEST(meters.last_seen, EXCLUDED.last_seen) RETURNING id"));
    std::unordered_map<int64_t, int64_t> map;
    while (local.next()) {
        for (int i = 1; i < 8; ++i)
            q.bindValue(i - 1, local.value(i));
        if (!q.exec() || !q.next())
            return ServerFailed(q.lastError(), problem);
        map[local.value(0).toLongLong()] = q.value(0).toLongLong();
    }
    q.finish();
    if (!db.commit())
        return ServerFailed(db.lastError(), problem);
    m_mapMeters.swap(map);
    return true;
}

bool CArchiveSync::PushTable(const TableSpec& table, std::string* problem)
{
    const QString name = QLatin1String(table.szName);
    QSqlDatabase ldb = m_pLocal->Database();
    QSqlDatabase sdb = m_pServer->Database();
    // The columns both sides have: a table one side lacks is left for later.
    const std::map<QString, QString> serverColumns = ServerColumns(sdb, name);
    QStringList columns, arrays;
    for (const QString& c : LocalColumns(ldb, name))
        if (serverColumns.count(c)) {
            columns << c;
            arrays << QStringLiteral("?::%1[]").arg(serverColumns.at(c));
        }
    if (columns.isEmpty())
        return true;
    const int meterColumn = int(columns.indexOf(QStringLiteral("meter_id")));
    const int refColumn = table.szRefColumn ? int(columns.indexOf(QLatin1String(table.szRefColumn))) : -1;
    const QString station = Q(m_strStation);
    if (refColumn >= 0 && !LoadRowMap(table.szRefTable, problem))
        return false;
    if (!table.bNaturalKey && !LoadRowMap(table.szName, problem))
        return false;

    bool first = true;
    for (;;) {
        if (m_bStop) {
            *problem = "동기화를 멈추었습니다.";
            return false;
        }
        if (!sdb.transaction())
            return ServerFailed(sdb.lastError(), problem);
        QSqlQuery mark(sdb);
        mark.prepare(QStringLiteral("INSERT INTO sync_marks (station, tbl) VALUES (?, ?) ON CONFLICT DO NOTHING"));
        mark.addBindValue(station);
        mark.addBindValue(name);
        if (!mark.exec())
            return ServerFailed(mark.lastError(), problem);
        // The mark's row lock keeps two pushes of one station in turn.
        mark.prepare(QStringLiteral("SELECT last_id, last_row FROM sync_marks WHERE station = ? AND tbl = ? FOR UPDATE"));
        mark.addBindValue(station);
        mark.addBindValue(name);
        if (!mark.exec() || !mark.next())
            return ServerFailed(mark.lastError(), problem);
        int64_t lastId = mark.value(0).toLongLong();
        const QString lastRow = mark.value(1).toString();
        mark.finish();
        if (first && lastId > 0) {
            // The row at the mark must be the one that was sent; if it went
            // and its id was given out again, rows below the mark may be new.
            // Natural keys make sending everything again harmless.
            QSqlQuery check(ldb);
            check.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(QLatin1String(table.szPrint), name));
            check.addBindValue(qint64(lastId));
            const bool same = check.exec() && check.next() && PrintOf(check.record()) == lastRow;
            if (!same && table.bNaturalKey)
                lastId = 0;
        }
        first = false;

        QSqlQuery rows(ldb);
        rows.setForwardOnly(true);
        rows.prepare(QStringLiteral("SELECT id, %1, %2 FROM %3 WHERE id > ? ORDER BY id LIMIT ?")
                         .arg(columns.join(QStringLiteral(", ")), QLatin1String(table.szPrint), name));
        rows.addBindValue(qint64(lastId));
        rows.addBindValue(m_timing.nBatchRows);
        if (!rows.exec()) {
            sdb.rollback();
            *problem = "보관함 파일을 읽지 못했습니다: " + rows.lastError().text().toStdString();
            return false;
        }
        std::vector<std::vector<QVariant>> batch;
        std::vector<int64_t> ids;
        std::vector<QVariant> lastPrinted;
        bool stopped = false;
        const int printFrom = 1 + int(columns.size());
        const int printTo = rows.record().count();
        while (rows.next()) {
            std::vector<QVariant> values;
            values.reserve(size_t(columns.size()));
            for (int i = 0; i < int(columns.size()); ++i)
                values.push_back(rows.value(1 + i));
            // A row whose meter or download the server has not had yet (it
            // came while this round ran) waits for the next round.
            if (meterColumn >= 0) {
                const auto m = m_mapMeters.find(values[size_t(meterColumn)].toLongLong());
                if (m == m_mapMeters.end()) {
                    stopped = true;
                    break;
                }
                values[size_t(meterColumn)] = qint64(m->second);
            }
            if (refColumn >= 0 && !values[size_t(refColumn)].isNull()) {
                const auto& map = m_mapRows[table.szRefTable];
                const auto d = map.find(values[size_t(refColumn)].toLongLong());
                if (d == map.end()) {
                    stopped = true;
                    break;
                }
                values[size_t(refColumn)] = qint64(d->second);
            }
            lastPrinted.clear();
            for (int i = printFrom; i < printTo; ++i)
                lastPrinted.push_back(rows.value(i));
            ids.push_back(rows.value(0).toLongLong());
            batch.push_back(std::move(values));
        }
        rows.finish();
        if (batch.empty()) {
            sdb.commit();
            return true;
        }

        const QString placeholders =
            QLatin1Char('(') + QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) +
            QLatin1Char(')');
        const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(name, columns.join(QStringLiteral(", ")));
        QSqlQuery q(sdb);
        std::vector<std::pair<int64_t, int64_t>> mapped;
        if (table.bNaturalKey) {
            q.prepare(QStringLiteral("INSERT INTO %1 (%2) SELECT * FROM unnest(%3) ON CONFLICT DO NOTHING")
                          .arg(name, columns.join(QStringLiteral(", ")), arrays.join(QStringLiteral(", "))));
            for (int c = 0; c < int(columns.size()); ++c)
                q.addBindValue(ArrayOf(batch, size_t(c)));
            if (!q.exec())
                return ServerFailed(q.lastError(), problem);
        } else {
            QSqlQuery claim(sdb), row(sdb), point(sdb);
            claim.prepare(QStringLiteral("INSERT INTO sync_rows (station, tbl, local_id, server_id)"
                                         " VALUES (?, ?, ?, 0) ON CONFLICT DO NOTHING"));
            row.prepare(insert + placeholders + QStringLiteral(" RETURNING id"));
            point.prepare(QStringLiteral("UPDATE sync_rows SET server_id = ? WHERE station = ? AND tbl = ? AND local_id = ?"));
            for (size_t r = 0; r < batch.size(); ++r) {
                claim.bindValue(0, station);
                claim.bindValue(1, name);
                claim.bindValue(2, qint64(ids[r]));
                if (!claim.exec())
                    return ServerFailed(claim.lastError(), problem);
                if (claim.numRowsAffected() == 0)
                    continue;   // the server has this row already
                for (int i = 0; i < int(columns.size()); ++i)
                    row.bindValue(i, batch[r][size_t(i)]);
                if (!row.exec() || !row.next())
                    return ServerFailed(row.lastError(), problem);
                const int64_t serverId = row.value(0).toLongLong();
                row.finish();
                point.bindValue(0, qint64(serverId));
                point.bindValue(1, station);
                point.bindValue(2, name);
                point.bindValue(3, qint64(ids[r]));
                if (!point.exec())
                    return ServerFailed(point.lastError(), problem);
                if (name == QLatin1String("downloads") && !PushSeries(ids[r], serverId, problem))
                    return false;
                mapped.emplace_back(ids[r], serverId);
            }
        }
        mark.prepare(QStringLiteral("UPDATE sync_marks SET last_id = ?, last_row = ? WHERE station = ? AND tbl = ?"));
        mark.addBindValue(qint64(ids.back()));
        QStringList print;
        for (const QVariant& v : lastPrinted)
            print << (v.isNull() ? QStringLiteral("\\N") : v.toString());
        mark.addBindValue(print.join(QChar(0x1F)));
        mark.addBindValue(station);
        mark.addBindValue(name);
        if (!mark.exec())
            return ServerFailed(mark.lastError(), problem);
        if (!sdb.commit())
            return ServerFailed(sdb.lastError(), problem);
        m_mapMarks[table.szName] = ids.back();
        for (const auto& m : mapped)
            m_mapRows[table.szName][m.first] = m.second;
        if (stopped || int(batch.size()) < m_timing.nBatchRows)
            return true;
    }
}

bool CArchiveSync::LoadRowMap(const std::string& table, std::string* problem)
{
    if (m_mapRows.count(table))
        return true;
    QSqlQuery q(m_pServer->Database());
    q.prepare(QStringLiteral("SELECT local_id, server_id FROM sync_rows WHERE station = ? AND tbl = ?"));
    q.addBindValue(Q(m_strStation));
    q.addBindValue(Q(table));
    if (!q.exec())
        return ServerFailed(q.lastError(), problem);
    auto& map = m_mapRows[table];
    while (q.next())
        map[q.value(0).toLongLong()] = q.value(1).toLongLong();
    return true;
}

bool CArchiveSync::PushSeries(int64_t localDownload, int64_t serverDownload, std::string* problem)
{
    // A continuous series' summary: the meter's when the download began,
    // the computed one when it ended.
    static const char* const kColumns =
        "meter_count, meter_average, meter_minimum, meter_maximum, meter_deviation, computed_count,"
        " computed_average, computed_minimum, computed_maximum, computed_deviation";
    QSqlQuery local(m_pLocal->Database());
    local.prepare(QStringLiteral("SELECT %1 FROM series WHERE download_id = ?").arg(QLatin1String(kColumns)));
    local.addBindValue(qint64(localDownload));
    if (!local.exec() || !local.next())
        return true;
    QSqlQuery q(m_pServer->Database());
    q.prepare(QStringLiteral("INSERT INTO series (download_id, %1) VALUES (?,?,?,?,?,?,?,?,?,?,?)"
                             " ON CONFLICT (download_id) DO UPDATE SET computed_count = EXCLUDED.computed_count,"
                             " computed_average = EXCLUDED.computed_average,"
                             " computed_minimum = EXCLUDED.computed_minimum,"
                             " computed_maximum = EXCLUDED.computed_maximum,"
                             " computed_deviation = EXCLUDED.computed_deviation")
                  .arg(QLatin1String(kColumns)));
    q.addBindValue(qint64(serverDownload));
    for (int i = 0; i < 10; ++i)
        q.addBindValue(local.value(i));
    if (!q.exec())
        return ServerFailed(q.lastError(), problem);
    return true;
}

bool CArchiveSync::RefreshOpenDownloads(std::string* problem)
{
    // Downloads the server took while they ran: their end (result, counts,
    // completeness, the computed series) once the station has it.
    QSqlQuery open(m_pServer->Database());
    open.prepare(QStringLiteral("SELECT r.local_id, r.server_id FROM sync_rows r JOIN downloads d ON d.id = r.server_id"
                                " WHERE r.station = ? AND r.tbl = 'downloads' AND d.finished IS NULL"));
    open.addBindValue(Q(m_strStation));
    if (!open.exec())
        return ServerFailed(open.lastError(), problem);
    std::vector<std::pair<int64_t, int64_t>> pairs;
    while (open.next())
        pairs.emplace_back(open.value(0).toLongLong(), open.value(1).toLongLong());
    open.finish();
    QSqlQuery local(m_pLocal->Database());
    local.prepare(QStringLiteral("SELECT finished, result, received, new_count, known_count, complete"
                                 " FROM downloads WHERE id = ?"));
    QSqlQuery q(m_pServer->Database());
    q.prepare(QStringLiteral("UPDATE downloads SET finished = ?, result = ?, received = ?, new_count = ?,"
                             " known_count = ?, complete = ? WHERE id = ?"));
    for (const auto& p : pairs) {
        local.bindValue(0, qint64(p.first));
        if (!local.exec() || !local.next())
            continue;
        for (int i = 0; i < 6; ++i)
            q.bindValue(i, local.value(i));
        q.bindValue(6, qint64(p.second));
        local.finish();
        if (!q.exec())
            return ServerFailed(q.lastError(), problem);
        if (!PushSeries(p.first, p.second, problem))
            return false;
    }
    return true;
}

int64_t CArchiveSync::CountPending()
{
    if (!m_pLocal || !m_pLocal->IsOpen())
        return GetStatus().nPending;
    int64_t pending = 0;
    for (const TableSpec& table : kTables) {
        QSqlQuery q(m_pLocal->Database());
        q.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE id > ?").arg(QLatin1String(table.szName)));
        const auto mark = m_mapMarks.find(table.szName);
        q.addBindValue(qint64(mark == m_mapMarks.end() ? 0 : mark->second));
        if (q.exec() && q.next())
            pending += q.value(0).toLongLong();
    }
    return pending;
}

void CArchiveSync::KeepMarksLocally()
{
    if (!m_pLocal || !m_pLocal->IsOpen() || m_pLocal->IsReadOnly())
        return;
    QSqlQuery q(m_pLocal->Database());
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO archive_info (key, value) VALUES (?, ?)"));
    for (const auto& mark : m_mapMarks) {
        q.bindValue(0, QStringLiteral("sync.mark.") + QString::fromStdString(mark.first));
        q.bindValue(1, QString::number(mark.second));
        q.exec();
    }
}
