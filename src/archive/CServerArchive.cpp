#include "CServerArchive.h"

#include "ArchiveSchema.h"
#include "CSqliteArchive.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <libpq-fe.h>

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// A value as libpq reads it between single quotes.
std::string Quoted(const char* value)
{
    std::string out = "'";
    for (const char* p = value; *p; ++p) {
        if (*p == '\'' || *p == '\\')
            out += '\\';
        out += *p;
    }
    return out + "'";
}

// libpq's texts run over several lines ("... failed: Connection refused\n\tIs
// the server running ..."); a status line and a tool's error take one.
std::string OneLine(const QString& text)
{
    return text.simplified().toStdString();
}

bool Contains(const QSqlError& error, const char* text)
{
    return error.databaseText().contains(QLatin1String(text), Qt::CaseInsensitive) ||
           error.driverText().contains(QLatin1String(text), Qt::CaseInsensitive);
}

// The server's book of stations: their names, what each has pushed of each
// table (the local id of the last row, with a print of that row so that a
// row id the station's file gave out again is noticed), and the server's
// id of each row whose identity is the station and its local id.
const char* const kStationTables[] = {
    "CREATE TABLE IF NOT EXISTS stations ("
    " station TEXT PRIMARY KEY,"
    " name TEXT NOT NULL,"
    " last_push BIGINT)",
    "CREATE TABLE IF NOT EXISTS sync_marks ("
    " station TEXT NOT NULL,"
    " tbl TEXT NOT NULL,"
    " last_id BIGINT NOT NULL DEFAULT 0,"
    " last_row TEXT NOT NULL DEFAULT '',"
    " PRIMARY KEY (station, tbl))",
    "CREATE TABLE IF NOT EXISTS sync_rows ("
    " station TEXT NOT NULL,"
    " tbl TEXT NOT NULL,"
    " local_id BIGINT NOT NULL,"
    " server_id BIGINT NOT NULL,"
    " PRIMARY KEY (station, tbl, local_id))",
    "CREATE INDEX IF NOT EXISTS sync_rows_server ON sync_rows (tbl, server_id)",
};

}  // namespace

CServerArchive::CServerArchive()
{
    static QAtomicInteger<int> s_nNext;
    m_strConnection = QStringLiteral("brevane-server-%1").arg(s_nNext.fetchAndAddRelaxed(1));
}

CServerArchive::~CServerArchive()
{
    Close();
}

void CServerArchive::Close()
{
    if (QSqlDatabase::contains(m_strConnection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_strConnection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_strConnection);
    }
}

QSqlDatabase CServerArchive::Database() const
{
    return QSqlDatabase::database(m_strConnection, false);
}

bool CServerArchive::IsOpen() const
{
    return QSqlDatabase::contains(m_strConnection) && Database().isOpen();
}

bool CServerArchive::ConnectOptions(const std::string& setting, int connectTimeout, QString* options,
                                    std::string* error)
{
    const std::string text = QString::fromStdString(setting).trimmed().toStdString();
    if (text.empty()) {
        *error = "보관함 서버가 설정되어 있지 않습니다 ([ARCHIVE] SERVER).";
        return false;
    }
    // The driver takes ';' for a separator, so it cannot stand in a value.
    if (text.find(';') != std::string::npos) {
        *error = "보관함 서버 설정(SERVER)에 ';'를 쓸 수 없습니다.";
        return false;
    }
    const bool isUri = StartsWith(text, "postgresql://") || StartsWith(text, "postgres://");
    const std::string conninfo = isUri || text.find('=') != std::string::npos ? text : "service=" + text;
    char* why = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), &why);
    if (!parsed) {
        *error = "보관함 서버 설정(SERVER)을 읽을 수 없습니다: " +
                 QString::fromLocal8Bit(why ? why : "").trimmed().toStdString();
        PQfreemem(why);
        return false;
    }
    QStringList parts;
    bool password = false, timeout = false;
    for (const PQconninfoOption* o = parsed; o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        const std::string key = o->keyword;
        password = password || key == "password";
        timeout = timeout || key == "connect_timeout";
        parts << QString::fromStdString(key + "=" + Quoted(o->val));
    }
    PQconninfoFree(parsed);
    if (password) {
        *error = "보관함 서버 설정(SERVER)에 비밀번호가 들어 있어 쓰지 않습니다. 비밀번호는 "
                 "~/.pgpass 또는 서비스 파일에 두십시오.";
        return false;
    }
    if (!timeout)
        parts << QStringLiteral("connect_timeout=%1").arg(connectTimeout);
    parts << QStringLiteral("fallback_application_name=brevane");
    *options = parts.join(QLatin1Char(' '));
    return true;
}

bool CServerArchive::ConnectionLost(const QSqlError& error)
{
    // SQLSTATE class 08 (connection exception) and 57P0x (the server shut
    // down or restarted); a connection that died between statements shows
    // only libpq's text.
    const QString state = error.nativeErrorCode();
    return state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")) ||
           Contains(error, "server closed the connection") || Contains(error, "no connection to the server") ||
           Contains(error, "connection to server") || Contains(error, "terminating connection") ||
           Contains(error, "could not send data") || Contains(error, "could not receive data");
}

std::string CServerArchive::ErrorText(const QSqlError& error)
{
    const QString state = error.nativeErrorCode();
    if (state == QLatin1String("53100"))
        return "보관함 서버의 디스크 공간이 부족합니다. 기록은 이 PC의 보관함에 남아 있으며 나중에 "
               "다시 보냅니다.";
    if (state == QLatin1String("28P01") || Contains(error, "password authentication failed") ||
        Contains(error, "no password supplied"))
        return "보관함 서버가 비밀번호를 받아들이지 않았습니다. ~/.pgpass의 비밀번호를 확인하십시오.";
    if (ConnectionLost(error))
        return "보관함 서버와의 연결이 끊어졌습니다. 기록은 이 PC의 보관함에 남아 있으며 다시 "
               "연결되면 이어서 보냅니다.";
    const QString text = error.databaseText().trimmed().isEmpty() ? error.text() : error.databaseText();
    return "보관함 서버에서 오류가 났습니다: " + OneLine(text);
}

EServerOpen CServerArchive::Fail(EServerOpen result, const std::string& message)
{
    Close();
    m_strOpenMessage = message;
    return result;
}

bool CServerArchive::MakeStationTables(QString* error)
{
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    // "already exists, skipping" notices of every open stay off standard error.
    bool ok = q.exec(QStringLiteral("SET LOCAL client_min_messages TO warning")) &&
              q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(ArchiveSchema::kApplicationId));
    for (const char* sql : kStationTables)
        ok = ok && q.exec(QLatin1String(sql));
    if (!ok)
        *error = q.lastError().text();
    q.finish();
    if (ok && !db.commit()) {
        *error = db.lastError().text();
        ok = false;
    }
    if (!ok)
        db.rollback();
    return ok;
}

EServerOpen CServerArchive::Open(const std::string& setting, int connectTimeout)
{
    Close();
    m_strOpenMessage.clear();
    QString options;
    std::string why;
    if (!ConnectOptions(setting, connectTimeout, &options, &why))
        return Fail(EServerOpen::BadSetting, why);
    QSqlError refused;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_strConnection);
        db.setConnectOptions(options);
        if (!db.open())
            refused = db.lastError();
    }
    if (refused.isValid()) {
        const QSqlError& e = refused;
        if (Contains(e, "password authentication failed") || Contains(e, "no password supplied") ||
            Contains(e, "SCRAM"))
            return Fail(EServerOpen::WrongPassword, ErrorText(e));
        if (Contains(e, "could not connect") || Contains(e, "connection refused") ||
            Contains(e, "timeout expired") || Contains(e, "could not translate host name") ||
            Contains(e, "No such file or directory") || Contains(e, "Network is unreachable") ||
            Contains(e, "the database system is"))
            return Fail(EServerOpen::Unreachable,
                        "보관함 서버에 연결할 수 없습니다 (" + OneLine(e.databaseText()) +
                            "). 기록은 이 PC의 보관함에 남아 있으며 나중에 다시 보냅니다.");
        return Fail(EServerOpen::Failed,
                    "보관함 서버에 연결하지 못했습니다: " + OneLine(e.databaseText()));
    }
    int version = 0;
    if (!CheckVersion(&version, &why))
        return Fail(version > ArchiveSchema::kVersion ? EServerOpen::TooNew : EServerOpen::Failed, why);
    QString error;
    bool made = true;
    if (version < ArchiveSchema::kVersion) {
        QSqlDatabase db = Database();
        made = ArchiveSchema::Migrate(db, version, &error);
    }
    // Another station may have moved the server on meanwhile.
    if (!made && !CheckVersion(&version, &why))
        return Fail(version > ArchiveSchema::kVersion ? EServerOpen::TooNew : EServerOpen::Failed, why);
    if (!made)
        return Fail(EServerOpen::Failed,
                    "보관함 서버의 표를 만들거나 새 형식으로 바꾸지 못했습니다: " + error.toStdString());
    if (!MakeStationTables(&error))
        return Fail(EServerOpen::Failed, "보관함 서버의 표를 만들지 못했습니다: " + error.toStdString());
    return EServerOpen::Ok;
}

bool CServerArchive::CheckVersion(int* version, std::string* message)
{
    QString error;
    QSqlDatabase db = Database();
    *version = ArchiveSchema::ServerVersion(db, &error);
    if (*version < 0) {
        *message = "보관함 서버를 읽을 수 없습니다: " + error.toStdString();
        return false;
    }
    if (*version > ArchiveSchema::kVersion) {
        *message = QStringLiteral("보관함 서버가 이 프로그램보다 새로운 버전(형식 %1, 이 프로그램은 %2까지)"
                                  "에서 만들어져 쓰지 않았습니다. 서버는 그대로 두었습니다.")
                       .arg(*version)
                       .arg(ArchiveSchema::kVersion)
                       .toStdString();
        return false;
    }
    return true;
}

std::vector<CServerArchive::LabMeter> CServerArchive::Meters()
{
    std::vector<LabMeter> meters;
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT m.id, m.meter_key, m.serial, m.serial_unset, m.name, m.version, m.first_seen,"
            " m.last_seen, (SELECT count(*) FROM records r WHERE r.meter_id = m.id),"
            " (SELECT max(started) FROM downloads d WHERE d.meter_id = m.id),"
            " (SELECT string_agg(DISTINCT coalesce(s.name, d.station), ', ') FROM downloads d"
            "  LEFT JOIN stations s ON s.station = d.station WHERE d.meter_id = m.id)"
            " FROM meters m ORDER BY m.name, m.serial, m.id")))
        return meters;
    while (q.next()) {
        LabMeter lab;
        lab.meter = CSqliteArchive::MeterOfRow(q);
        lab.strStations = q.value(10).toString().toStdString();
        meters.push_back(lab);
    }
    return meters;
}

std::vector<ArchiveDownload> CServerArchive::Downloads(int64_t meterId)
{
    std::vector<ArchiveDownload> downloads;
    QSqlQuery q(Database());
    q.prepare(QStringLiteral(
        "SELECT d.id, d.meter_id, coalesce(s.name, d.station), d.kind, d.started, d.range_from,"
        " d.range_to, d.finished, d.result, d.received, d.new_count, d.known_count, d.complete"
        " FROM downloads d LEFT JOIN stations s ON s.station = d.station"
        " WHERE d.meter_id = ? ORDER BY d.started DESC, d.id DESC"));
    q.addBindValue(qint64(meterId));
    if (!q.exec())
        return downloads;
    while (q.next()) {
        downloads.push_back(CSqliteArchive::DownloadOfRow(q));
    }
    return downloads;
}

bool CServerArchive::RecordDayRange(int64_t meterId, int* firstDay, int* lastDay)
{
    return CSqliteArchive::RecordDayRange(Database(), meterId, firstDay, lastDay);
}

std::vector<ArchiveRecord> CServerArchive::Records(int64_t meterId)
{
    return CSqliteArchive::Records(Database(), meterId);
}
