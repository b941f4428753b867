#include "ArchiveSchema.h"

#include "SqlDialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <functional>
#include <vector>

namespace ArchiveSchema {
namespace {

bool Exec(QSqlDatabase& db, const QString& sql, QString* error)
{
    QSqlQuery q(db);
    if (q.exec(SqlDialect::Adapt(sql, SqlDialect::Of(db))))
        return true;
    *error = q.lastError().text();
    return false;
}

bool ExecAll(QSqlDatabase& db, const QStringList& statements, QString* error)
{
    for (const QString& sql : statements)
        if (!Exec(db, sql, error))
            return false;
    return true;
}

// Schema 1: meters, downloads and records.
//
// A meter is known by its key: "serial:<serial>", or "name:<name>" when its
// serial was never set. A record's identity is its natural key (meter, stored
// time as the meter's fields YYYYMMDDhhmmss, source, raw force, load-cell
// type, occurrence); occurrence numbers identical records of one download,
// so a meter's twin records are both kept while a download repeated anywhere
// adds nothing. The unique index also serves the window's date filter.
bool Step1(QSqlDatabase& db, QString* error)
{
    return ExecAll(db, {
        "CREATE TABLE meters ("
        " id INTEGER PRIMARY KEY,"
        " meter_key TEXT NOT NULL UNIQUE,"
        " serial TEXT NOT NULL,"
        " serial_unset INTEGER NOT NULL DEFAULT 0,"
        " name TEXT NOT NULL,"
        " version TEXT NOT NULL,"
        " first_seen INTEGER NOT NULL,"
        " last_seen INTEGER NOT NULL)",
        "CREATE TABLE downloads ("
        " id INTEGER PRIMARY KEY,"
        " meter_id INTEGER NOT NULL REFERENCES meters(id),"
        " kind TEXT NOT NULL CHECK (kind IN ('MEMORY', 'OUTPUT')),"
        " started INTEGER NOT NULL,"
        " range_from INTEGER NOT NULL,"
        " range_to INTEGER NOT NULL,"
        " finished INTEGER,"
        " result INTEGER,"
        " received INTEGER NOT NULL DEFAULT 0,"
        " new_count INTEGER NOT NULL DEFAULT 0,"
        " known_count INTEGER NOT NULL DEFAULT 0,"
        " complete INTEGER NOT NULL DEFAULT 0)",
        "CREATE INDEX downloads_meter ON downloads (meter_id, started)",
        "CREATE TABLE records ("
        " id INTEGER PRIMARY KEY,"
        " meter_id INTEGER NOT NULL REFERENCES meters(id),"
        " stored_time INTEGER NOT NULL,"
        " source TEXT NOT NULL CHECK (source IN ('MEMORY', 'OUTPUT')),"
        " raw_force INTEGER NOT NULL,"
        " cell_type INTEGER NOT NULL,"
        " occurrence INTEGER NOT NULL,"
        " download_id INTEGER NOT NULL REFERENCES downloads(id),"
        " stream_index INTEGER NOT NULL)",
        "CREATE UNIQUE INDEX records_key ON records"
        " (meter_id, stored_time, source, raw_force, cell_type, occurrence)",
    }, error);
}

// Schema 2: the archive's own identity, so that downloads pushed to a server
// from several PCs stay apart (station + local id), and the summary of each
// continuous series, as the meter gave it and as computed from its records.
bool Step2(QSqlDatabase& db, QString* error)
{
    const QString station = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!ExecAll(db, {
            "CREATE TABLE archive_info (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
            "ALTER TABLE downloads ADD COLUMN station TEXT NOT NULL DEFAULT ''",
            "CREATE TABLE series ("
            " download_id INTEGER PRIMARY KEY REFERENCES downloads(id),"
            " meter_count INTEGER NOT NULL,"
            " meter_average INTEGER NOT NULL,"
            " meter_minimum INTEGER NOT NULL,"
            " meter_maximum INTEGER NOT NULL,"
            " meter_deviation INTEGER NOT NULL,"
            " computed_count INTEGER,"
            " computed_average INTEGER,"
            " computed_minimum INTEGER,"
            " computed_maximum INTEGER,"
            " computed_deviation INTEGER)",
        }, error))
        return false;
    QSqlQuery q(db);
    q.prepare("INSERT INTO archive_info (key, value) VALUES ('station', ?)");
    q.addBindValue(station);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    // Downloads made before the archive had an identity are this station's.
    q.prepare("UPDATE downloads SET station = ?");
    q.addBindValue(station);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

// Schema 3: what the archive keeps about a meter's calibration and clock.
// Snapshots of the calibration (the backup file's text with its checksum),
// the meter's clock against the PC's at each device search, and each
// firmware upload with the versions before and after. Rows carry the
// station beside their local id, as downloads do, and name their meter by
// the same key as the meters table, so that a meter seen only in the
// administrator window needs no row there.
bool Step3(QSqlDatabase& db, QString* error)
{
    return ExecAll(db, {
        "CREATE TABLE calibration_snapshots ("
        " id INTEGER PRIMARY KEY,"
        " station TEXT NOT NULL,"
        " meter_key TEXT NOT NULL,"
        " meter_name TEXT NOT NULL,"
        " meter_serial TEXT NOT NULL,"
        " meter_version TEXT NOT NULL,"
        " taken INTEGER NOT NULL,"
        " reason TEXT NOT NULL CHECK (reason IN ('as-found', 'as-left', 'before-firmware', 'backup')),"
        " user_name TEXT NOT NULL,"
        " content TEXT NOT NULL)",
        "CREATE INDEX calibration_snapshots_meter ON calibration_snapshots (meter_key, taken)",
        "CREATE TABLE clock_readings ("
        " id INTEGER PRIMARY KEY,"
        " station TEXT NOT NULL,"
        " meter_key TEXT NOT NULL,"
        " meter_name TEXT NOT NULL,"
        " meter_serial TEXT NOT NULL,"
        " meter_version TEXT NOT NULL,"
        " pc_time INTEGER NOT NULL,"
        " meter_time INTEGER,"
        " drift INTEGER,"
        " drift_limit INTEGER NOT NULL,"
        " source TEXT NOT NULL)",
        "CREATE INDEX clock_readings_meter ON clock_readings (meter_key, pc_time)",
        "CREATE TABLE firmware_uploads ("
        " id INTEGER PRIMARY KEY,"
        " station TEXT NOT NULL,"
        " meter_key TEXT NOT NULL,"
        " meter_name TEXT NOT NULL,"
        " meter_serial TEXT NOT NULL,"
        " meter_version TEXT NOT NULL,"
        " started INTEGER NOT NULL,"
        " finished INTEGER NOT NULL,"
        " version_before TEXT NOT NULL,"
        " image_sha256 TEXT NOT NULL,"
        " image_size INTEGER NOT NULL,"
        " result TEXT NOT NULL,"
        " result_text TEXT NOT NULL,"
        " version_after TEXT NOT NULL,"
        " snapshot_id INTEGER REFERENCES calibration_snapshots(id))",
        "CREATE INDEX firmware_uploads_meter ON firmware_uploads (meter_key, started)",
    }, error);
}

// Schema 4: the tolerance limits the analysis window last used for a meter,
// one row per meter and unit ("톤" for stored records, "KN" for the
// continuous series); a missing limit is NULL. The meter is named by its key,
// as in the tables of schema 3.
bool Step4(QSqlDatabase& db, QString* error)
{
    return ExecAll(db, {
        "CREATE TABLE tolerance_limits ("
        " meter_key TEXT NOT NULL,"
        " unit TEXT NOT NULL,"
        " lower REAL,"
        " upper REAL,"
        " changed INTEGER NOT NULL,"
        " PRIMARY KEY (meter_key, unit))",
    }, error);
}

using Step = std::function<bool(QSqlDatabase&, QString*)>;
const std::vector<Step>& Steps()
{
    static const std::vector<Step> steps = {Step1, Step2, Step3, Step4};
    return steps;
}

}  // namespace

int ServerVersion(QSqlDatabase& db, QString* error)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL"))) {
        *error = q.lastError().text();
        return -1;
    }
    if (!q.next() || !q.value(0).toBool())
        return 0;
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version"))) {
        *error = q.lastError().text();
        return -1;
    }
    return q.next() ? q.value(0).toInt() : 0;
}

bool Migrate(QSqlDatabase& db, int fromVersion, QString* error)
{
    static_assert(kVersion == 4, "a new schema version needs its step in Steps()");
    const bool server = SqlDialect::Of(db) == ESqlDialect::Postgres;
    if (fromVersion >= kVersion)
        return true;
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    bool ok = true;
    if (server) {
        // Stations may meet an empty server at the same moment: one migrates
        // while the others wait here, then find the work done.
        ok = Exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kApplicationId), error);
        const int now = ok ? ServerVersion(db, error) : -1;
        ok = now >= 0;
        if (ok && now > kVersion) {
            *error = QStringLiteral("schema %1 is newer than %2").arg(now).arg(kVersion);
            ok = false;
        }
        if (ok)
            fromVersion = now;
    }
    for (int v = fromVersion + 1; ok && v <= kVersion; ++v)
        ok = Steps()[size_t(v - 1)](db, error);
    if (ok && server)
        ok = Exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"),
                  error) &&
             Exec(db, QStringLiteral("DELETE FROM schema_version"), error) &&
             Exec(db, QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(kVersion), error);
    else if (ok)
        ok = Exec(db, QStringLiteral("PRAGMA user_version = %1").arg(kVersion), error) &&
             Exec(db, QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId), error);
    if (ok && !db.commit()) {
        *error = db.lastError().text();
        ok = false;
    }
    if (!ok)
        db.rollback();
    return ok;
}

}  // namespace ArchiveSchema
