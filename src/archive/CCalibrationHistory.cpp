#include "CCalibrationHistory.h"

#include "CSqliteArchive.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string S(const QVariant& value)
{
    return value.toString().toStdString();
}

QVariant Optional(const std::optional<int64_t>& value)
{
    return value ? QVariant(qlonglong(*value)) : QVariant(QMetaType(QMetaType::LongLong));
}

std::optional<int64_t> OptionalOf(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong();
}

// The four meter columns every table starts with, after station.
const char* const kMeterColumns = "station, meter_key, meter_name, meter_serial, meter_version";

void BindMeter(QSqlQuery& q, const std::string& station, const DownloadMeter& meter)
{
    q.addBindValue(Q(station));
    q.addBindValue(Q(CSqliteArchive::MeterKey(meter)));
    q.addBindValue(Q(meter.strName));
    q.addBindValue(Q(meter.strSerial));
    q.addBindValue(Q(meter.strVersion));
}

// Reads id, station and the meter columns from the query's first six values.
template <typename Row>
void ReadHead(const QSqlQuery& q, Row* row)
{
    row->nId = q.value(0).toLongLong();
    row->strStation = S(q.value(1));
    row->meter.strName = S(q.value(2));
    row->meter.strSerial = S(q.value(3));
    row->meter.strVersion = S(q.value(4));
}

QString Select(const char* table, const char* columns, const char* order, int limit)
{
    QString sql = QStringLiteral("SELECT id, station, meter_name, meter_serial, meter_version, %1 FROM %2"
                                 " WHERE meter_key = ? ORDER BY %3 DESC, id DESC")
                      .arg(QLatin1String(columns), QLatin1String(table), QLatin1String(order));
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    return sql;
}

int64_t Insert(QSqlQuery& q, std::string* error)
{
    if (!q.exec()) {
        if (error)
            *error = CSqliteArchive::WriteErrorText(q.lastError());
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

}  // namespace

CCalibrationHistory::CCalibrationHistory(CSqliteArchive& archive) : m_archive(archive) {}

bool CCalibrationHistory::CheckWritable(std::string* error) const
{
    const char* why = nullptr;
    if (!m_archive.IsOpen())
        why = "보관함이 열려 있지 않아 보정 이력을 저장하지 못했습니다.";
    else if (m_archive.IsReadOnly())
        why = "보관함이 읽기 전용이라 보정 이력을 저장하지 못했습니다.";
    if (why && error)
        *error = why;
    return why == nullptr;
}

int64_t CCalibrationHistory::AddSnapshot(const StoredSnapshot& s, std::string* error)
{
    if (!CheckWritable(error))
        return 0;
    QSqlQuery q(m_archive.Database());
    q.prepare(QStringLiteral("INSERT INTO calibration_snapshots (%1, taken, reason, user_name, content)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                  .arg(QLatin1String(kMeterColumns)));
    BindMeter(q, m_archive.StationId(), s.meter);
    q.addBindValue(qlonglong(s.tTaken));
    q.addBindValue(Q(s.strReason));
    q.addBindValue(Q(s.strUser));
    // Text, not a blob: the file's bytes are UTF-8 JSON, and text reads the
    // same on the lab's server.
    q.addBindValue(QString::fromUtf8(s.content));
    return Insert(q, error);
}

int64_t CCalibrationHistory::AddClockReading(const StoredClockReading& r, std::string* error)
{
    if (!CheckWritable(error))
        return 0;
    QSqlQuery q(m_archive.Database());
    q.prepare(QStringLiteral("INSERT INTO clock_readings (%1, pc_time, meter_time, drift, drift_limit, source)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                  .arg(QLatin1String(kMeterColumns)));
    BindMeter(q, m_archive.StationId(), r.meter);
    q.addBindValue(qlonglong(r.tPc));
    q.addBindValue(Optional(r.tMeter));
    q.addBindValue(Optional(r.nDrift));
    q.addBindValue(r.nLimit);
    q.addBindValue(Q(r.strSource));
    return Insert(q, error);
}

int64_t CCalibrationHistory::AddFirmwareUpload(const StoredFirmwareUpload& u, std::string* error)
{
    if (!CheckWritable(error))
        return 0;
    QSqlQuery q(m_archive.Database());
    q.prepare(QStringLiteral("INSERT INTO firmware_uploads (%1, started, finished, version_before,"
                             " image_sha256, image_size, result, result_text, version_after, snapshot_id)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                  .arg(QLatin1String(kMeterColumns)));
    BindMeter(q, m_archive.StationId(), u.meter);
    q.addBindValue(qlonglong(u.tStarted));
    q.addBindValue(qlonglong(u.tFinished));
    q.addBindValue(Q(u.strVersionBefore));
    q.addBindValue(Q(u.strImageSha256));
    q.addBindValue(qlonglong(u.nImageSize));
    q.addBindValue(Q(u.strResult));
    q.addBindValue(Q(u.strResultText));
    q.addBindValue(Q(u.strVersionAfter));
    q.addBindValue(u.nSnapshotId > 0 ? QVariant(qlonglong(u.nSnapshotId)) : QVariant(QMetaType(QMetaType::LongLong)));
    return Insert(q, error);
}

std::vector<StoredSnapshot> CCalibrationHistory::Snapshots(const DownloadMeter& meter, int limit)
{
    std::vector<StoredSnapshot> rows;
    if (!m_archive.IsOpen())
        return rows;
    QSqlQuery q(m_archive.Database());
    q.setForwardOnly(true);
    q.prepare(Select("calibration_snapshots", "taken, reason, user_name, content", "taken", limit));
    q.addBindValue(Q(CSqliteArchive::MeterKey(meter)));
    if (!q.exec())
        return rows;
    while (q.next()) {
        StoredSnapshot s;
        ReadHead(q, &s);
        s.tTaken = q.value(5).toLongLong();
        s.strReason = S(q.value(6));
        s.strUser = S(q.value(7));
        s.content = q.value(8).toString().toUtf8();
        rows.push_back(std::move(s));
    }
    return rows;
}

std::vector<StoredClockReading> CCalibrationHistory::ClockReadings(const DownloadMeter& meter, int limit)
{
    std::vector<StoredClockReading> rows;
    if (!m_archive.IsOpen())
        return rows;
    QSqlQuery q(m_archive.Database());
    q.setForwardOnly(true);
    q.prepare(Select("clock_readings", "pc_time, meter_time, drift, drift_limit, source", "pc_time", limit));
    q.addBindValue(Q(CSqliteArchive::MeterKey(meter)));
    if (!q.exec())
        return rows;
    while (q.next()) {
        StoredClockReading r;
        ReadHead(q, &r);
        r.tPc = q.value(5).toLongLong();
        r.tMeter = OptionalOf(q.value(6));
        r.nDrift = OptionalOf(q.value(7));
        r.nLimit = q.value(8).toInt();
        r.strSource = S(q.value(9));
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<StoredFirmwareUpload> CCalibrationHistory::FirmwareUploads(const DownloadMeter& meter, int limit)
{
    std::vector<StoredFirmwareUpload> rows;
    if (!m_archive.IsOpen())
        return rows;
    QSqlQuery q(m_archive.Database());
    q.setForwardOnly(true);
    q.prepare(Select("firmware_uploads",
                     "started, finished, version_before, image_sha256, image_size, result, result_text,"
                     " version_after, snapshot_id",
                     "started", limit));
    q.addBindValue(Q(CSqliteArchive::MeterKey(meter)));
    if (!q.exec())
        return rows;
    while (q.next()) {
        StoredFirmwareUpload u;
        ReadHead(q, &u);
        u.tStarted = q.value(5).toLongLong();
        u.tFinished = q.value(6).toLongLong();
        u.strVersionBefore = S(q.value(7));
        u.strImageSha256 = S(q.value(8));
        u.nImageSize = q.value(9).toLongLong();
        u.strResult = S(q.value(10));
        u.strResultText = S(q.value(11));
        u.strVersionAfter = S(q.value(12));
        u.nSnapshotId = q.value(13).toLongLong();
        rows.push_back(std::move(u));
    }
    return rows;
}
