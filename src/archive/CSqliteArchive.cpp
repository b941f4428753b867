#include "CSqliteArchive.h"

#include "ArchiveSchema.h"
#include "MeterRecords.h"
#include "MeterTime.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QVariant>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// SQLite's primary result codes the archive tells apart.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteNotADatabase = 26;

int PrimaryCode(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xFF;
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The record's force field (@7 2, big-endian, 0.1 kN), read without the
// local-time conversion that a full decode makes.
int RawForceOf(const uint8_t* record)
{
    return (int(record[7]) << 8) | record[8];
}

const char* KindText(EDownloadKind kind)
{
    return kind == EDownloadKind::Output ? "OUTPUT" : "MEMORY";
}

EDownloadKind KindOf(const QString& text)
{
    return text == QLatin1String("OUTPUT") ? EDownloadKind::Output : EDownloadKind::Memory;
}

std::string Trimmed(const std::string& text)
{
    return QString::fromStdString(text).trimmed().toStdString();
}

// Whether the file may be opened for writing: tried for real, as permission
// bits do not stop root and a read-only mount does not show in them.
bool FileWritable(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return !(errno == EACCES || errno == EPERM || errno == EROFS);
    ::close(fd);
    return true;
}


const char* const kDownloadColumns =
    "SELECT id, meter_id, station, kind, started, range_from, range_to, finished, result,"
    " received, new_count, known_count, complete FROM downloads";

}  // namespace

std::string CSqliteArchive::ArchivePath(const std::string& dataDir)
{
    if (dataDir.empty())
        return kFileName;
    return dataDir + (dataDir.back() == '/' ? "" : "/") + kFileName;
}

CSqliteArchive::CSqliteArchive()
{
    static QAtomicInteger<int> s_nNext;
    m_strConnection = QStringLiteral("brevane-archive-%1").arg(s_nNext.fetchAndAddRelaxed(1));
}

CSqliteArchive::~CSqliteArchive()
{
    Close();
}

void CSqliteArchive::Close()
{
    m_pInsertRecord.reset();
    m_mapOpen.clear();
    if (QSqlDatabase::contains(m_strConnection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_strConnection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_strConnection);
    }
}

QSqlDatabase CSqliteArchive::Database() const
{
    return QSqlDatabase::database(m_strConnection, false);
}

bool CSqliteArchive::IsOpen() const
{
    return QSqlDatabase::contains(m_strConnection) && Database().isOpen();
}

bool CSqliteArchive::Connect(bool bReadOnly, bool bImmutable)
{
    Close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strConnection);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
    if (bReadOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    if (bImmutable) {
        // A write-ahead-log file in a folder this user cannot write: the log
        // index cannot be made, so the file is read as it stands on disk.
        options += QStringLiteral(";QSQLITE_OPEN_URI");
        db.setDatabaseName(QUrl::fromLocalFile(Q(m_strPath)).toString(QUrl::FullyEncoded) +
                           QStringLiteral("?immutable=1"));
    } else {
        db.setDatabaseName(Q(m_strPath));
    }
    db.setConnectOptions(options);
    return db.open();
}

CSqliteArchive::EProbe CSqliteArchive::Probe(int* version, QString* error)
{
    QSqlDatabase db = Database();
    QSqlQuery q(db);
    int appId = 0;
    int tables = 0;
    bool ok = q.exec(QStringLiteral("PRAGMA application_id")) && q.next();
    if (ok)
        appId = q.value(0).toInt();
    ok = ok && q.exec(QStringLiteral("PRAGMA user_version")) && q.next();
    if (ok)
        *version = q.value(0).toInt();
    ok = ok && q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && q.next();
    if (ok)
        tables = q.value(0).toInt();
    if (!ok) {
        *error = q.lastError().text();
        const int code = PrimaryCode(q.lastError());
        return code == kSqliteNotADatabase || code == kSqliteCorrupt ? EProbe::Damaged
                                                                      : EProbe::Unreadable;
    }
    if (appId == ArchiveSchema::kApplicationId)
        return EProbe::Archive;
    if (appId == 0 && *version == 0 && tables == 0)
        return EProbe::Empty;
    return EProbe::Foreign;
}

bool CSqliteArchive::Exec(const QString& sql, QString* error)
{
    QSqlQuery q(Database());
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

EArchiveOpen CSqliteArchive::Open(const std::string& path, bool bSetAsideDamaged)
{
    Close();
    m_strPath = path;
    m_strOpenMessage.clear();
    m_strSetAsidePath.clear();
    m_strStation.clear();
    m_bReadOnly = false;

    const QFileInfo info(Q(path));
    if (!info.exists())
        return OpenFresh();

    m_bReadOnly = !FileWritable(path);
    QString error;
    int version = 0;
    bool connected = Connect(m_bReadOnly, false);
    EProbe probe = connected ? Probe(&version, &error) : EProbe::Unreadable;
    if (probe == EProbe::Unreadable && m_bReadOnly) {
        connected = Connect(true, true);
        probe = connected ? Probe(&version, &error) : EProbe::Unreadable;
    }
    if (!connected && error.isEmpty())
        error = Database().lastError().text();

    if (probe == EProbe::Damaged || probe == EProbe::Foreign) {
        Close();
        if (!bSetAsideDamaged || m_bReadOnly) {
            m_strOpenMessage = "보관함 파일이 손상되었거나 보관함 파일이 아닙니다: " + path;
            return EArchiveOpen::Failed;
        }
        if (!SetAside()) {
            m_strOpenMessage = "보관함 파일이 손상되었으나 다른 이름으로 옮기지 못해 보관함을 열지 "
                               "않았습니다: " + path;
            return EArchiveOpen::Failed;
        }
        const EArchiveOpen fresh = OpenFresh();
        if (fresh != EArchiveOpen::Created)
            return fresh;
        m_strOpenMessage = "보관함 파일이 손상되었거나 보관함 파일이 아니어서 " + m_strSetAsidePath +
                           "(으)로 옮겨 두고 새 보관함을 시작합니다.";
        return EArchiveOpen::SetAside;
    }
    if (probe == EProbe::Unreadable) {
        Close();
        m_strOpenMessage = "보관함 파일을 열 수 없습니다: " + error.toStdString();
        return EArchiveOpen::Failed;
    }
    if (version > ArchiveSchema::kVersion) {
        Close();
        m_strOpenMessage = QStringLiteral("보관함 파일이 이 프로그램보다 새로운 버전(형식 %1, 이 "
                                          "프로그램은 %2까지)에서 만들어져 열지 않았습니다. 파일은 "
                                          "그대로 두었습니다.")
                               .arg(version)
                               .arg(ArchiveSchema::kVersion)
                               .toStdString();
        return EArchiveOpen::TooNew;
    }
    if (m_bReadOnly && (probe == EProbe::Empty || version < ArchiveSchema::kVersion)) {
        Close();
        m_strOpenMessage = "보관함 파일에 쓸 수 없고 형식이 오래되어 열 수 없습니다: " + path;
        return EArchiveOpen::Failed;
    }

    EArchiveOpen result = m_bReadOnly ? EArchiveOpen::ReadOnly : EArchiveOpen::Ok;
    if (!m_bReadOnly) {
        if (!Exec(QStringLiteral("PRAGMA journal_mode = WAL"), &error) ||
            !Exec(QStringLiteral("PRAGMA synchronous = NORMAL"), &error) ||
            !Exec(QStringLiteral("PRAGMA foreign_keys = ON"), &error)) {
            Close();
            m_strOpenMessage = "보관함 파일을 열 수 없습니다: " + error.toStdString();
            return EArchiveOpen::Failed;
        }
        const int from = probe == EProbe::Empty ? 0 : version;
        if (from < ArchiveSchema::kVersion) {
            QSqlDatabase db = Database();
            if (!ArchiveSchema::Migrate(db, from, &error)) {
                Close();
                m_strOpenMessage = "보관함 파일을 새 형식으로 바꾸지 못했습니다 (파일은 그대로 "
                                   "두었습니다): " + error.toStdString();
                return EArchiveOpen::Failed;
            }
            result = from == 0 ? EArchiveOpen::Created : EArchiveOpen::Migrated;
        }
    } else {
        m_strOpenMessage = "보관함 파일에 쓸 수 없어 읽기 전용으로 엽니다. 새로 받은 기록은 보관되지 "
                           "않습니다: " + path;
    }
    QSqlQuery q(Database());
    if (q.exec(QStringLiteral("SELECT value FROM archive_info WHERE key = 'station'")) && q.next())
        m_strStation = q.value(0).toString().toStdString();
    return result;
}

EArchiveOpen CSqliteArchive::OpenFresh()
{
    m_bReadOnly = false;
    const QFileInfo info(Q(m_strPath));
    QDir().mkpath(info.absolutePath());
    QString error;
    if (!Connect(false, false) || !Exec(QStringLiteral("PRAGMA journal_mode = WAL"), &error) ||
        !Exec(QStringLiteral("PRAGMA synchronous = NORMAL"), &error) ||
        !Exec(QStringLiteral("PRAGMA foreign_keys = ON"), &error)) {
        if (error.isEmpty())
            error = Database().lastError().text();
        Close();
        m_strOpenMessage = "보관함 파일을 만들 수 없습니다: " + error.toStdString();
        return EArchiveOpen::Failed;
    }
    QSqlDatabase db = Database();
    if (!ArchiveSchema::Migrate(db, 0, &error)) {
        Close();
        m_strOpenMessage = "보관함 파일을 만들 수 없습니다: " + error.toStdString();
        return EArchiveOpen::Failed;
    }
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT value FROM archive_info WHERE key = 'station'")) && q.next())
        m_strStation = q.value(0).toString().toStdString();
    return EArchiveOpen::Created;
}

bool CSqliteArchive::SetAside()
{
    // archive.sqlite.damaged-20250307-140509, with its log files alongside.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = Q(m_strPath) + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = Q(m_strPath) + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(Q(m_strPath), target))
        return false;
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString side = Q(m_strPath) + QLatin1String(suffix);
        if (QFileInfo::exists(side))
            QFile::rename(side, target + QLatin1String(suffix));
    }
    m_strSetAsidePath = target.toStdString();
    return true;
}

std::string CSqliteArchive::MeterKey(const DownloadMeter& meter)
{
    const std::string serial = Trimmed(meter.strSerial);
    if (serial.empty() || serial == "-")
        return "name:" + Trimmed(meter.strName);
    return "serial:" + serial;
}

std::string CSqliteArchive::WriteErrorText(const QSqlError& error)
{
    if (PrimaryCode(error) == kSqliteFull)
        return "디스크 공간이 부족하여 보관함에 기록을 저장하지 못했습니다. 받은 기록은 화면에 "
               "남아 있습니다.";
    return "보관함에 기록을 저장하지 못했습니다: " + error.text().toStdString();
}

bool CSqliteArchive::CheckWritable(std::string* error) const
{
    if (!IsOpen()) {
        if (error)
            *error = "보관함이 열려 있지 않아 기록을 보관하지 못했습니다.";
        return false;
    }
    if (m_bReadOnly) {
        if (error)
            *error = "보관함이 읽기 전용이라 기록을 보관하지 못했습니다.";
        return false;
    }
    return true;
}

int64_t CSqliteArchive::MeterIdOf(const DownloadMeter& meter)
{
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("SELECT id FROM meters WHERE meter_key = ?"));
    q.addBindValue(Q(MeterKey(meter)));
    if (q.exec() && q.next())
        return q.value(0).toLongLong();
    return 0;
}

int64_t CSqliteArchive::BeginDownload(const DownloadMeter& meter, const DownloadRequest& request,
                                      std::string* error)
{
    if (!CheckWritable(error))
        return 0;
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        if (error)
            *error = WriteErrorText(db.lastError());
        return 0;
    }
    QSqlQuery q(db);
    const auto fail = [&](const QSqlError& e) -> int64_t {
        if (error)
            *error = WriteErrorText(e);
        q.finish();
        db.rollback();
        return 0;
    };
    int64_t meterId = MeterIdOf(meter);
    const std::string serial = Trimmed(meter.strSerial);
    const bool unset = serial.empty() || serial == "-";
    if (meterId == 0) {
        q.prepare(QStringLiteral("INSERT INTO meters (meter_key, serial, serial_unset, name, version,"
                                 " first_seen, last_seen) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(Q(MeterKey(meter)));
        q.addBindValue(unset ? QStringLiteral("") : Q(serial));
        q.addBindValue(unset ? 1 : 0);
        q.addBindValue(Q(Trimmed(meter.strName)));
        q.addBindValue(Q(Trimmed(meter.strVersion)));
        q.addBindValue(qint64(request.tStarted));
        q.addBindValue(qint64(request.tStarted));
        if (!q.exec())
            return fail(q.lastError());
        meterId = q.lastInsertId().toLongLong();
    } else {
        // The meter's identity is its key; its name and firmware version are
        // what it last said.
        q.prepare(QStringLiteral("UPDATE meters SET name = ?, version = ?,"
                                 " last_seen = max(last_seen, ?) WHERE id = ?"));
        q.addBindValue(Q(Trimmed(meter.strName)));
        q.addBindValue(Q(Trimmed(meter.strVersion)));
        q.addBindValue(qint64(request.tStarted));
        q.addBindValue(qint64(meterId));
        if (!q.exec())
            return fail(q.lastError());
    }
    q.prepare(QStringLiteral("INSERT INTO downloads (station, meter_id, kind, started, range_from,"
                             " range_to) VALUES (?, ?, ?, ?, ?, ?)"));
    q.addBindValue(Q(m_strStation));
    q.addBindValue(qint64(meterId));
    q.addBindValue(QLatin1String(KindText(request.eKind)));
    q.addBindValue(qint64(request.tStarted));
    q.addBindValue(qint64(request.tFrom));
    q.addBindValue(qint64(request.tTo));
    if (!q.exec())
        return fail(q.lastError());
    const int64_t id = q.lastInsertId().toLongLong();
    q.finish();
    if (!db.commit())
        return fail(db.lastError());
    OpenDownload& open = m_mapOpen[id];
    open.eKind = request.eKind;
    return id;
}

bool CSqliteArchive::SetOutputSummary(int64_t download, const uint8_t* summary, std::string* error)
{
    if (!CheckWritable(error))
        return false;
    const OutputSummary s = DecodeOutputSummary(summary);
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("INSERT INTO series (download_id, meter_count, meter_average,"
                             " meter_minimum, meter_maximum, meter_deviation) VALUES (?, ?, ?, ?, ?, ?)"));
    q.addBindValue(qint64(download));
    q.addBindValue(s.nCount);
    q.addBindValue(int(s.nAverage));
    q.addBindValue(int(s.nMinimum));
    q.addBindValue(int(s.nMaximum));
    q.addBindValue(int(s.nDeviation));
    if (q.exec())
        return true;
    if (error)
        *error = WriteErrorText(q.lastError());
    return false;
}

bool CSqliteArchive::AddRecords(int64_t download, const std::vector<DownloadedRecord>& batch,
                                std::string* error)
{
    if (!CheckWritable(error))
        return false;
    const auto found = m_mapOpen.find(download);
    if (found == m_mapOpen.end()) {
        if (error)
            *error = "보관함에 시작되지 않은 다운로드의 기록입니다.";
        return false;
    }
    OpenDownload& open = found->second;
    QSqlDatabase db = Database();
    if (!m_pInsertRecord) {
        m_pInsertRecord = std::make_unique<QSqlQuery>(db);
        m_pInsertRecord->prepare(QStringLiteral(
            "INSERT OR IGNORE INTO records (meter_id, stored_time, source, raw_force, cell_type,"
            " occurrence, download_id, stream_index)"
            " SELECT meter_id, ?, ?, ?, ?, ?, id, ? FROM downloads WHERE id = ?"));
    }
    if (!db.transaction()) {
        if (error)
            *error = WriteErrorText(db.lastError());
        return false;
    }
    std::vector<std::tuple<int64_t, int, int>> counted;
    counted.reserve(batch.size());
    int nNew = 0;
    QSqlQuery& ins = *m_pInsertRecord;
    const QString source = QLatin1String(KindText(open.eKind));
    bool ok = true;
    QSqlError failure;
    for (const DownloadedRecord& rec : batch) {
        const auto key = std::make_tuple(StoredTimeOfRecord(rec.bytes), RawForceOf(rec.bytes),
                                         int(rec.bytes[9]));
        const int occurrence = ++open.mapSeen[key];
        counted.push_back(key);
        ins.bindValue(0, qint64(std::get<0>(key)));
        ins.bindValue(1, source);
        ins.bindValue(2, std::get<1>(key));
        ins.bindValue(3, std::get<2>(key));
        ins.bindValue(4, occurrence);
        ins.bindValue(5, rec.nIndex);
        ins.bindValue(6, qint64(download));
        if (!ins.exec()) {
            ok = false;
            failure = ins.lastError();
            break;
        }
        nNew += ins.numRowsAffected() == 1 ? 1 : 0;
    }
    ins.finish();
    if (ok) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE downloads SET received = received + ?,"
                                 " new_count = new_count + ?, known_count = known_count + ? WHERE id = ?"));
        q.addBindValue(int(batch.size()));
        q.addBindValue(nNew);
        q.addBindValue(int(batch.size()) - nNew);
        q.addBindValue(qint64(download));
        ok = q.exec();
        if (!ok)
            failure = q.lastError();
    }
    if (ok && !db.commit()) {
        ok = false;
        failure = db.lastError();
    }
    if (!ok) {
        db.rollback();
        // The batch is not kept: its records count as unseen again, and the
        // archived download can no longer be complete.
        open.bLost = true;
        for (const auto& key : counted)
            if (--open.mapSeen[key] == 0)
                open.mapSeen.erase(key);
        if (error)
            *error = WriteErrorText(failure);
        return false;
    }
    for (const DownloadedRecord& rec : batch) {
        const int force = RawForceOf(rec.bytes);
        open.nMin = open.nCount == 0 ? force : std::min(open.nMin, force);
        open.nMax = open.nCount == 0 ? force : std::max(open.nMax, force);
        open.dSum += force;
        open.dSumSquares += double(force) * force;
        ++open.nCount;
    }
    return true;
}

bool CSqliteArchive::EndDownload(int64_t download, int result, bool complete, std::string* error)
{
    if (!CheckWritable(error))
        return false;
    QSqlDatabase db = Database();
    const auto found = m_mapOpen.find(download);
    bool ok = db.transaction();
    QSqlQuery q(db);
    if (ok) {
        q.prepare(QStringLiteral("UPDATE downloads SET finished = ?, result = ?, complete = ? WHERE id = ?"));
        q.addBindValue(qint64(QDateTime::currentSecsSinceEpoch()));
        q.addBindValue(result);
        const bool lost = found == m_mapOpen.end() || found->second.bLost;
        q.addBindValue(complete && result >= 0 && !lost ? 1 : 0);
        q.addBindValue(qint64(download));
        ok = q.exec();
    }
    if (ok && found != m_mapOpen.end() && found->second.eKind == EDownloadKind::Output &&
        found->second.nCount > 0) {
        // The series as computed from the records that arrived, in the unit
        // of the meter's summary (0.01 kN; the records carry 0.1 kN).
        const OpenDownload& o = found->second;
        const double mean = o.dSum / double(o.nCount);
        const double variance = std::max(0.0, o.dSumSquares / double(o.nCount) - mean * mean);
        q.prepare(QStringLiteral("UPDATE series SET computed_count = ?, computed_average = ?,"
                                 " computed_minimum = ?, computed_maximum = ?, computed_deviation = ?"
                                 " WHERE download_id = ?"));
        q.addBindValue(qint64(o.nCount));
        q.addBindValue(qint64(std::llround(mean * 10.0)));
        q.addBindValue(o.nMin * 10);
        q.addBindValue(o.nMax * 10);
        q.addBindValue(qint64(std::llround(std::sqrt(variance) * 10.0)));
        q.addBindValue(qint64(download));
        ok = q.exec();
    }
    QSqlError failure = ok ? QSqlError() : (q.lastError().isValid() ? q.lastError() : db.lastError());
    q.finish();
    if (ok && !db.commit()) {
        ok = false;
        failure = db.lastError();
    }
    if (!ok) {
        db.rollback();
        if (error)
            *error = WriteErrorText(failure);
    }
    if (found != m_mapOpen.end())
        m_mapOpen.erase(found);
    return ok;
}

ArchiveDownload CSqliteArchive::DownloadOfRow(const QSqlQuery& q)
{
    // Columns as in kDownloadColumns.
    ArchiveDownload d;
    d.nId = q.value(0).toLongLong();
    d.nMeterId = q.value(1).toLongLong();
    d.strStation = q.value(2).toString().toStdString();
    d.eKind = KindOf(q.value(3).toString());
    d.tStarted = q.value(4).toLongLong();
    d.tFrom = q.value(5).toLongLong();
    d.tTo = q.value(6).toLongLong();
    d.bEnded = !q.value(7).isNull();
    d.tFinished = q.value(7).toLongLong();
    d.nResult = q.value(8).toInt();
    d.nReceived = q.value(9).toInt();
    d.nNew = q.value(10).toInt();
    d.nKnown = q.value(11).toInt();
    d.bComplete = q.value(12).toInt() != 0;
    return d;
}

ArchiveMeter CSqliteArchive::MeterOfRow(const QSqlQuery& q)
{
    ArchiveMeter m;
    m.nId = q.value(0).toLongLong();
    m.strKey = q.value(1).toString().toStdString();
    m.strSerial = q.value(2).toString().toStdString();
    m.bSerialUnset = q.value(3).toInt() != 0;
    m.strName = q.value(4).toString().toStdString();
    m.strVersion = q.value(5).toString().toStdString();
    m.tFirstSeen = q.value(6).toLongLong();
    m.tLastSeen = q.value(7).toLongLong();
    m.nRecordCount = q.value(8).toLongLong();
    m.tLastDownload = q.value(9).toLongLong();
    return m;
}

std::vector<ArchiveMeter> CSqliteArchive::Meters()
{
    std::vector<ArchiveMeter> meters;
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral(
            "SELECT m.id, m.meter_key, m.serial, m.serial_unset, m.name, m.version, m.first_seen,"
            " m.last_seen, (SELECT count(*) FROM records r WHERE r.meter_id = m.id),"
            " (SELECT max(started) FROM downloads d WHERE d.meter_id = m.id)"
            " FROM meters m ORDER BY m.name, m.serial, m.id")))
        return meters;
    while (q.next()) {
        meters.push_back(MeterOfRow(q));
    }
    return meters;
}

std::vector<ArchiveDownload> CSqliteArchive::Downloads(int64_t meterId)
{
    std::vector<ArchiveDownload> downloads;
    QSqlQuery q(Database());
    q.prepare(QLatin1String(kDownloadColumns) +
              QStringLiteral(" WHERE meter_id = ? ORDER BY started DESC, id DESC"));
    q.addBindValue(qint64(meterId));
    if (q.exec())
        while (q.next())
            downloads.push_back(DownloadOfRow(q));
    return downloads;
}

bool CSqliteArchive::FindDownload(int64_t download, ArchiveDownload* out)
{
    QSqlQuery q(Database());
    q.prepare(QLatin1String(kDownloadColumns) + QStringLiteral(" WHERE id = ?"));
    q.addBindValue(qint64(download));
    if (!q.exec() || !q.next())
        return false;
    *out = DownloadOfRow(q);
    return true;
}

bool CSqliteArchive::FindMeter(const DownloadMeter& meter, ArchiveMeter* out)
{
    const int64_t id = MeterIdOf(meter);
    if (id == 0)
        return false;
    for (const ArchiveMeter& m : Meters())
        if (m.nId == id) {
            *out = m;
            return true;
        }
    return false;
}

std::vector<ArchiveRecord> CSqliteArchive::Records(int64_t meterId)
{
    return Records(Database(), meterId);
}

std::vector<ArchiveRecord> CSqliteArchive::Records(const QSqlDatabase& db, int64_t meterId)
{
    std::vector<ArchiveRecord> records;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT id, meter_id, source, stored_time, raw_force, cell_type, occurrence,"
                             " download_id, stream_index FROM records WHERE meter_id = ?"
                             " ORDER BY stored_time, id"));
    q.addBindValue(qint64(meterId));
    if (!q.exec())
        return records;
    while (q.next()) {
        ArchiveRecord r;
        r.nId = q.value(0).toLongLong();
        r.nMeterId = q.value(1).toLongLong();
        r.eSource = KindOf(q.value(2).toString());
        r.nStoredTime = q.value(3).toLongLong();
        r.nRawForce = q.value(4).toInt();
        r.nCellType = q.value(5).toInt();
        r.nOccurrence = q.value(6).toInt();
        r.nDownloadId = q.value(7).toLongLong();
        r.nStreamIndex = q.value(8).toInt();
        records.push_back(r);
    }
    return records;
}

int64_t CSqliteArchive::NewRecordsStart(const DownloadMeter& meter, int64_t earliest)
{
    return NewRecordsStart(meter, earliest, QDateTime::currentSecsSinceEpoch());
}

int64_t CSqliteArchive::NewRecordsStart(const DownloadMeter& meter, int64_t earliest, int64_t today)
{
    const int64_t meterId = MeterIdOf(meter);
    if (meterId == 0)
        return earliest;
    MeterDateTime now;
    int64_t todayMidnight = today;
    if (LocalDateTime(today, &now)) {
        now.nHour = now.nMinute = now.nSecond = 0;
        MeterDateTimeToTime(now, &todayMidnight);
    }
    // Newest stored day first; days whose fields make no date (a meter with
    // a broken clock) are passed over.
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("SELECT DISTINCT stored_time / 1000000 FROM records"
                             " WHERE meter_id = ? AND source = 'MEMORY' ORDER BY 1 DESC"));
    q.addBindValue(qint64(meterId));
    if (!q.exec())
        return earliest;
    while (q.next()) {
        const int64_t day = q.value(0).toLongLong();
        MeterDateTime when;
        when.nYear = int(day / 10000);
        when.nMonth = int(day / 100 % 100);
        when.nDay = int(day % 100);
        int64_t midnight = 0;
        if (when.nMonth < 1 || when.nMonth > 12 || when.nDay < 1 || when.nDay > 31 ||
            !MeterDateTimeToTime(when, &midnight))
            continue;
        return std::max(earliest, std::min(midnight, todayMidnight));
    }
    return earliest;
}

bool CSqliteArchive::RecordDayRange(int64_t meterId, int* firstDay, int* lastDay)
{
    return RecordDayRange(Database(), meterId, firstDay, lastDay);
}

bool CSqliteArchive::RecordDayRange(const QSqlDatabase& db, int64_t meterId, int* firstDay, int* lastDay)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT min(stored_time) / 1000000, max(stored_time) / 1000000"
                             " FROM records WHERE meter_id = ?"));
    q.addBindValue(qint64(meterId));
    if (!q.exec() || !q.next() || q.value(0).isNull())
        return false;
    *firstDay = q.value(0).toInt();
    *lastDay = q.value(1).toInt();
    return true;
}

int CSqliteArchive::DeleteRecords(const std::vector<int64_t>& ids, std::string* error)
{
    if (!CheckWritable(error))
        return -1;
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        if (error)
            *error = WriteErrorText(db.lastError());
        return -1;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM records WHERE id = ?"));
    int removed = 0;
    for (int64_t id : ids) {
        q.bindValue(0, qint64(id));
        if (!q.exec()) {
            if (error)
                *error = WriteErrorText(q.lastError());
            q.finish();
            db.rollback();
            return -1;
        }
        removed += q.numRowsAffected();
    }
    q.finish();
    if (!db.commit()) {
        if (error)
            *error = WriteErrorText(db.lastError());
        db.rollback();
        return -1;
    }
    return removed;
}

bool CSqliteArchive::Backup(const std::string& path, std::string* error)
{
    if (!IsOpen()) {
        if (error)
            *error = "보관함이 열려 있지 않습니다.";
        return false;
    }
    // VACUUM INTO reads one snapshot of the archive, so downloads going on
    // meanwhile do not tear the copy. It will not write over a file, so the
    // copy is made beside the target and then renamed over it.
    const QString target = Q(path);
    const QString temp = target + QStringLiteral(".part");
    QFile::remove(temp);
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("VACUUM INTO ?"));
    q.addBindValue(temp);
    if (!q.exec()) {
        if (error)
            *error = "보관함을 백업하지 못했습니다: " + q.lastError().text().toStdString();
        QFile::remove(temp);
        return false;
    }
    if (std::rename(temp.toStdString().c_str(), path.c_str()) != 0) {
        QFile::remove(temp);
        if (error)
            *error = "백업 파일을 쓸 수 없습니다: " + path;
        return false;
    }
    return true;
}
